#include "report/report_form.h"

#include <tuple>

#include <QKeyEvent>
#include <QLabel>

#include "entry_model/type_pick_list.h"
#include "framework/checks/consiste.h"
#include "framework/text/edit_mask.h"
#include "framework/session/login_context.h"
#include "framework/session/operator_lookups.h"
#include "framework/session/shared_database.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/lookup_dialogs.h"

#include "ui_report_form.h"

namespace Cli_bco11101 {

QPointer<TfrmRelLancCont> frmRelLancCont;
bool boIdCriado = false;

namespace {

// The room beside a "Lista" for the codes picked in it, in pixels.
constexpr int ChosenCodesWidth = 150;

using bco::FieldKind;

// The account pick list's text in a dialect: how it tests that the account's company is in the list.
QStringList accountListText(const QString &extraTable, const QString &companyTest) {
    return {QStringLiteral("SELECT"),
            QStringLiteral("   C.CDREDUCONT, C.CDBANCO, C.CDAGENCIA, C.CDCONTCORR, C.DSCONTCORR,"),
            QStringLiteral("   C.CDEMPRESA, B.CDPICTCONT, E.NMEMPRESA, B.CDPICTAGEN"),
            QStringLiteral("FROM"),
            QStringLiteral("   CONTCORR C, BANCO B, EMPRESA E") + extraTable,
            QStringLiteral("WHERE"),
            companyTest,
            QStringLiteral("   (:P_TCDEMPRESA = 'T')) AND"),
            QStringLiteral("   (C.CDBANCO = B.CDBANCO) AND"),
            QStringLiteral("   (C.CDEMPRESA = E.CDEMPRESA)"),
            QStringLiteral("ORDER BY"),
            QStringLiteral("   C.CDREDUCONT")};
}

QStringList companyListText(const QString &table, const QString &test) {
    return {QStringLiteral("SELECT"),   QStringLiteral("   CDEMPRESA, NMEMPRESA"),
            QStringLiteral("FROM"),     table,
            QStringLiteral("WHERE"),    test,
            QStringLiteral("ORDER BY"), QStringLiteral("  CDEMPRESA")};
}

} // namespace

TfrmRelLancCont::TfrmRelLancCont(Cli_bco11100::EntryFormServices *entryForm, QWidget *parent)
    : TfrmDadosGerRel(DescendantLayout{}, parent)
    , dtsEmpresa(&qryEmpresa)
    , dtsContCorr(&qryContCorr)
    , dtsLancCred(&qryLancCred)
    , dtsLancDeb(&qryLancDeb)
    , dtsLancto(&cdsLancto)
    , dtsFilial(&cdsFilial)
    , ui(std::make_unique<Ui::frmRelLancCont>())
    , entryForm_(entryForm) {
    ui->setupUi(this);
    BindFrame();

    for (const char *row : {
             "Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi encontrado no "
             "diretório '%s'.",
             "EMPRESA|Empresa",
             "CONTCORR|Conta Corrente",
             "CONT_VAZIO|Não há conta corrente cadastrada para a empresa informada.",
             "EMPRESA_NI|Empresa deve ser informada.",
             "CONTCORR_NI|Conta corrente deve ser informada.",
             "DATAINI_VAZIA|Período inicial deve ser informado.",
             "DATA_INV|não é uma data válida.",
             "DATAFIM_VAZIA|Período final deve ser informado.",
             "DTAINI>DTAFIN|Período inicial deve ser menor ou igual ao período final.",
             "TIPO|Tipo",
             "TIPOCRED|Tipo de Crédito",
             "TIPODEB|Tipo de Débito",
             "TIPO_NI|Tipo deve ser informado.",
             "CREDITO|Crédito",
             "DEBITO|Débito",
             "FILIAL|Filial",
             "FILIAL_NI|Filial deve ser informada.",
             "EMP_N_CAD|Não há empresa cadastrada.",
             "FIL_N_CAD|Não há filial cadastrada para empresa informada.",
             "TIPOCRED_N_CAD|Não há tipo de crédito cadastrado.",
             "TIPODEB_N_CAD|Não há tipo de débito cadastrado.",
             "TIPO_N_CAD|Não há tipo cadastrado.",
         })
        msgPadrao.add(QString::fromUtf8(row));

    declareQueries();
    declareDataSets();
    bindHandlers();
}

TfrmRelLancCont::~TfrmRelLancCont() = default;

QString TfrmRelLancCont::Msg(const char *key) const {
    return msgPadrao.Msg(QString::fromLatin1(key));
}

QString TfrmRelLancCont::titleAndEmpty(const char *title, const char *empty) const {
    return empty == nullptr ? Msg(title) : Msg(title) + QLatin1Char('|') + Msg(empty);
}

void TfrmRelLancCont::declareQueries() {
    qryEmpresa.setObjectName(QStringLiteral("qryEmpresa"));
    // Every dialect lists only the companies in the operator's list: the generic text, the one SQLite and
    // PostgreSQL run, reads the list through PARAM as the InterBase text does.
    qryEmpresa.SQL = companyListText(QStringLiteral("   EMPRESA, PARAM(:CDEMPRESA) P"),
                                     QStringLiteral("   INSTR(P.PARAM, CDEMPRESA) <> 0"));
    qryEmpresa.SQL_IB = qryEmpresa.SQL;
    qryEmpresa.SQL_ORACLE =
        companyListText(QStringLiteral("   EMPRESA"), QStringLiteral("   INSTR(:CDEMPRESA, CDEMPRESA) <> 0"));
    qryEmpresa.SQL_MSSQL = companyListText(QStringLiteral("   EMPRESA"),
                                           QStringLiteral("   CHARINDEX(CDEMPRESA, :CDEMPRESA) <> 0"));
    qryEmpresa.AddFields({{.name = "CDEMPRESA", .size = 2, .label = "Código"},
                          {.name = "NMEMPRESA", .size = 40, .label = "Nome"}});

    qryContCorr.setObjectName(QStringLiteral("qryContCorr"));
    qryContCorr.SQL = accountListText(QStringLiteral(", PARAM(:P_CDEMPRESA) P_CDEMPRESA"),
                                      QStringLiteral("   ((INSTR(P_CDEMPRESA.PARAM, C.CDEMPRESA)<>0) OR"));
    qryContCorr.SQL_IB = qryContCorr.SQL;
    qryContCorr.SQL_ORACLE =
        accountListText(QString(), QStringLiteral("   ((INSTR(:P_CDEMPRESA,C.CDEMPRESA)<>0) OR"));
    qryContCorr.SQL_MSSQL =
        accountListText(QString(), QStringLiteral("   ((CHARINDEX(C.CDEMPRESA,:P_CDEMPRESA)<>0) OR"));
    qryContCorr.AddFields({
        {.name = "CDREDUCONT", .size = 3, .label = "Código"},
        {.name = "CDBANCO", .size = 3, .label = "Banco"},
        {.name = "CDAGENCIA", .size = 5, .label = "Agência", .editMask = "9999-9;0; "},
        {.name = "CDCONTCORR", .size = 10, .label = "Conta Corrente"},
        {.name = "DSCONTCORR", .size = 20, .label = "Descrição"},
        {.name = "CDEMPRESA", .size = 2, .hidden = true},
        {.name = "CDPICTCONT", .size = 20, .hidden = true},
        {.name = "NMEMPRESA", .size = 40, .hidden = true},
        {.name = "CDPICTAGEN", .size = 10, .hidden = true},
    });
    // The account number shows through its bank's picture.
    qryContCorr.FieldByName(u"CDCONTCORR").SetOnGetText([](const bco::Field &field, bool) {
        return bco::FormatThroughPicture(field.DataSet().FieldByName(u"CDPICTCONT").AsString(),
                                         field.AsString());
    });

    const auto sharedDatabase = [] {
        return dtmDBGeral::adcGeral();
    };
    for (bco::LocalQuery *query : {&qryEmpresa, &qryContCorr})
        query->SetConnection(sharedDatabase);
    Cli_bco11100::DeclareTypeListQueries(qryLancCred, qryLancDeb, sharedDatabase);
}

void TfrmRelLancCont::declareDataSets() {
    Cli_bco11100::DeclareTypePickList(cdsLancto, msgPadrao);
    cdsFilial.setObjectName(QStringLiteral("cdsFilial"));
    cdsFilial.AddFields({
        {.name = "IDMARCADO", .size = 1, .fixedWidth = true},
        {.name = "CDFILIAL", .size = 4, .label = "Código"},
        {.name = "NMFILIAL", .size = 30, .label = "Nome"},
    });
}

void TfrmRelLancCont::bindHandlers() {
    rpddPadrao.BeforeGetQueryParams = [this](bco::ReportParams &params) {
        rpddPadraoBeforeGetQueryParams(params);
    };

    // Each "Lista" opens its group's pick list.
    const std::pair<QRadioButton *, bco::TBtnPesquisa *> lists[] = {
        {ui->rbtListBanc, ui->sbtListEmpresa},
        {ui->rbtListContCorr, ui->sbtListContCorr},
        {ui->rbtListaTipo, ui->sbtTipo},
        {ui->rbtListaFili, ui->sbtFilial}};
    for (const auto &[radio, button] : lists) {
        bco::connectGuarded(radio, &QRadioButton::toggled, this, [this, button = button](bool checked) {
            button->setEnabled(checked);
            MostraEscolhas();
        });
        radio->installEventFilter(this);
    }
    bco::connectGuarded(ui->rbtListBanc, &QRadioButton::toggled, this,
                        [this](bool) { CompanyChoiceChanged(); });
    // A type list holds the types of one kind.
    for (QRadioButton *kind : {ui->rbtTodos, ui->rbtCredito, ui->rbtDebito})
        bco::connectGuarded(kind, &QRadioButton::clicked, this, [this](bool) {
            stListTipo.clear();
            MostraEscolhas();
        });

    // Whatever a pick list ends in (a pick, a cancel, a refusal), the form shows the choices as they are.
    const auto showingChoices = [this](void (TfrmRelLancCont::*pick)()) {
        return [this, pick] {
            struct Show {
                TfrmRelLancCont &form;
                ~Show() { form.MostraEscolhas(); }
            } show{*this};
            (this->*pick)();
        };
    };
    ui->sbtListEmpresa->OnClick = showingChoices(&TfrmRelLancCont::sbtListEmpresaClick);
    ui->sbtListContCorr->OnClick = showingChoices(&TfrmRelLancCont::sbtListContCorrClick);
    ui->sbtTipo->OnClick = showingChoices(&TfrmRelLancCont::sbtTipoClick);
    ui->sbtFilial->OnClick = showingChoices(&TfrmRelLancCont::sbtFilialClick);

    bco::FocusTracker &focus = bco::FocusTracker::instance();
    focus.setExitHandler(ui->depDataIni, [this] { Vd_DataIni(false); });
    focus.setExitHandler(ui->depDataFin, [this] { Vd_DataFim(false); });
}

bool TfrmRelLancCont::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F9) {
        const std::pair<QObject *, bco::TBtnPesquisa *> lists[] = {{ui->rbtListBanc, ui->sbtListEmpresa},
                                                                   {ui->rbtListContCorr, ui->sbtListContCorr},
                                                                   {ui->rbtListaTipo, ui->sbtTipo},
                                                                   {ui->rbtListaFili, ui->sbtFilial}};
        for (const auto &[radio, button] : lists)
            if (radio == watched) {
                button->click();
                return true;
            }
    }
    return TfrmDadosGerRel::eventFilter(watched, event);
}

