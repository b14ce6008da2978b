#include "entries/entry_form.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QApplication>
#include <QMdiSubWindow>
#include <QScopedValueRollback>

#include "filter/filter_form.h"
#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/session/operator_layout.h"
#include "framework/session/operator_lookups.h"
#include "framework/session/shared_database.h"
#include "framework/ui/child_enabled.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/one_line_text.h"
#include "framework/ui/host_frame.h"
#include "framework/ui/lookup_dialogs.h"
#include "framework/ui/wait_animation.h"
#include "import/import_form.h"
#include "report/report_form.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

QPointer<TfrmLancCCorr> frmLancCCorr;
bool boStCriado = false;
bool boInclusao = false;
bool boAltera = false;
bool boAtualizaSaldo = false;
bool boValidaIdComp = true;

namespace {

const char *const messages[] = {
    "CdRedu_inf|Conta corrente deve ser informada.",
    "Inclusao_Andamento|Termine o lançamento em andamento antes de incluir outro.",
    "Rascunho_Cortado|O que veio do extrato não cabe inteiro nos campos do lançamento e foi cortado: "
    "confira-o "
    "antes de confirmar.",
    "CdRedu_cad|Conta corrente não cadastrada.",
    "ContCorr_Nr|Operador não relacionado a empresa da conta corrente informada.",
    "getAtuSald|Atualizando Saldo do Dia...",
    "CR|CR",
    "DB|DB",
    "TIPOCRE|Tipo de Crédito Bancário",
    "TIPODEB|Tipo de Débito Bancário",
    "TIPOCRE_N_CAD|Não há tipo crédito cadastrado.",
    "TIPODEB_N_CAD|Não há tipo débito cadastrado.",
    "conf_op|É necessário confirmar ou cancelar a transação.",
    "Tipo_inf|Tipo deve ser informado.",
    "TipoDeb_cad|Tipo de débito bancário não cadastrado.",
    "TipoCred_cad|Tipo de crédito bancário não cadastrado.",
    "Filial_n_inf|Filial deve ser informada.",
    "Filial_n_cad|Filial não cadastrada para empresa informada.",
    "centCust_Inf|Centro de Custo deve ser informado.",
    "CentCustFil_Ncad|Centro de Custo não cadastrado para a filial informada.",
    "Cliente_n_cad|Cliente não cadastrado.",
    "Fornecedor_n_cad|Fornecedor não cadastrado.",
    "cli_for_inf|O cliente e o fornecedor não podem ser informados no mesmo lançamento.",
    "CLI_N_INF|Cliente deve ser informado para contabilização correta do documento.",
    "FORN_N_INF|Fornecedor deve ser informado para contabilização correta do documento.",
    "DATA_INV|não é uma data válida.",
    "BLOQ|Operação bloqueada! Data deve ser maior ou igual a data de processamento.",
    "Lanc_ForaPeri|Data do lançamento fora do período contábil.",
    "Data_br|Data deve ser informada.",
    "Vr<0|Valor deve ser diferente de zero.",
    "dsLan_inf|Descrição deve ser informada.",
    "LANCA_JA_CAD|Lançamento em conta corrente já cadastrado. Confirma operação?",
    "Excl_Conciliado|Conciliado com a linha %1 do extrato %2: a exclusão desfaz a conciliação.",
    "Excl_Devolve|A exclusão devolve o que o lançamento usou, para ser usado de novo:",
    // Said of an include and of a change alike; the list behind is still the one of before, so the operator
    // is told where the other entry shows: in the question a new confirmation asks.
    "LANCA_JA_CAD_OUTRO|Outro operador acaba de gravar nesta conta um lançamento igual a este (mesma data, "
    "documento, valor e histórico). Nada foi gravado: confirme de novo para ver os lançamentos iguais e "
    "dizer se este também deve ser gravado.",
    "Adianta_Ja_Util|Operação Bloqueada. Adiantamento já foi utilizado.",
    "Devolucao_Ja_Util|Operação Bloqueada. Devolução já foi utillizada.",
    "N_Pode_Lanc_Orca|Lançamento não foi incluído pois supera o valor orçado.",
    "Devo_NAlter|Nota fiscal de devolução não pode ser alterado.",
    "Oper_blo|Operação Bloqueada! Lançamento em conta corrente de um boleto descontado não pode ser "
    "modificado.",
    "LancEmprAlt|Operação bloqueada! Não é possível alterar lançamentos originados de empréstimo ou leasing.",
    "AltLancComp|Lançamento ligado a uma compensação não pode ser alterado.",
    "LancEmpr|Operação bloqueada! Não é possível excluir lançamentos originados de empréstimo ou leasing.",
    "ExcLancComp|Lançamento ligado a uma compensação não pode ser excluído.",
    "MovBancOrig_Conc|Operação Bloqueada. A movimentação de origem deste estorno (a baixa a pagar) está "
    "conciliada.",
    "Alt_Nao_Permitida|Alteração não permitida! Movimento bancário do lançamento foi conciliado junto com "
    "outros "
    "movimentos bancários.\n",
    "Excl_Nao_Permitida|Exclusão não permitida! Movimento bancário do lançamento foi conciliado junto com "
    "outros "
    "movimentos bancários.\n",
    "DEL_IMPRESSORA|Impressora foi desinstalada, o sistema será fechado para aplicação das alterações.",
    "SIS_FIN|Sistema Finalizado.",
    "Lanc_NaoEncontrado|O lançamento escolhido não está mais na lista: foi excluído ou alterado por outro "
    "operador. Nada foi feito.",
    "FiltroEmUso|Filtro em uso: %1",
    "DesfazFiltro|Para desfazer o filtro: Filtrar (Ctrl+L), \"Todos\" em Lançamento e em Tipo, valores "
    "zerados e Confirmar.",
    "Lanc_Alterado|O lançamento escolhido foi gravado por outro operador (alterado, conciliado, com a "
    "conciliação desfeita ou com um cheque emitido). Confira-o na lista atualizada e repita a operação.",
    "Lanc_ForaDaLista|O lançamento foi incluído, mas a lista não o mostra: o filtro em uso, ou os dias que a "
    "lista abrange, o deixam de fora.",
    "Lanc_Escolher|O lançamento marcado na lista ficou no lugar do escolhido, que não está mais nela: nada "
    "foi feito. Escolha na lista (com o mouse ou as setas) o lançamento em que quer agir e repita a "
    "operação.",
};

// Where the widths an operator gives the list's columns are kept.
const QString listLayoutKey = QStringLiteral("BCO11100/dbgPadrao");

// The wait animation of the day's balance.
constexpr int BalanceAnimation = 6;

QString fitted(const QString &value, int width) {
    return value.left(width);
}

// A closed control still shows its value in the ordinary text colour: the operator reads the entry on the
// form page and the balance while they are closed to typing, which their background tells.
void keepTextReadable(QWidget *control) {
    QPalette palette = control->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    control->setPalette(palette);
}

QString processingDateText() {
    return Consiste::DateToText(Ondrima::DataProc(Ondrima::FiliProc()));
}

} // namespace

