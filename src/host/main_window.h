#pragma once

#include <optional>

#include <QMainWindow>
#include <QMdiArea>

#include "framework/ui/host_frame.h"
#include "host/module_loader.h"

class QAction;
class QMenu;

namespace bco::host {

// The application's name, which its main window and every message box carry.
inline const QString applicationName = QStringLiteral("Conta Corrente Bancária");

// Names the running application: its display name (message boxes, window titles) is the application's,
// not its program file's; its organisation and program name place its settings.
void setApplicationNames();

// The host's main window: the multi-document area where the module's child forms live, the module's menu
// (one item per creator the module exports) and a status line saying who works where and on which day.
// It is the forms' host frame (install it with ScopedHostFrame).
class MainWindow : public QMainWindow, public HostFrame {
    Q_OBJECT
public:
    explicit MainWindow(const QString &status, QWidget *parent = nullptr);

    // Offers the module's creators in the menu; without a module (it could not be loaded) the menu says so.
    void setModule(std::optional<LoadedModule> module);

    QMdiArea *mdiArea() const { return mdiArea_; }
    QMenu *moduleMenu() const { return moduleMenu_; }
    // The menu item of an entry point by its name ("CriaLancamento"); null when there is none.
    QAction *moduleItem(const QString &entryPoint) const;

    QWidget *mainForm() override { return this; }
    void showChild(QWidget &form) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QMdiArea *mdiArea_;
    QMenu *moduleMenu_;
    std::optional<LoadedModule> module_;
};

} // namespace bco::host