void TfrmRelLancCont::FormCreate() {
    TfrmDadosGerRel::FormCreate();
    stListEmpresa.clear();
    stListContCorr.clear();
    stListTipo.clear();
    stListFilial.clear();
    Dbgeral::ListaEmpresaOper(Ondrima::Operador(), stEmpresaOper);
    // The month being worked, up to the working day: what the report is most often asked for.
    const QDate processing = Ondrima::DataProc(Ondrima::FiliProc());
    ui->depDataIni->SetDate(QDate(processing.year(), processing.month(), 1));
    ui->depDataFin->SetDate(processing);
    MostraEscolhas();
}

void TfrmRelLancCont::MostraEscolhas() {
    const std::tuple<QRadioButton *, QLabel *, const QString *> lists[] = {
        {ui->rbtListBanc, ui->lblEscEmpresa, &stListEmpresa},
        {ui->rbtListContCorr, ui->lblEscContCorr, &stListContCorr},
        {ui->rbtListaTipo, ui->lblEscTipo, &stListTipo},
        {ui->rbtListaFili, ui->lblEscFilial, &stListFilial}};
    for (const auto &[radio, label, codes] : lists) {
        // The codes as the operator picked them, without the quotes the queries need.
        QString shown = radio->isChecked() ? *codes : QString();
        shown.remove(u'\'');
        shown.replace(u',', QStringLiteral(", "));
        // A long choice is cut to the room there is; the tip holds it whole.
        label->setToolTip(shown);
        label->setText(label->fontMetrics().elidedText(shown, Qt::ElideRight, ChosenCodesWidth));
    }
}