TfrmLancCCorr::TfrmLancCCorr(QWidget *parent)
    : TfrmPadrao(DescendantLayout{}, parent)
    , records([] { return dtmDBGeral::adcGeral(); })
    , ui(std::make_unique<Ui::frmLancCCorr>())
    , listLoader_([this](const QString &method, bco::VariantList &args) {
        return Consiste::CheckResultServ(netLancContCorr.Call(method, args), true, 0);
    }) {
    for (const char *row : messages)
        msgPadrao.add(QString::fromUtf8(row));
    addOpenItemMessages();
    addExportMessages();
    ui->setupUi(this);
    BindFrame();
    bco::keepOnOneLine(*ui->edtDsLancamento);

    dtsLancamentos.SetDataSet(&records.cdsLancamentos);
    dtsConta.SetDataSet(&records.qryConta);
    dtsLancCred.SetDataSet(&records.qryLancCred);
    dtsLancDeb.SetDataSet(&records.qryLancDeb);
    dtsCentCustFil.SetDataSet(&records.qryCentCustFil);
    dtsFilial.SetDataSet(&records.cdsFilial);
    dtsCliente.SetDataSet(&records.cdsCliente);
    dtsFornecedor.SetDataSet(&records.cdsFornecedor);

    ui->dbgPadrao->SetDataSource(&dtsLancamentos);
    // The widths keep their proportions and grow with a font in which a date would not fit its column.
    const double scale =
        std::max(1.0, ui->dbgPadrao->NaturalWidth(records.cdsLancamentos.FieldByName(u"DTMOVICRED")) / 75.0);
    const auto width = [scale](int stated) {
        return static_cast<int>(std::ceil(stated * scale));
    };
    ui->dbgPadrao->SetColumns({
        {.fieldName = QStringLiteral("DTMOVICRED"), .width = width(75)},
        {.fieldName = QStringLiteral("TIPO"), .width = width(180)},
        {.fieldName = QStringLiteral("DSMOVICRED"), .width = width(191)},
        {.fieldName = QStringLiteral("VRMOVICRED"), .width = width(105), .titleAlignment = Qt::AlignRight},
    });
    // The description takes what the window has to spare; the operator sizes the others.
    ui->dbgPadrao->SetStretchColumn(QStringLiteral("DSMOVICRED"));
    ui->dbgPadrao->OnRowChosen = [this] {
        landedOn_ = {};
    };
    dbnPadrao->OnMoved = [this] {
        landedOn_ = {};
    };
    dbnPadrao->SetDataSource(&dtsLancamentos);
    ui->sbtCdRedu->SetDataSource(&dtsConta);
    ui->sbtCdRedu->SetAssociate(ui->medCdRedu);
    for (const auto &[button, field] :
         {std::pair<bco::TBtnPesquisa *, QWidget *>{ui->sbtCdRedu, ui->medCdRedu},
          {ui->btpTipoLanc, ui->medTpLanc},
          {ui->btnFilial, ui->medFilial},
          {ui->btpPesqCentCust, ui->medCentCust},
          {ui->btpInsClie, ui->medInsClie},
          {ui->btpInsForn, ui->medInsForn}})
        button->OpenWithKeyIn(field);
    ui->medCdRedu->SetColor(bco::ControlColor::InfoTip);
    for (QWidget *display :
         std::initializer_list<QWidget *>{ui->edtCdBanco, ui->medCdAgencia, ui->edtConta, ui->edtNmConta,
                                          ui->edtDsTipoLanc, ui->edtNmFilial, ui->edtCentCust,
                                          ui->edtCdEmpresa, ui->edtNmEmpresa, ui->edtNmClie, ui->edtNmForn})
        bco::SetControlColor(display, bco::ControlColor::ButtonFace);
    for (QWidget *control : ui->grbLancamento->findChildren<QLineEdit *>())
        keepTextReadable(control);
    for (QWidget *control :
         std::initializer_list<QWidget *>{ui->cbbTipo, ui->nedSaldo, ui->lblSaldoEm, ui->lblUltMov})
        keepTextReadable(control);
    // A balance sums the entries, and holds more digits than any one of them: the field shows the widest
    // whole, rather than scroll its first digits out of sight (10 billion reading as a few million).
    const QString widestBalance = QStringLiteral("999.999.999.999.999,99 ") + Msg("DB");
    ui->nedSaldo->setFixedWidth(
        std::max(ui->nedSaldo->width(), ui->nedSaldo->fontMetrics().horizontalAdvance(widestBalance) + 16));

    const std::pair<QToolButton *, QStyle::StandardPixmap> icons[] = {
        {ui->sbtFiltro, QStyle::SP_FileDialogListView},
        {ui->sbtContab, QStyle::SP_FileDialogInfoView},
        {ui->sbtEmitirCheque, QStyle::SP_FileDialogNewFolder},
        {ui->sbtImportar, QStyle::SP_DialogOpenButton},
    };
    for (const auto &[button, picture] : icons)
        SetButtonIcon(button, picture);
    BindCommand(ui->sbtFiltro, ui->mnuFiltro);
    BindCommand(ui->sbtContab, ui->mnuContab);
    BindCommand(ui->sbtEmitirCheque, ui->mnuEmitirCheque);
    BindCommand(ui->sbtImportar, ui->actImportar);
    // How to see the whole period again: the filter's own choices, since it keeps its criteria.
    ui->mnuFiltro->setToolTip(ui->mnuFiltro->toolTip() + u'\n' + Msg("DesfazFiltro"));
    ui->mnuFiltro->setStatusTip(Msg("DesfazFiltro"));
    // The form's own maintenance items go after the base form's, before its last item (close).
    mnuManutencao->insertSeparator(mnuFechar);
    mnuManutencao->insertActions(mnuFechar, {ui->mnuFiltro, ui->mnuContab, ui->mnuEmitirCheque});
    mnuManutencao->insertSeparator(mnuFechar);
    mnuManutencao->insertActions(mnuFechar, {ui->actExportarLista, ui->actCopiarLista});
    mnuManutencao->insertSeparator(mnuFechar);
    // The list's commands work wherever the focus is in the form, as the tool bar's do.
    for (QAction *command : {ui->actExportarLista, ui->actCopiarLista}) {
        command->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(command);
    }

    bindHandlers();
    // The report chooses its own accounts: it may be printed in every situation of the form.
    mnuListagem->setEnabled(true);
    // No account is chosen yet: the state of a form whose account bar has the focus.
    Habilita(true);
    HabilitaPagina(false);
}

