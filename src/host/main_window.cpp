#include "host/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include "framework/ui/forms/form.h"

namespace bco::host {

void setApplicationNames() {
    QApplication::setApplicationName(QStringLiteral("bco-host"));
    QApplication::setOrganizationName(QStringLiteral("bco"));
    QApplication::setApplicationDisplayName(applicationName);
}

MainWindow::MainWindow(const QString &status, QWidget *parent)
    : QMainWindow(parent)
    , mdiArea_(new QMdiArea(this))
    , moduleMenu_(menuBar()->addMenu(QStringLiteral("&Conta Corrente"))) {
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(applicationName);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);
    moduleMenu_->setObjectName(QStringLiteral("mnuModulo"));

    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janela"));
    windows->addAction(QStringLiteral("&Cascata"), mdiArea_, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("&Lado a lado"), mdiArea_, &QMdiArea::tileSubWindows);
    windows->addSeparator();
    windows->addAction(QStringLiteral("&Sair"), this, &QWidget::close);

    auto *session = new QLabel(status, this);
    session->setObjectName(QStringLiteral("lblSessao"));
    statusBar()->addPermanentWidget(session, 1);
    // Within the screen it opens on: a small one (1024x768) would otherwise hide its right-hand side.
    const QScreen *screen = QGuiApplication::primaryScreen();
    resize(screen != nullptr ? QSize(1100, 720).boundedTo(screen->availableGeometry().size())
                             : QSize(1100, 720));
    setModule(std::nullopt);
}

void MainWindow::setModule(std::optional<LoadedModule> module) {
    module_ = std::move(module);
    moduleMenu_->clear();
    if (!module_) {
        QAction *none = moduleMenu_->addAction(QStringLiteral("(módulo não carregado)"));
        none->setEnabled(false);
        return;
    }
    const LoadedModule &m = *module_;
    const auto item = [this](const QString &text, const char *entryPoint, bool present, auto call) {
        QAction *action = moduleMenu_->addAction(text);
        action->setObjectName(QString::fromLatin1(entryPoint));
        action->setEnabled(present);
        connect(action, &QAction::triggered, this, call);
    };
    item(QStringLiteral("&Lançamentos em Conta Corrente"), "CriaLancamento", m.CriaLancamento != nullptr,
         [f = m.CriaLancamento] { f(); });
    item(QStringLiteral("&Importação de Lançamentos"), "CriaImportacao", m.CriaImportacao != nullptr,
         [f = m.CriaImportacao] { f(); });
    item(QStringLiteral("Conciliação &Bancária"), "CriaConciliacao", m.CriaConciliacao != nullptr,
         [f = m.CriaConciliacao] { f(); });
    item(QStringLiteral("&Relatório de Lançamentos"), "CriaRelLancCont", m.CriaRelLancCont != nullptr,
         [f = m.CriaRelLancCont] { f(); });
    // The filter and the discount form only work inside the entry form, which opens them itself: their items
    // stay, hidden, so that the host's tests can still open each on its own (the filter as the entry form's
    // own dialog, the discount form for no entry), but operators are not offered them.
    item(QStringLiteral("&Filtro de Lançamentos"), "CriaFiltroLancCont", m.CriaFiltroLancCont != nullptr,
         [f = m.CriaFiltroLancCont] { f(nullptr, nullptr, "BOTAO_FILTRO", ""); });
    item(QStringLiteral("&Desconto de Adiantamentos"), "CriaDescAdi", m.CriaDescAdi != nullptr,
         [f = m.CriaDescAdi] { f(0.0, "", "", "0", "C", ""); });
    for (const char *servesTheEntryForm : {"CriaFiltroLancCont", "CriaDescAdi"})
        moduleItem(QString::fromLatin1(servesTheEntryForm))->setVisible(false);
    moduleMenu_->addSeparator();
    item(QStringLiteral("Iniciar o &módulo"), "IniProc", m.IniProc != nullptr, [f = m.IniProc] { f(); });
}

QAction *MainWindow::moduleItem(const QString &entryPoint) const {
    for (QAction *action : moduleMenu_->actions())
        if (action->objectName() == entryPoint)
            return action;
    return nullptr;
}

void MainWindow::showChild(QWidget &form) {
    for (QMdiSubWindow *window : mdiArea_->subWindowList()) {
        if (window->widget() == &form) {
            window->show();
            form.show();
            mdiArea_->setActiveSubWindow(window);
            return;
        }
    }
    // A form opens at the size its layout gives it, not shrunk to what its controls need at least.
    const QSize designed = form.size();
    const int open = static_cast<int>(mdiArea_->subWindowList().size());
    QMdiSubWindow *window = mdiArea_->addSubWindow(&form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    form.show();
    // Each new window opens a step down and to the right of the last, inside the area: a form designed wider
    // or taller than the area is fitted to it (as far as its controls allow), or its right-hand columns would
    // open out of sight.
    const int step = 28 * (open % 8);
    const QSize room = mdiArea_->viewport()->size() - QSize(step, step);
    window->resize((designed + window->sizeHint() - form.sizeHint())
                       .boundedTo(room)
                       .expandedTo(window->minimumSizeHint()));
    window->move(step, step);
    window->show();
    mdiArea_->setActiveSubWindow(window);
}

namespace {

// The forms of the area's windows, in the order the windows were opened.
QList<TForm *> formsIn(const QMdiArea &area) {
    QList<TForm *> forms;
    for (QMdiSubWindow *window : area.subWindowList())
        if (auto *form = qobject_cast<TForm *>(window->widget()); form != nullptr)
            forms.append(form);
    return forms;
}

} // namespace

void MainWindow::closeEvent(QCloseEvent *event) {
    // Every form is asked before any closes: a form that refuses keeps the host open with every other form as
    // it was, the unsaved work of those asked before it included.
    const QList<TForm *> forms = formsIn(*mdiArea_);
    for (TForm *form : forms) {
        if (!form->CanClose()) {
            event->ignore();
            return;
        }
    }
    for (TForm *form : forms)
        form->AgreeToClose();
    mdiArea_->closeAllSubWindows();
    if (!mdiArea_->subWindowList().isEmpty()) {
        for (TForm *form : formsIn(*mdiArea_))
            form->AgreeToClose(false);
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace bco::host
