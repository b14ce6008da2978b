#include "framework/ui/forms/maintenance_form.h"

#include <QLayout>
#include <QScopedValueRollback>
#include <QTabBar>

#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/ui/event_guard.h"

#include "ui_maintenance_form.h"

namespace bco {

TfrmPadrao::TfrmPadrao(QWidget *parent)
    : TForm(parent) {
    addBaseMessages();
    Ui::frmPadrao().setupUi(this);
    BindFrame();
}

TfrmPadrao::TfrmPadrao(DescendantLayout, QWidget *parent)
    : TForm(parent) {
    addBaseMessages();
}

void TfrmPadrao::addBaseMessages() {
    msgPadrao.add(QStringLiteral("Canc"), QStringLiteral("Deseja cancelar a operação?"));
    msgPadrao.add(QStringLiteral("Excl"), QStringLiteral("Confirma a exclusão do registro?"));
}

void TfrmPadrao::BindFrame() {
    BindFormControls();
    sbtIncluir = Control<QToolButton>("sbtIncluir");
    sbtAlterar = Control<QToolButton>("sbtAlterar");
    sbtExcluir = Control<QToolButton>("sbtExcluir");
    sbtProcurar = Control<QToolButton>("sbtProcurar");
    sbtVerificar = Control<QToolButton>("sbtVerificar");
    sbtCancelar = Control<QToolButton>("sbtCancelar");
    sbtConfirmar = Control<QToolButton>("sbtConfirmar");
    sbtImprimir = Control<QToolButton>("sbtImprimir");
    sbtAjuda = Control<QToolButton>("sbtAjuda");
    sbtFechar = Control<QToolButton>("sbtFechar");
    mnuIncluir = Control<QAction>("mnuIncluir");
    mnuAlterar = Control<QAction>("mnuAlterar");
    mnuExcluir = Control<QAction>("mnuExcluir");
    mnuProcurar = Control<QAction>("mnuProcurar");
    mnuVerificar = Control<QAction>("mnuVerificar");
    mnuConfirmar = Control<QAction>("mnuConfirmar");
    mnuCancelar = Control<QAction>("mnuCancelar");
    mnuListagem = Control<QAction>("mnuListagem");
    mnuFechar = Control<QAction>("mnuFechar");
    mnuPrimeiro = Control<QAction>("mnuPrimeiro");
    mnuAnterior = Control<QAction>("mnuAnterior");
    mnuProximo = Control<QAction>("mnuProximo");
    mnuUltimo = Control<QAction>("mnuUltimo");
    mnuFolhaDados = Control<QAction>("mnuFolhaDados");
    mnuFormulario = Control<QAction>("mnuFormulario");
    pgcPadrao = Control<QTabWidget>("pgcPadrao");
    tshFolhaDados = Control<QWidget>("tshFolhaDados");
    tshFormulario = Control<QWidget>("tshFormulario");
    dbnPadrao = Control<TDBNavigator>("dbnPadrao");
    dbtNome = Control<TDBText>("dbtNome");

    const std::pair<QToolButton *, QStyle::StandardPixmap> icons[] = {
        {sbtIncluir, QStyle::SP_FileIcon},
        {sbtAlterar, QStyle::SP_FileDialogDetailedView},
        {sbtExcluir, QStyle::SP_TrashIcon},
        {sbtProcurar, QStyle::SP_FileDialogContentsView},
        {sbtVerificar, QStyle::SP_BrowserReload},
        {sbtCancelar, QStyle::SP_DialogCancelButton},
        {sbtConfirmar, QStyle::SP_DialogApplyButton},
        {sbtImprimir, QStyle::SP_DialogOkButton},
        {sbtAjuda, QStyle::SP_DialogHelpButton},
        {sbtFechar, QStyle::SP_DialogCloseButton},
    };
    for (const auto &[button, picture] : icons)
        SetButtonIcon(button, picture);
    // There is no help system to open.
    sbtAjuda->setEnabled(false);
    // The tool bar's buttons keep their captions whole: a form too narrow for them grows instead.
    for (QToolButton *button : panMenu->findChildren<QToolButton *>())
        button->setSizePolicy(QSizePolicy::Minimum, button->sizePolicy().verticalPolicy());

    // The commands an operator runs all day have keys. None is an editing key of the fields (Ctrl with C, V,
    // X, Z, A, Y, K, U, D, Delete or Insert) nor one the descendants give their own commands (Ctrl+L, Ctrl+B,
    // Ctrl+E); Esc leaves an include or a change as the cancel button does, asking first.
    const std::pair<QAction *, QList<QKeySequence>> keys[] = {
        {mnuIncluir, {QKeySequence(Qt::CTRL | Qt::Key_I)}},
        {mnuAlterar, {QKeySequence(Qt::CTRL | Qt::Key_T)}},
        {mnuExcluir, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)}},
        // Shown as Ctrl+Enter (the keypad's), which the operators call it; the main Enter works as well.
        {mnuConfirmar, {QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::CTRL | Qt::Key_Return)}},
        {mnuCancelar, {QKeySequence(Qt::Key_Escape)}},
        {mnuListagem, {QKeySequence(Qt::CTRL | Qt::Key_P)}},
    };
    for (const auto &[action, sequences] : keys)
        if (action->shortcut().isEmpty())
            action->setShortcuts(sequences);

    // Each command is one action, shown by its tool button and held by its menu: it is enabled in one place.
    const std::pair<QToolButton *, QAction *> commands[] = {
        {sbtIncluir, mnuIncluir},     {sbtAlterar, mnuAlterar},     {sbtExcluir, mnuExcluir},
        {sbtProcurar, mnuProcurar},   {sbtVerificar, mnuVerificar}, {sbtCancelar, mnuCancelar},
        {sbtConfirmar, mnuConfirmar}, {sbtImprimir, mnuListagem},   {sbtFechar, mnuFechar},
    };
    for (const auto &[button, action] : commands)
        BindCommand(button, action);
    const std::pair<QAction *, void (TfrmPadrao::*)()> items[] = {
        {mnuIncluir, &TfrmPadrao::sbtIncluirClick},     {mnuAlterar, &TfrmPadrao::sbtAlterarClick},
        {mnuExcluir, &TfrmPadrao::sbtExcluirClick},     {mnuProcurar, &TfrmPadrao::sbtProcurarClick},
        {mnuVerificar, &TfrmPadrao::sbtVerificarClick}, {mnuCancelar, &TfrmPadrao::sbtCancelarClick},
        {mnuConfirmar, &TfrmPadrao::sbtConfirmarClick}, {mnuListagem, &TfrmPadrao::sbtImprimirClick},
        {mnuFechar, &TfrmPadrao::sbtFecharClick},       {mnuPrimeiro, &TfrmPadrao::mnuPrimeiroClick},
        {mnuAnterior, &TfrmPadrao::mnuAnteriorClick},   {mnuProximo, &TfrmPadrao::mnuProximoClick},
        {mnuUltimo, &TfrmPadrao::mnuUltimoClick},
    };
    for (const auto &[item, handler] : items)
        OnClick(item, [this, h = handler] { runCommand(h); });
    OnClick(mnuFolhaDados, [this] { ChangePage(tshFolhaDados); });
    OnClick(mnuFormulario, [this] { ChangePage(tshFormulario); });

    buildMenus();
    shownPage_ = pgcPadrao->currentIndex();
    mnuFolhaDados->setChecked(ActivePage() == tshFolhaDados);
    mnuFormulario->setChecked(ActivePage() == tshFormulario);
    connect(pgcPadrao, &QTabWidget::currentChanged, this, &TfrmPadrao::pageChosen);
}