TfrmLancCCorr::~TfrmLancCCorr() = default;

void TfrmLancCCorr::bindHandlers() {
    bco::FocusTracker &focus = bco::FocusTracker::instance();
    focus.setEnterHandler(ui->medCdRedu, [this] { medCdReduEnter(); });
    focus.setExitHandler(ui->medCdRedu, [this] { Vd_CdRedu(false); });
    focus.setEnterHandler(ui->panFiltro, [this] { panFiltroEnter(); });
    focus.setExitHandler(ui->panFiltro, [this] { panFiltroExit(); });
    focus.setEnterHandler(ui->cbbTipo, [this] { cbbTipoEnter(); });

    bco::connectGuarded(ui->medCdRedu, &bco::EditControl::Changed, this, [this] { medCdReduChange(); });
    ui->sbtCdRedu->BeforePesq = [this] {
        records.qryConta.ParamByName(QStringLiteral("P_CDREDUCONT")).Clear();
        records.qryConta.Open();
    };
    // Only what the operator chooses: the form sets the choice itself when it shows an entry.
    bco::connectGuarded(ui->cbbTipo, &QComboBox::activated, this, [this](int) { cbbTipoChange(); });
    bco::connectGuarded(ui->medTpLanc, &bco::EditControl::Changed, this,
                        [this] { ui->edtDsTipoLanc->clear(); });
    bco::connectGuarded(ui->medFilial, &bco::EditControl::Changed, this,
                        [this] { ui->edtNmFilial->clear(); });
    bco::connectGuarded(ui->medCentCust, &bco::EditControl::Changed, this,
                        [this] { ui->edtCentCust->clear(); });

    bco::connectGuarded(&dtsLancamentos, &bco::DataSource::DataChange, this,
                        [this](const bco::Field *) { dtsLancamentosDataChange(); });
    bco::connectGuarded(&dtsLancamentos, &bco::DataSource::StateChange, this,
                        [this] { dtsLancamentosStateChange(); });

    OnClick(ui->mnuFiltro, [this] { sbtFiltroClick(); });
    OnClick(ui->mnuContab, [this] { sbtContabClick(); });
    OnClick(ui->mnuEmitirCheque, [this] { sbtEmitirChequeClick(); });
    OnClick(ui->actImportar, [] { Cli_bco11104::CriaImportacao(OpenEntryFormFinder()); });
    OnClick(ui->actExportarLista, [this] { ExportaLista(); });
    OnClick(ui->actCopiarLista, [this] { CopiaLista(); });

    bindFieldChecks();
}

EntryFormFinder OpenEntryFormFinder() {
    return []() -> EntryFormServices * {
        return frmLancCCorr.data();
    };
}

void TfrmLancCCorr::RefreshEntryList() {
    if (mode_ != Mode::Browsing || !records.cdsLancamentos.Active() ||
        Consiste::EmptyString(ui->medCdRedu->Text()))
        return;
    // The operator comes back to the entry left, not to the list's first row.
    const ChosenEntry chosen = CurrentEntry();
    CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
    if (!chosen.movement.isEmpty() && !LocateMovement(chosen.company, chosen.movement))
        StandInPlaceOf(chosen);
    SaldoDia();
}

QString TfrmLancCCorr::Msg(const char *key) const {
    return msgPadrao.Msg(QString::fromLatin1(key));
}

void TfrmLancCCorr::Refuse(const char *key) const {
    Consiste::MensErro(Msg(key), false);
    throw Consiste::EAbort();
}

