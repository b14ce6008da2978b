#include "framework/ui/file_dialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace bco {

namespace {

class RefusingFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const QString &title, const QString &, const QString &) override {
        throw DialogsNotInstalled(title);
    }
};

ServiceSlot<FileDialogs, RefusingFileDialogs> filesSlot;

} // namespace

namespace Dialogs {

FileDialogs &files() {
    return filesSlot.current();
}

FileDialogs *installFiles(FileDialogs *service) {
    return filesSlot.install(service);
}

} // namespace Dialogs

std::optional<QString> QtFileDialogs::openFile(const QString &title, const QString &folder,
                                               const QString &filter) {
    const QString chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder, filter);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace bco