void TfrmRelLancCont::FormClose(bco::TCloseAction &action) {
    boIdCriado = false;
    netLancContCorr.Close();
    TfrmDadosGerRel::FormClose(action);
}

bco::NetConnection &TfrmRelLancCont::serverConnection() {
    if (entryForm_ != nullptr)
        return entryForm_->ServerConnection();
    if (!netLancContCorr.Connected()) {
        netLancContCorr.SetBeforeConnect(
            [](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
        netLancContCorr.Open();
    }
    return netLancContCorr;
}

bco::Variant TfrmRelLancCont::callServer(const QString &method, bco::VariantList &args) {
    return Consiste::CheckResultServ(serverConnection().Call(method, args), true, 0);
}

void TfrmRelLancCont::refuse(QWidget *control, const char *key) {
    if (control != nullptr)
        control->setFocus(Qt::OtherFocusReason);
    Consiste::MensErro(Msg(key), true);
    throw std::logic_error("MensErro returned from an abort");
}

// ---- checks ----

void TfrmRelLancCont::Vd_Empresa() {
    if (ui->rbtListBanc->isChecked() && stListEmpresa.isEmpty())
        refuse(ui->rbtListBanc, "EMPRESA_NI");
}

void TfrmRelLancCont::Vd_ContaCorr() {
    if (ui->rbtListContCorr->isChecked() && stListContCorr.isEmpty())
        refuse(ui->rbtListContCorr, "CONTCORR_NI");
}

void TfrmRelLancCont::Vd_Tipo() {
    if (ui->rbtListaTipo->isChecked() && stListTipo.isEmpty())
        refuse(ui->rbtListaTipo, "TIPO_NI");
}

void TfrmRelLancCont::Vd_CdFilial() {
    if (ui->rbtListaFili->isChecked() && stListFilial.isEmpty())
        refuse(nullptr, "FILIAL_NI");
}

void TfrmRelLancCont::Vd_Data(bco::TDateEditPlus *edit, bool required, const char *emptyKey) {
    if (!edit->CheckValidDate()) {
        edit->setFocus(Qt::OtherFocusReason);
        Consiste::MensErro(QLatin1Char('\'') + edit->Text() + QStringLiteral("' ") + Msg("DATA_INV"), true);
    }
    if (required && !edit->GetDate().isValid())
        refuse(edit, emptyKey);
}

void TfrmRelLancCont::Vd_DataIni(bool required) {
    Vd_Data(ui->depDataIni, required, "DATAINI_VAZIA");
}

void TfrmRelLancCont::Vd_DataFim(bool required) {
    Vd_Data(ui->depDataFin, required, "DATAFIM_VAZIA");
}

void TfrmRelLancCont::Vd_DtIni_Fin() {
    const QDate start = ui->depDataIni->GetDate();
    const QDate end = ui->depDataFin->GetDate();
    if (start.isValid() && end.isValid() && end < start)
        refuse(ui->depDataIni, "DTAINI>DTAFIN");
}

void TfrmRelLancCont::Valida() {
    const QWidget *focused = focusWidget();
    if (focused == ui->depDataIni) {
        Vd_DataIni(true);
        Vd_Empresa();
        Vd_ContaCorr();
        Vd_DataFim(true);
    } else if (focused == ui->depDataFin) {
        Vd_DataFim(true);
        Vd_Empresa();
        Vd_ContaCorr();
        Vd_DataIni(true);
    } else {
        Vd_Empresa();
        Vd_ContaCorr();
        Vd_DataIni(true);
        Vd_DataFim(true);
    }
    Vd_DtIni_Fin();
    Vd_Tipo();
    Vd_CdFilial();
}

// ---- the report actions ----

void TfrmRelLancCont::sbtPrintClick() {
    Valida();
    TfrmDadosGerRel::sbtPrintClick();
}

void TfrmRelLancCont::sbtPreviewClick() {
    Valida();
    TfrmDadosGerRel::sbtPreviewClick();
}

void TfrmRelLancCont::sbtPdfClick() {
    Valida();
    TfrmDadosGerRel::sbtPdfClick();
}

void TfrmRelLancCont::sbtSalvarComoClick() {
    Valida();
    TfrmDadosGerRel::sbtSalvarComoClick();
}

void TfrmRelLancCont::sbtReportEditClick() {
    // A design may be edited before any period is chosen.
    Vd_DataIni(false);
    Vd_DataFim(false);
    TfrmDadosGerRel::sbtReportEditClick();
}

EntriesReportChoices TfrmRelLancCont::Choices() const {
    EntriesReportChoices choices;
    choices.allCompanies = ui->rbtTodoEmp->isChecked();
    choices.companies = stListEmpresa;
    choices.operatorCompanies = stEmpresaOper;
    choices.allAccounts = ui->rbtTodoContCorr->isChecked();
    choices.accounts = stListContCorr;
    choices.allTypes = ui->rbtTodosTipo->isChecked();
    choices.types = stListTipo;
    choices.allBranches = ui->rbtTodosFili->isChecked();
    choices.branches = stListFilial;
    choices.start = ui->depDataIni->GetDate();
    choices.end = ui->depDataFin->GetDate();
    choices.kind = ui->rbtCredito->isChecked() ? u'C' : ui->rbtDebito->isChecked() ? u'D' : u'T';
    return choices;
}

void TfrmRelLancCont::rpddPadraoBeforeGetQueryParams(bco::ReportParams &params) {
    EntriesReportChoices choices = Choices();
    // "Todas" means the companies the operator may use now, read again for the report.
    Dbgeral::ListaEmpresaOper(Ondrima::Operador(), choices.operatorCompanies);
    FillEntriesReportParams(choices, params, QLocale());
}

// ---- pick lists ----

void TfrmRelLancCont::CompanyChoiceChanged() {
    // The branches listed are those of the companies chosen: another choice fetches them anew.
    cdsFilial.Close();
}

void TfrmRelLancCont::sbtListEmpresaClick() {
    stListContCorr.clear();
    stListFilial.clear();
    CompanyChoiceChanged();
    qryEmpresa.Close();
    qryEmpresa.ParamByName(QStringLiteral("CDEMPRESA")).SetAsString(stEmpresaOper);
    qryEmpresa.Open();
    bco::PesquisaLista(&dtsEmpresa, QStringLiteral("CDEMPRESA"), titleAndEmpty("EMPRESA", "EMP_N_CAD"), false,
                       stListEmpresa);
}

void TfrmRelLancCont::sbtListContCorrClick() {
    Vd_Empresa();
    qryContCorr.Close();
    const bool all = ui->rbtTodoEmp->isChecked();
    qryContCorr.ParamByName(QStringLiteral("P_TCDEMPRESA"))
        .SetAsString(all ? QStringLiteral("T") : QString());
    qryContCorr.ParamByName(QStringLiteral("P_CDEMPRESA")).SetAsString(all ? QString() : stListEmpresa);
    qryContCorr.Open();
    if (qryContCorr.IsEmpty())
        Consiste::MensErro(Msg("CONT_VAZIO"), true);
    bco::PesquisaLista(&dtsContCorr, QStringLiteral("CDREDUCONT"), titleAndEmpty("CONTCORR", nullptr), false,
                       stListContCorr);
}

void TfrmRelLancCont::sbtTipoClick() {
    if (ui->rbtCredito->isChecked() || ui->rbtDebito->isChecked()) {
        const bool credits = ui->rbtCredito->isChecked();
        bco::LocalQuery &query = credits ? qryLancCred : qryLancDeb;
        query.Close();
        query.Open();
        bco::PesquisaLista(credits ? &dtsLancCred : &dtsLancDeb, QStringLiteral("TIPCOD"),
                           credits ? titleAndEmpty("TIPOCRED", "TIPOCRED_N_CAD")
                                   : titleAndEmpty("TIPODEB", "TIPODEB_N_CAD"),
                           false, stListTipo);
        return;
    }
    bco::VariantList none;
    cdsLancto.SetData(callServer(QStringLiteral("getLancto"), none));
    bco::PesquisaLista(&dtsLancto, QStringLiteral("TIPCOD"), titleAndEmpty("TIPO", "TIPO_N_CAD"), false,
                       stListTipo);
}

void TfrmRelLancCont::sbtFilialClick() {
    Vd_Empresa();
    if (!cdsFilial.Active()) {
        bco::VariantList args{stListEmpresa, QStringLiteral("T"), ui->rbtTodoEmp->isChecked()};
        cdsFilial.SetData(callServer(QStringLiteral("GetFilialRel"), args));
        stListEmpresa = args[0].toText();
    }
    bco::PesquisaLista(&dtsFilial, QStringLiteral("CDFILIAL"), titleAndEmpty("FILIAL", "FIL_N_CAD"), false,
                       stListFilial);
}

void CriaRelLancCont(Cli_bco11100::EntryFormServices *entryForm) {
    bco::HourglassCursor hourglass;
    if (!boIdCriado || frmRelLancCont.isNull()) {
        frmRelLancCont = bco::CreateForm<TfrmRelLancCont>(entryForm);
        boIdCriado = true;
    }
    frmRelLancCont->ShowModal();
}

} // namespace Cli_bco11101