// The list is open only for an account that was checked; a closed list leaves nothing but the account bar,
// whatever handler sets the tool bar.
bool TfrmLancCCorr::NoAccount() const {
    return !records.cdsLancamentos.Active();
}

void TfrmLancCCorr::SetMode(Mode mode) {
    mode_ = mode;
    boInclusao = mode == Mode::Including;
    boAltera = mode == Mode::Changing;
}

// ---- opening and closing ----

void TfrmLancCCorr::FormCreate() {
    TfrmPadrao::FormCreate();
    netLancContCorr.SetBeforeConnect(
        [](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
    netLancContCorr.Open();
    SetActivePage(tshFolhaDados);
    ui->dbgPadrao->SetColumnWidths(bco::readColumnWidths(listLayoutKey));
    ui->lblUltMov->setText(processingDateText());
    accountKind_.clear();
    const QString ledgerMask = Ondrima::DBPict(2);
    records.cdsFornecedor.FieldByName(u"CDCONTCTBL").SetEditMask(ledgerMask);
    records.cdsCliente.FieldByName(u"CDCONTCTBL").SetEditMask(ledgerMask);
    records.cdsVeri_Bol.CreateDataSet();
    const bco::Variant parameters =
        Consiste::CheckResultServ(netLancContCorr.Call(QStringLiteral("GetParamGeral")), true, 0);
    records.cdsParamGeral.SetData(parameters.array().at(0));
    records.cdsGerParamgeral.SetData(parameters.array().at(1));
}

void TfrmLancCCorr::FormActivate() {
    repaint();
    // Coming back to the form in the middle of an include must not close the fields being typed.
    HabilitaCampos(mode_ == Mode::Including);
}

// Closing would lose what is being typed: the operator is asked as the cancel asks, and "Não" keeps the form
// and its fields as they are.
bool TfrmLancCCorr::FormCloseQuery() {
    return !Editing() || ConfirmaCancelamento();
}

void TfrmLancCCorr::FormClose(bco::TCloseAction &action) {
    boStCriado = false;
    bco::writeColumnWidths(listLayoutKey, ui->dbgPadrao->ColumnWidths());
    // The modes end with the form: a new form starts with no entry being included or changed.
    SetMode(Mode::Browsing);
    netLancContCorr.Close();
    // The filter dialog lives as long as the entry form it filters.
    delete Cli_bco11102::frmFiltroLancCont.data();
    Cli_bco11102::frmFiltroLancCont = nullptr;
    TfrmPadrao::FormClose(action);
}

// ---- the account bar ----

void TfrmLancCCorr::medCdReduEnter() {
    ui->mnuEmitirCheque->setEnabled(false);
}

void TfrmLancCCorr::medCdReduChange() {
    ui->edtCdBanco->clear();
    ui->medCdAgencia->Clear();
    ui->edtConta->clear();
    ui->edtNmConta->clear();
    ui->nedSaldo->Clear();
    ui->nedSaldo->SetNumberFormat(QString());
    records.cdsLancamentos.Close();
}

void TfrmLancCCorr::panFiltroEnter() {
    records.cdsLancamentos.Close();
    if (ActivePage() != tshFolhaDados) {
        SetActivePage(tshFolhaDados);
        pgcPadraoChange();
    }
    Habilita(true);
    HabilitaPagina(false);
}

void TfrmLancCCorr::panFiltroExit() {
    // The focus came into the bar from another window (a dialog that closed) without entering it, and leaves
    // it for a command: the list of this account is open, and loading it again would end what the command
    // starts.
    if (records.cdsLancamentos.Active() && listedAccount_ == ui->medCdRedu->Text())
        return;
    const bool leftFromTheAccount = bco::FocusTracker::instance().leaving(this) == ui->medCdRedu;
    Vd_CdRedu(true);
    // A list loaded from the bar starts afresh, on its first row, as the operator expects of any account.
    landedOn_ = {};
    CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
    // Left from another field of the bar, the account's own exit showed the balance when it was left: the
    // list loaded now comes with the balance of now.
    if (!leftFromTheAccount)
        SaldoDia();
    HabilitaPagina(true);
}

void TfrmLancCCorr::Vd_CdRedu(bool mandatory) {
    ui->medCdRedu->SetText(Consiste::Ajusta(ui->medCdRedu->Text(), 3));
    const QString code = ui->medCdRedu->Text();
    try {
        if (Consiste::EmptyString(code)) {
            if (mandatory)
                Consiste::MensErro(Msg("CdRedu_inf"), true);
            return;
        }
        // Leaving the bar from the field itself: the field's exit has just checked it.
        if (mandatory && bco::FocusTracker::instance().activeControl(this) != ui->medCdRedu)
            return;
        bco::LocalQuery &accounts = records.qryConta;
        accounts.ParamByName(QStringLiteral("P_CDREDUCONT")).SetAsString(code);
        accounts.Open();
        if (accounts.IsEmpty())
            Consiste::MensErro(Msg("CdRedu_cad"), true);
        if (!Dbgeral::AcessoOperContCorr(Ondrima::Operador(), code))
            Consiste::MensErro(Msg("ContCorr_Nr"), true);
        ui->edtCdBanco->setText(accounts.FieldByName(u"CDBANCO").AsString());
        ui->medCdAgencia->SetText(accounts.FieldByName(u"CDMASKAGEN").AsString());
        ui->edtConta->setText(accounts.FieldByName(u"CDMASKCONTA").AsString());
        ui->edtNmConta->setText(accounts.FieldByName(u"DSCONTCORR").AsString());
        accountLedgerAccount_ =
            fitted(accounts.FieldByName(u"CDCONTCTBL").AsString(), WorkingWidth::AccountLedgerAccount);
        accountKind_ = fitted(accounts.FieldByName(u"IDTIPOCCORR").AsString(), WorkingWidth::AccountKind);
        SaldoDia();
    } catch (...) {
        bco::DeactiveShowAvi();
        ui->medCdRedu->setFocus();
        throw;
    }
}

void TfrmLancCCorr::SaldoDia() {
    const QDate processingDate = Ondrima::DataProc(Ondrima::FiliProc());
    ui->lblUltMov->setText(Consiste::DateToText(processingDate));
    QWidget *mainForm = bco::Host::frame().mainForm();
    bco::ActiveShowAvi(mainForm != nullptr ? mainForm : this, BalanceAnimation, Msg("getAtuSald"));
    const double balance = Consiste::CheckResultServ(
                               netLancContCorr.Call(QStringLiteral("getSaldoDia"),
                                                    bco::VariantList{ui->medCdRedu->Text(), processingDate}),
                               true, 0)
                               .toFloat();
    ui->nedSaldo->SetValue(std::abs(balance));
    if (balance > 0)
        ui->nedSaldo->SetNumberFormat(QStringLiteral("%n ") + Msg("CR"));
    else if (balance < 0)
        ui->nedSaldo->SetNumberFormat(QStringLiteral("%n ") + Msg("DB"));
    bco::DeactiveShowAvi();
}

// ---- the list ----

void TfrmLancCCorr::CarregaLista(const QString &operation) {
    const int changesBefore = listStateChanges_;
    Cli_bco11102::CriaFiltroLancCont(*this, Cli_bco11102::frmFiltroLancCont, &dtsLancamentos, operation,
                                     ui->medCdRedu->Text());
    listedAccount_ = records.cdsLancamentos.Active() ? ui->medCdRedu->Text() : QString();
    // Loading an open list keeps it open, so the data set announces no change of state; the form reacts as
    // to a list closed and opened again. While its display is suspended it waits, as the data set does.
    if (listStateChanges_ == changesBefore && !records.cdsLancamentos.ControlsDisabled())
        dtsLancamentosStateChange();
    // The criteria may have changed without the list's state changing.
    MostraFiltro();
}

void TfrmLancCCorr::sbtFiltroClick() {
    const quint64 shown = records.cdsLancamentos.ContentGeneration();
    const ChosenEntry chosen = CurrentEntry();
    bco::ClientDataSet &list = records.cdsLancamentos;
    const std::optional<qint64> shownAt = listLoader_.versionShown(list);
    CarregaLista(QStringLiteral("BOTAO_FILTRO"));
    // Back on the operator's entry. Where the new list lacks it but the account holds it still (nothing was
    // written to the account since the list it was chosen from, or the server finds it on its day), the
    // operator's own criteria left it out: a new list, which stands where it opens. Else someone removed it,
    // and the list stands on none the operator chose.
    if (list.ContentGeneration() != shown && !chosen.movement.isEmpty() &&
        !LocateMovement(chosen.company, chosen.movement)) {
        const bool nothingWrittenSince =
            shownAt && listLoader_.versionShown(list) == shownAt && listLoader_.isStillCurrent(list);
        if (!nothingWrittenSince && !AccountStillHolds(chosen))
            StandInPlaceOf(chosen);
    }
    SetActivePage(tshFolhaDados);
    BalanceFollowsList(shown);
}

void TfrmLancCCorr::BalanceFollowsList(quint64 shown) {
    if (records.cdsLancamentos.ContentGeneration() != shown && !listedAccount_.isEmpty())
        SaldoDia();
}

void TfrmLancCCorr::MostraFiltro() {
    const bool listed = records.cdsLancamentos.Active() && !Cli_bco11102::frmFiltroLancCont.isNull();
    const Cli_bco11102::TFILTRO *filter = listed ? &Cli_bco11102::frmFiltroLancCont->SavedFilter() : nullptr;
    const bool narrows = filter != nullptr && Cli_bco11102::FilterNarrows(*filter);
    ui->lblFiltroAtivo->setText(filter == nullptr ? QString()
                                : narrows ? Msg("FiltroEmUso").arg(Cli_bco11102::DescribeFilter(*filter))
                                          : Cli_bco11102::DescribeFilter(*filter));
    // A list that leaves entries out says so where the eye goes.
    QFont font = ui->lblFiltroAtivo->font();
    font.setBold(narrows);
    ui->lblFiltroAtivo->setFont(font);
    ui->lblFiltroAtivo->setToolTip(narrows ? Msg("DesfazFiltro") : QString());
}

void TfrmLancCCorr::dtsLancamentosStateChange() {
    ++listStateChanges_;
    MostraFiltro();
    bco::ClientDataSet &list = records.cdsLancamentos;
    // A command that is starting an include keeps it, whatever reload its first move caused.
    if (commandStarting_)
        return;
    if (list.IsEmpty())
        SetActivePage(tshFolhaDados);
    SetMode(Mode::Browsing);
    Habilita(NoAccount());
    // A list opens here with its first entry shown before its state is announced: the cheque button, which
    // depends on the tool bar just set, is set again for that entry.
    RegraCheque();
}

void TfrmLancCCorr::dtsLancamentosDataChange() {
    const bco::ClientDataSet &entry = records.cdsLancamentos;
    const auto value = [&entry](const char16_t *field) {
        return entry.FieldByName(field).AsString();
    };
    bco::LocalQuery &costCentres = records.qryCentCustFil;
    costCentres.ParamByName(QStringLiteral("P_CDCENTCUST")).SetAsString(value(u"CDCENTCUST"));
    costCentres.ParamByName(QStringLiteral("P_TCDCENTCUST")).Clear();
    costCentres.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(value(u"CDFILIAL"));
    costCentres.Open();

    filling_ = true;
    if (!Editing()) {
        if (!entry.IsEmpty())
            ui->depDataMov->SetDate(entry.FieldByName(u"DTMOVICRED").AsDateTime());
        ui->edtDsLancamento->setText(value(u"DSMOVICRED"));
        ui->nedLancamento->SetValue(entry.FieldByName(u"VRMOVICRED").AsFloat());
        ui->cbbTipo->setCurrentIndex(value(u"DEBCRED") == u"C" ? 0 : 1);
        ui->medNrDocBanc->SetText(value(u"NRDOCMBANC"));
        ui->medTpLanc->SetText(value(u"CDTIPO"));
        ui->edtDsTipoLanc->setText(value(u"TIPO"));
        ui->medFilial->SetText(value(u"CDFILILANCA"));
        ui->edtNmFilial->setText(value(u"NMFILIAL"));
        ui->medCentCust->SetText(value(u"CDCENTCUST"));
        ui->edtCentCust->setText(costCentres.IsEmpty() ? QString()
                                                       : costCentres.FieldByName(u"NMCENTCUST").AsString());
        ui->edtCdEmpresa->setText(records.qryConta.FieldByName(u"CDEMPRESA").AsString());
        ui->edtNmEmpresa->setText(records.qryConta.FieldByName(u"NMEMPRESA").AsString());
        QString customer = value(u"NRINSJURCLIE");
        QString supplier = value(u"NRINSJURFORN");
        ui->medInsClie->SetEditMask(Consiste::PictPess(Consiste::Ajusta_Inscricao(customer)));
        ui->medInsForn->SetEditMask(Consiste::PictPess(Consiste::Ajusta_Inscricao(supplier)));
        ui->medInsClie->SetText(value(u"NRINSJURCLIE"));
        ui->medInsForn->SetText(value(u"NRINSJURFORN"));
        ui->edtNmClie->setText(value(u"NMRAZSOCCLIE"));
        ui->edtNmForn->setText(value(u"NMRAZSOCFORN"));
    }
    HabilitaPagina(true);
    RegraCheque();
    CheckPageItems();
    filling_ = false;
}

void TfrmLancCCorr::RegraCheque() {
    ui->mnuEmitirCheque->setEnabled(ui->cbbTipo->currentIndex() == 1 && BrowsingEntries());
}

// ---- modes ----

void TfrmLancCCorr::Habilita(bool blocked) {
    const bool editing = Editing();
    ui->grbLancamento->setEnabled(editing);
    const bool include = !(editing || blocked);
    const bool listed = include && !records.cdsLancamentos.IsEmpty();
    const std::pair<QAction *, bool> commands[] = {
        {mnuIncluir, include},      {mnuAlterar, listed},           {mnuExcluir, listed},
        {mnuProcurar, listed},      {mnuVerificar, listed},         {ui->mnuContab, listed},
        {ui->mnuFiltro, include},   {mnuConfirmar, editing},        {mnuCancelar, editing},
        {ui->actImportar, include}, {ui->actExportarLista, listed}, {ui->actCopiarLista, listed},
    };
    for (const auto &[command, on] : commands)
        command->setEnabled(on);

    dbnPadrao->setEnabled(!editing);
    for (QAction *item : {mnuPrimeiro, mnuAnterior, mnuProximo, mnuUltimo})
        item->setEnabled(!editing);
    dbtNome->SetDataSource(editing ? nullptr : &dtsLancamentos);
}

void TfrmLancCCorr::HabilitaPagina(bool on) {
    const bool grid = !Editing();
    SetPageEnabled(tshFolhaDados, grid);
    mnuFolhaDados->setEnabled(grid);
    const bco::ClientDataSet &list = records.cdsLancamentos;
    const bool form = on && list.Active() && (!list.IsEmpty() || Editing());
    SetPageEnabled(tshFormulario, form);
    mnuFormulario->setEnabled(form);
}

void TfrmLancCCorr::HabilitaCampos(bool on) {
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->depDataMov,  ui->lblData,      ui->cbbTipo,    ui->lblTipoLanc,     ui->nedLancamento,
             ui->lblValor,    ui->lblForma,     ui->medTpLanc,  ui->btpTipoLanc,     ui->medFilial,
             ui->btnFilial,   ui->lblFilial,    ui->medInsClie, ui->btpInsClie,      ui->lblClie,
             ui->medInsForn,  ui->btpInsForn,   ui->lblForn,    ui->btpPesqCentCust, ui->medCentCust,
             ui->lblCentCust, ui->medNrDocBanc, ui->lblNrDoc})
        control->setEnabled(on);
    const bco::ControlColor color = on ? bco::ControlColor::InfoTip : bco::ControlColor::ButtonFace;
    for (QWidget *field : std::initializer_list<QWidget *>{ui->depDataMov, ui->cbbTipo, ui->nedLancamento,
                                                           ui->medTpLanc, ui->medFilial, ui->medInsClie,
                                                           ui->medInsForn, ui->medCentCust, ui->medNrDocBanc})
        bco::SetControlColor(field, color);
}