void TfrmPadrao::runCommand(void (TfrmPadrao::*command)()) {
    if (commandRunning_)
        return;
    const QScopedValueRollback running(commandRunning_, true);
    (this->*command)();
}

void TfrmPadrao::buildMenus() {
    mnuPrincipal = new QMenuBar(this);
    mnuPrincipal->setObjectName(QStringLiteral("mnuPrincipal"));
    mnuManutencao = mnuPrincipal->addMenu(QStringLiteral("&Manutenção"));
    mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));
    mnuManutencao->addActions({mnuIncluir, mnuAlterar, mnuExcluir});
    mnuManutencao->addSeparator();
    mnuManutencao->addActions({mnuProcurar, mnuVerificar});
    mnuManutencao->addSeparator();
    mnuManutencao->addActions({mnuConfirmar, mnuCancelar});
    mnuManutencao->addSeparator();
    mnuManutencao->addAction(mnuListagem);
    mnuManutencao->addSeparator();
    mnuManutencao->addAction(mnuFechar);
    mnuNavegacao = mnuPrincipal->addMenu(QStringLiteral("&Navegação"));
    mnuNavegacao->setObjectName(QStringLiteral("mnuNavegacao"));
    mnuNavegacao->addActions({mnuPrimeiro, mnuAnterior, mnuProximo, mnuUltimo});
    mnuPaginas = mnuPrincipal->addMenu(QStringLiteral("&Páginas"));
    mnuPaginas->setObjectName(QStringLiteral("mnuPaginas"));
    mnuPaginas->addActions({mnuFolhaDados, mnuFormulario});
    layout()->setMenuBar(mnuPrincipal);
}