void TfrmLancCCorr::sbtIncluirClick() {
    TfrmPadrao::sbtIncluirClick();
    SetMode(Mode::Including);
    draftStillWanted_ = {};
    draftIncluded_ = {};
    boValidaIdComp = false;
    HabilitaCampos(true);
    Habilita(false);
    ui->depDataMov->SetDate(QDate::currentDate());
    ui->medTpLanc->Clear();
    ui->medCentCust->Clear();
    ui->edtCentCust->clear();
    ui->edtDsLancamento->clear();
    ui->nedLancamento->Clear();
    ui->cbbTipo->setCurrentIndex(0);
    RegraCheque();
    ui->btpTipoLanc->SetDataSource(&dtsLancCred);
    ui->btpTipoLanc->SetTitle(Msg("TIPOCRE"));
    ui->medNrDocBanc->Clear();
    ui->edtDsTipoLanc->clear();
    ui->edtCdEmpresa->setText(records.qryConta.FieldByName(u"CDEMPRESA").AsString());
    ui->edtNmEmpresa->setText(records.qryConta.FieldByName(u"NMEMPRESA").AsString());
    HabilitaPagina(true);
    SetActivePage(tshFormulario);
    CheckPageItems();
    Consiste::SetChildEnabled(ui->panFiltro, false);
    // The cost centre is mandatory under this kind of budget.
    if (records.cdsGerParamgeral.FieldByName(u"IDTIPOORCA").AsString() == u"C")
        ui->medCentCust->SetColor(bco::ControlColor::InfoTip);
    for (auto [taxNumber, name, parties] : {std::tuple{ui->medInsForn, ui->edtNmForn, &records.cdsFornecedor},
                                            std::tuple{ui->medInsClie, ui->edtNmClie, &records.cdsCliente}}) {
        taxNumber->Clear();
        name->clear();
        taxNumber->SetEditMask(QString());
        parties->Close();
        parties->CreateDataSet();
    }
    typeAccount_.clear();
    typeCommercialKind_.clear();
    typeAccountingFlag_.clear();
    {
        const QScopedValueRollback starting(commandStarting_, true);
        ui->depDataMov->setFocus();
    }
    insertPending_ = true;
    boValidaIdComp = true;
    // A new entry never carries advances or returns chosen for an earlier one.
    openItemsParty_.clear();
    for (bco::ClientDataSet *chosen :
         {&records.cdsAdiantaCred, &records.cdsAdiantaCredFor, &records.cdsDevoluDebCli,
          &records.cdsDevoluCredFor, &records.cdsDevolucaoCLI, &records.cdsDevolucaoFOR}) {
        if (chosen->Active())
            chosen->EmptyDataSet();
        else
            chosen->CreateDataSet();
    }
}

void TfrmLancCCorr::sbtCancelarClick() {
    TfrmPadrao::sbtCancelarClick();
    if (!ConfirmaCancelamento())
        return;
    if (ActivePage() == tshFormulario) {
        ui->depDataMov->Clear();
        ui->medTpLanc->Clear();
        ui->edtDsLancamento->clear();
        ui->edtDsTipoLanc->clear();
        ui->nedLancamento->Clear();
        ui->medNrDocBanc->Clear();
        ui->medFilial->Clear();
    }
    sbtVerificarClick();
    dtsLancamentosStateChange();
    HabilitaPagina(true);
    bco::ClientDataSet &list = records.cdsLancamentos;
    if (list.IsEmpty()) {
        SetPageEnabled(tshFolhaDados, true);
        SetActivePage(tshFolhaDados);
        pgcPadraoChange();
        SetPageEnabled(tshFolhaDados, false);
        mnuFolhaDados->setEnabled(false);
    } else {
        const QString movement = list.FieldByName(u"NRMOVBANC").AsString();
        CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
        if (!list.IsEmpty())
            list.Locate(QStringLiteral("NRMOVBANC"), movement, bco::LocateOption::CaseInsensitive);
    }
    Vd_CdRedu(false);
    Consiste::SetChildEnabled(ui->panFiltro, true);
    previousKindIndex_ = ui->cbbTipo->currentIndex();
    RegraCheque();
    HabilitaCampos(false);
    FocaLista();
}