bool TfrmPadrao::ConfirmaCancelamento() const {
    return msgPadrao.ShowMsg(QStringLiteral("Canc"), MsgKind::Confirmation,
                             MsgButtons(MsgButton::Yes) | MsgButton::No) == MsgButton::Yes;
}

bool TfrmPadrao::ConfirmaExclusao(const QString &details) const {
    return msgPadrao.ShowMsg(QStringLiteral("Excl"), MsgKind::Confirmation,
                             MsgButtons(MsgButton::Yes) | MsgButton::No, 0, details) == MsgButton::Yes;
}

ClientDataSet *TfrmPadrao::navigatedDataSet() const {
    DataSource *source = dbnPadrao->GetDataSource();
    ClientDataSet *dataSet = source != nullptr ? source->DataSet() : nullptr;
    return dataSet != nullptr && dataSet->Active() ? dataSet : nullptr;
}

void TfrmPadrao::sbtCancelarClick() {
    ClientDataSet *dataSet = navigatedDataSet();
    if (dataSet != nullptr &&
        (dataSet->State() == DataSetState::Insert || dataSet->State() == DataSetState::Edit))
        dataSet->Cancel();
}

void TfrmPadrao::mnuPrimeiroClick() {
    if (ClientDataSet *dataSet = navigatedDataSet(); dataSet != nullptr && dbnPadrao->isEnabled())
        dataSet->First();
}

void TfrmPadrao::mnuAnteriorClick() {
    if (ClientDataSet *dataSet = navigatedDataSet(); dataSet != nullptr && dbnPadrao->isEnabled())
        dataSet->Prior();
}

void TfrmPadrao::mnuProximoClick() {
    if (ClientDataSet *dataSet = navigatedDataSet(); dataSet != nullptr && dbnPadrao->isEnabled())
        dataSet->Next();
}

void TfrmPadrao::mnuUltimoClick() {
    if (ClientDataSet *dataSet = navigatedDataSet(); dataSet != nullptr && dbnPadrao->isEnabled())
        dataSet->Last();
}

QAction *TfrmPadrao::pageItem(QWidget *page) const {
    if (page == tshFolhaDados)
        return mnuFolhaDados;
    if (page == tshFormulario)
        return mnuFormulario;
    return nullptr;
}

void TfrmPadrao::setPageQuietly(int index) {
    settingPage_ = true;
    pgcPadrao->setCurrentIndex(index);
    settingPage_ = false;
    shownPage_ = pgcPadrao->currentIndex();
}

void TfrmPadrao::SetActivePage(QWidget *page) {
    setPageQuietly(pgcPadrao->indexOf(page));
}

void TfrmPadrao::SetPageEnabled(QWidget *page, bool on) {
    page->setEnabled(on);
    // The tab itself stays selectable by the program (a disabled page may be the one shown); it only looks
    // disabled, and the operator's changes skip it.
    pgcPadrao->tabBar()->setTabTextColor(
        pgcPadrao->indexOf(page), on ? QColor() : palette().color(QPalette::Disabled, QPalette::WindowText));
}

void TfrmPadrao::ChangePage(QWidget *page) {
    if (page == ActivePage()) {
        // The menu item of the shown page was chosen again: it stays checked.
        if (QAction *item = pageItem(page))
            item->setChecked(true);
        return;
    }
    pageChosen(pgcPadrao->indexOf(page));
}

void TfrmPadrao::pageChosen(int index) {
    if (settingPage_)
        return;
    const int chosen = index;
    setPageQuietly(shownPage_);
    QWidget *target = pgcPadrao->widget(chosen);
    bool allow = target != nullptr;
    // The handler runs first, even towards a disabled page, so that it can tell the operator why the page
    // does not change.
    if (allow && !runGuarded([&] { pgcPadraoChanging(allow); }))
        allow = false;
    if (allow && !target->isEnabled())
        allow = false;
    if (!allow) {
        // A refused change leaves the menu items as the pages are.
        mnuFolhaDados->setChecked(ActivePage() == tshFolhaDados);
        mnuFormulario->setChecked(ActivePage() == tshFormulario);
        return;
    }
    setPageQuietly(chosen);
    runGuarded([this] { pgcPadraoChange(); });
}

void TfrmPadrao::pgcPadraoChange() {
    mnuFolhaDados->setChecked(ActivePage() == tshFolhaDados);
    mnuFormulario->setChecked(ActivePage() == tshFormulario);
}

void TfrmPadrao::FormClose(TCloseAction &action) {
    action = TCloseAction::caFree;
}

} // namespace bco