void TfrmLancCCorr::sbtVerificarClick() {
    TfrmPadrao::sbtVerificarClick();
    bco::ClientDataSet &list = records.cdsLancamentos;
    const ChosenEntry chosen = CurrentEntry();
    const quint64 shown = list.ContentGeneration();
    {
        bco::ClientDataSet::DisabledControls suspended(list);
        CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
    }
    // The reload ran with the list's display held, which tells no state change: the commands follow the
    // list as it came back (one another operator emptied offers nothing to change).
    if (!Editing())
        Habilita(NoAccount());
    if (!chosen.movement.isEmpty() && !LocateMovement(chosen.company, chosen.movement))
        StandInPlaceOf(chosen);
    BalanceFollowsList(shown);
}

bool TfrmLancCCorr::AccountStillHolds(const ChosenEntry &chosen) {
    const QDate day = chosen.date;
    bco::VariantList criteria{
        listedAccount_, day, day, 0.0, 0.0, QStringLiteral("T"), chosen.kind, QString(), QStringLiteral("T")};
    const bco::DataPacket entries =
        Consiste::CheckResultServ(netLancContCorr.Call(QStringLiteral("GetLancamentos"), criteria), true, 0)
            .packet();
    for (int row = 0; row < entries.rowCount(); ++row)
        if (entries.value(row, u"NRMOVBANC").toText() == chosen.movement &&
            entries.value(row, u"CDEMPRESA").toText() == chosen.company)
            return true;
    return false;
}

bool TfrmLancCCorr::LocateMovement(const QString &company, const QString &movement) {
    bco::ClientDataSet &list = records.cdsLancamentos;
    return list.Active() &&
           list.Locate(QStringLiteral("CDEMPRESA; NRMOVBANC"), bco::VariantList{company, movement},
                       bco::LocateOption::CaseInsensitive);
}

void TfrmLancCCorr::sbtImprimirClick() {
    TfrmPadrao::sbtImprimirClick();
    Cli_bco11101::CriaRelLancCont(this);
    repaint();
}

void TfrmLancCCorr::sbtProcurarClick() {
    TfrmPadrao::sbtProcurarClick();
    // The row the search found is the operator's choice, as one picked on the list.
    if (bco::Procura(&records.cdsLancamentos))
        landedOn_ = {};
}

// ---- pages ----

bool TfrmLancCCorr::focusNextPrevChild(bool next) {
    // Qt hands the focus on by itself when the control holding it is hidden (its page left) or disabled,
    // to the next control that takes it, which may be the account code (whose entry closes the list). The
    // form's controls lose the focus to nothing instead, and the form keeps the control as its active one.
    QWidget *focused = QApplication::focusWidget();
    if (focused != nullptr && isAncestorOf(focused) && (!focused->isVisible() || !focused->isEnabled())) {
        focused->clearFocus();
        return true;
    }
    // The bar's displays are no tab stops, so a typed code is left by Tab for the list at once. An empty one
    // is left, saying nothing, for the bank's display inside the bar: leaving the bar would ask for a code.
    if (next && focused == ui->medCdRedu && ui->medCdRedu->Text().trimmed().isEmpty() &&
        ui->edtCdBanco->isEnabled()) {
        ui->edtCdBanco->setFocus(Qt::TabFocusReason);
        return true;
    }
    return TfrmPadrao::focusNextPrevChild(next);
}

void TfrmLancCCorr::CheckPageItems() {
    mnuFolhaDados->setChecked(ActivePage() == tshFolhaDados);
    mnuFormulario->setChecked(ActivePage() == tshFormulario);
    mnuFolhaDados->setEnabled(PageEnabled(tshFolhaDados));
    mnuFormulario->setEnabled(PageEnabled(tshFormulario));
}

void TfrmLancCCorr::pgcPadraoChanging(bool &AllowChange) {
    if (Editing()) {
        AllowChange = false;
        Consiste::MensErro(Msg("conf_op"), false);
    }
}

void TfrmLancCCorr::pgcPadraoChange() {
    TfrmPadrao::pgcPadraoChange();
    dtsLancamentosDataChange();
    Habilita(NoAccount());
}

// ---- credit or debit ----

void TfrmLancCCorr::cbbTipoEnter() {
    previousKindIndex_ = ui->cbbTipo->currentIndex();
}

void TfrmLancCCorr::cbbTipoChange() {
    if (ui->cbbTipo->currentIndex() != previousKindIndex_) {
        // The description was the name of the type of the other kind.
        if (ui->edtDsLancamento->text() == ui->edtDsTipoLanc->text())
            ui->edtDsLancamento->clear();
        ui->medTpLanc->Clear();
        ui->edtDsTipoLanc->clear();
    }
    RegraCheque();
}

void TfrmLancCCorr::IniciaInclusao(const EntryDraft &draft) {
    if (mode_ != Mode::Browsing)
        Consiste::MensErro(Msg("Inclusao_Andamento"), true);
    if (ui->medCdRedu->Text() != draft.account || !records.cdsLancamentos.Active()) {
        ui->medCdRedu->SetText(draft.account);
        Vd_CdRedu(false);
        landedOn_ = {};
        CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
        HabilitaPagina(true);
    }
    sbtIncluirClick();
    draftStillWanted_ = draft.stillWanted;
    draftIncluded_ = draft.included;
    ui->depDataMov->SetDate(draft.date);
    ui->cbbTipo->setCurrentIndex((draft.kind == u'D' ? DebitKind() : CreditKind()).kindIndex);
    cbbTipoChange();
    previousKindIndex_ = ui->cbbTipo->currentIndex();
    ui->nedLancamento->SetValue(draft.value);
    // A document longer than the field that a bank padded with zeros fits once they are dropped, and means
    // the same.
    const int documentWidth = ui->medNrDocBanc->MaxLength();
    const QString document = draft.document.trimmed().size() > documentWidth
                                 ? Consiste::Ajusta(draft.document, documentWidth)
                                 : draft.document.trimmed();
    ui->medNrDocBanc->SetText(document);
    ui->edtDsLancamento->setText(draft.description);
    // A bank writes longer documents and histories than an entry holds: what the fields took is shown, and
    // what they left out is told, lest the entry be written cut without the operator knowing.
    QStringList cut;
    const auto compare = [&cut](const QString &field, const QString &drafted, const QString &fitted,
                                const QString &taken, int width) {
        if (taken.trimmed() != fitted.trimmed())
            cut << QStringLiteral("%1 do extrato: \"%2\" (o campo leva %3 caracteres)")
                       .arg(field, drafted.trimmed())
                       .arg(width);
    };
    compare(QStringLiteral("Documento"), draft.document, document, ui->medNrDocBanc->Text(), documentWidth);
    compare(QStringLiteral("Histórico"), draft.description, draft.description, ui->edtDsLancamento->text(),
            ui->edtDsLancamento->maxLength());
    if (!cut.isEmpty())
        msgPadrao.ShowMsg(QStringLiteral("Rascunho_Cortado"), bco::MsgKind::Warning, bco::MsgButton::Ok, 0,
                          cut.join(u'\n'));
}

void CriaLancamento() {
    bco::HourglassCursor hourglass;
    if (!boStCriado || frmLancCCorr.isNull()) {
        frmLancCCorr = bco::CreateForm<TfrmLancCCorr>();
        boStCriado = true;
    }
    bco::Host::frame().showChild(*frmLancCCorr);
    if (QMdiSubWindow *window = frmLancCCorr->MdiWindow())
        window->showNormal();
    else
        frmLancCCorr->showNormal();
}

} // namespace Cli_bco11100
