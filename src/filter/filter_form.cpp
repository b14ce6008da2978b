#include "filter/filter_form.h"

#include <cmath>
#include <stdexcept>

#include "entries/entry_services.h"
#include "filter/radio_group.h"
#include "framework/checks/consiste.h"
#include "module/type_pick_list.h"
#include "framework/remote/net_connection.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/lookup_dialogs.h"

#include "ui_filter_form.h"

namespace Cli_bco11102 {

QPointer<TfrmFiltroLancCont> frmFiltroLancCont;
QString stCdReduCont;

namespace {

using bco::FieldKind;

// The dialog works for the open entry form: it calls the server through the entry form's connection and
// loads the entry form's list. A host that asks for the filter without it has made a mistake.
Cli_bco11100::EntryFormServices &openEntryForm() {
    Cli_bco11100::EntryFormServices *entryForm = Cli_bco11100::OpenEntryForm();
    if (entryForm == nullptr)
        throw std::logic_error("O filtro de lançamentos só funciona com a tela de lançamentos aberta.");
    return *entryForm;
}

// A whole number of days from a parameter; a missing row, or a value that is no number, counts no days.
qint64 wholeDays(const bco::ClientDataSet &parameters, const char *field) {
    if (parameters.IsEmpty())
        return 0;
    const double days = parameters.FieldByName(QString::fromLatin1(field)).AsFloat();
    return std::isfinite(days) ? static_cast<qint64>(std::trunc(days)) : 0;
}

// The pick-list query of one kind of type. Its generic text, the one SQLite and PostgreSQL run, is the
// Oracle and InterBase text, whose || joins texts on both; SQL Server joins them with +.
struct TypeListQuery {
    bco::LocalQuery *query;
    const char *name;
    QString letter, codeColumn, descriptionColumn, table;
    // Two lines as each kind's texts write them, blanks included.
    QString markLine, joinedCode;
};

QStringList typeListText(const TypeListQuery &t, const QString &keyLine) {
    return {QStringLiteral("SELECT"),
            t.markLine,
            keyLine,
            t.codeColumn + QLatin1Char(','),
            t.descriptionColumn,
            QStringLiteral("FROM"),
            t.table,
            QStringLiteral("ORDER BY"),
            t.codeColumn};
}

} // namespace

TfrmFiltroLancCont::TfrmFiltroLancCont(Cli_bco11100::EntryFormServices &entryForm, QWidget *parent)
    : TfrmFiltroPadrao(DescendantLayout{}, parent)
    , dtsLancto(&cdsLancto)
    , dtsLancCred(&qryLancCred)
    , dtsLancDeb(&qryLancDeb)
    , entryForm_(entryForm)
    , list_(&entryForm.EntryList())
    , ui(std::make_unique<Ui::frmFiltroLancCont>())
    , loader_([this](const QString &method, bco::VariantList &args) { return callServer(method, args); }) {
    ui->setupUi(this);
    BindFrame();
    depDataIni = ui->depDataIni;
    depDataFin = ui->depDataFin;
    nedValorIni = ui->nedValorIni;
    nedValorFin = ui->nedValorFin;
    rgpLancamento = ui->rgpLancamento;
    rbtTodosTipo = ui->rbtTodosTipo;
    rbtListaTipo = ui->rbtListaTipo;
    sbtListTipo = ui->sbtListTipo;

    for (const char *row :
         {"TIPODEB|Tipo de Débito Bancário", "TIPOCRE|Tipo de Crédito Bancário", "TIPO|Tipo",
          "TIPODEB_N_CAD|Não há tipo de débito cadastrado.",
          "TIPOCRED_N_CAD|Não há tipo de crédito cadastrado.", "TIPO_N_CAD|Não há tipo cadastrado.",
          "CREDITO|Crédito", "DEBITO|Débito", "Tipo_deve|Tipo deve ser informado.",
          "VrFin_maior|Valor final deve ser maior ou igual ao valor inicial.",
          "VrFin_dev_inf|Valor final deve ser informado.",
          "DataFin_maior|Data final deve ser maior ou igual à data inicial.",
          "DataIni_dev_inf|Data inicial deve ser informada.",
          "DataFin_dev_inf|Data final deve ser informada.", "DATA_INV|não é uma data válida."})
        msgPadrao.add(QString::fromUtf8(row));

    declareDataSets();
    bindHandlers();
}

TfrmFiltroLancCont::~TfrmFiltroLancCont() = default;

bco::Variant TfrmFiltroLancCont::callServer(const QString &method, bco::VariantList &args) {
    return Consiste::CheckResultServ(entryForm_.ServerConnection().Call(method, args), true, 0);
}

void TfrmFiltroLancCont::SetList(bco::DataSource *dataSource) {
    bco::ClientDataSet *given = dataSource != nullptr ? dataSource->DataSet() : nullptr;
    list_ = given != nullptr ? given : &entryForm_.EntryList();
}

void TfrmFiltroLancCont::declareDataSets() {
    cdsGeral_bco.setObjectName(QStringLiteral("cdsGeral_bco"));
    cdsGeral_bco.AddFields({{.name = "QTDIAANTLANC", .kind = FieldKind::Float},
                            {.name = "QTDIAAPOLANC", .kind = FieldKind::Float}});

    Cli_bco11100::DeclareTypePickList(cdsLancto, msgPadrao);

    const TypeListQuery queries[] = {
        {&qryLancCred, "qryLancCred", QStringLiteral("C"), QStringLiteral("CDTPCREDBANC"),
         QStringLiteral("DSTPCREDBANC"), QStringLiteral("TPCREDBANC"), QStringLiteral("' ' IDMARCADO,"),
         QStringLiteral("'C' || CDTPCREDBANC AS TIPCOD,")},
        {&qryLancDeb, "qryLancDeb", QStringLiteral("D"), QStringLiteral("CDTPDEBIBANC"),
         QStringLiteral("DSTPDEBIBANC"), QStringLiteral("TPDEBIBANC"), QStringLiteral("' '  IDMARCADO,"),
         QStringLiteral("'D'||CDTPDEBIBANC AS TIPCOD,")},
    };
    for (const TypeListQuery &t : queries) {
        t.query->setObjectName(QString::fromLatin1(t.name));
        t.query->SetConnection([] { return dtmDBGeral::adcGeral(); });
        t.query->SQL = typeListText(t, t.joinedCode);
        t.query->SQL_ORACLE = t.query->SQL;
        t.query->SQL_IB = t.query->SQL;
        t.query->SQL_MSSQL =
            typeListText(t, QStringLiteral("'%1' + %2 AS TIPCOD,").arg(t.letter, t.codeColumn));
        t.query->AddFields({
            {.name = "TIPCOD", .size = 5, .hidden = true},
            {.name = t.codeColumn, .size = 4, .required = true, .label = "Código"},
            {.name = t.descriptionColumn, .size = 30, .required = true, .label = "Descrição"},
        });
    }
}

void TfrmFiltroLancCont::bindHandlers() {
    bco::FocusTracker &focus = bco::FocusTracker::instance();
    for (bco::TDateEditPlus *edit : {depDataIni, depDataFin})
        focus.setExitHandler(edit, [this, edit] { Vd_Data(edit); });
    for (bco::TNumberEdit *edit : {nedValorIni, nedValorFin})
        edit->OnKeyPress = [this, edit](QChar &key) {
            ValorKeyPress(edit, key);
        };

    bco::connectGuarded(rbtTodosTipo, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            TypeChoiceChanged(false);
    });
    bco::connectGuarded(rbtListaTipo, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            TypeChoiceChanged(true);
    });

    focus.setEnterHandler(rgpLancamento, [this] { kindOnEntry_ = rgpLancamento->ItemIndex(); });
    bco::connectGuarded(rgpLancamento, &TRadioGroup::Click, this, [this] { rgpLancamentoClick(); });
    sbtListTipo->OnClick = [this] {
        sbtListTipoClick();
    };
}

void TfrmFiltroLancCont::FormCreate() {
    TfrmFiltroPadrao::FormCreate();
    query_.typeList = QStringLiteral("T");
    rgpLancamento->SetItemIndex(0);

    bco::VariantList none;
    cdsGeral_bco.SetData(callServer(QStringLiteral("getGeral_bco"), none));
    const QDate processing = Ondrima::DataProc(Ondrima::FiliProc());
    Filtro.startDate = processing.addDays(-wholeDays(cdsGeral_bco, "QTDIAANTLANC"));
    Filtro.endDate = processing.addDays(wholeDays(cdsGeral_bco, "QTDIAAPOLANC"));
}

void TfrmFiltroLancCont::FormActivate() {
    repaint();
    RestoreFilter();
}

void TfrmFiltroLancCont::FormClose(bco::TCloseAction &action) {
    action = bco::TCloseAction::caHide;
}

void TfrmFiltroLancCont::RestoreFilter() {
    depDataIni->SetDate(Filtro.startDate);
    depDataFin->SetDate(Filtro.endDate);
    nedValorIni->SetValue(Filtro.valueFrom);
    nedValorFin->SetValue(Filtro.valueTo);
    (Filtro.types.listChosen ? rbtListaTipo : rbtTodosTipo)->setChecked(true);
    sbtListTipo->setEnabled(Filtro.types.listChosen);
    query_.typeList = Filtro.types.typeList;
    rgpLancamento->SetItemIndex(Filtro.entryKind);
    kindOnEntry_ = Filtro.entryKind;
}

void TfrmFiltroLancCont::SaveFilter() {
    Filtro.startDate = depDataIni->GetDate();
    Filtro.endDate = depDataFin->GetDate();
    Filtro.types = TTIPO{rbtListaTipo->isChecked(), query_.typeList};
    Filtro.valueFrom = nedValorIni->Value();
    Filtro.valueTo = nedValorFin->Value();
    Filtro.entryKind = rgpLancamento->ItemIndex();
}

void TfrmFiltroLancCont::refuse(QWidget *control, const char *key) {
    control->setFocus(Qt::OtherFocusReason);
    Consiste::MensErro(msgPadrao.Msg(QString::fromLatin1(key)), true);
}

void TfrmFiltroLancCont::Vd_Data(bco::TDateEditPlus *edit) {
    if (edit->CheckValidDate())
        return;
    edit->setFocus(Qt::OtherFocusReason);
    Consiste::MensErro(QLatin1Char('\'') + edit->Text() + QStringLiteral("' ") +
                           msgPadrao.Msg(QStringLiteral("DATA_INV")),
                       true);
}

void TfrmFiltroLancCont::Vd_Periodo() {
    const QDate start = depDataIni->GetDate();
    const QDate end = depDataFin->GetDate();
    if (start.isValid() && !end.isValid())
        refuse(depDataFin, "DataFin_dev_inf");
    if (!start.isValid() && end.isValid())
        refuse(depDataIni, "DataIni_dev_inf");
    if (start.isValid() && end < start)
        refuse(depDataFin, "DataFin_maior");
}

void TfrmFiltroLancCont::Vd_Valores() {
    const double from = nedValorIni->Value();
    const double to = nedValorFin->Value();
    if (from != 0.0 && to == 0.0)
        refuse(nedValorFin, "VrFin_dev_inf");
    if (to < from)
        refuse(nedValorFin, "VrFin_maior");
}

void TfrmFiltroLancCont::Vd_Tipo() {
    if (rbtListaTipo->isChecked() && query_.typeList.isEmpty())
        refuse(rbtListaTipo, "Tipo_deve");
}

void TfrmFiltroLancCont::sbtConfirmaClick() {
    Vd_Data(depDataIni);
    Vd_Data(depDataFin);
    Vd_Periodo();
    Vd_Valores();
    Vd_Tipo();
    SaveFilter();

    const double from = nedValorIni->Value();
    const double to = nedValorFin->Value();
    query_.allValues = from == 0.0 && to == 0.0 ? QStringLiteral("T") : QString();
    // The server compares exact cents: the margin keeps the limits themselves inside the range.
    query_.valueFrom = from - 0.001;
    query_.valueTo = to + 0.001;
    const int kind = rgpLancamento->ItemIndex();
    query_.entryKind = kind == 0   ? QStringLiteral("T")
                       : kind == 1 ? QStringLiteral("C")
                                   : QStringLiteral("D");
    if (rbtListaTipo->isChecked()) {
        query_.allTypes.clear();
    } else {
        query_.typeList.clear();
        query_.allTypes = QStringLiteral("T");
    }

    bco::VariantList args{stCdReduCont,     depDataIni->GetDate(), depDataFin->GetDate(),
                          query_.valueFrom, query_.valueTo,        query_.allValues,
                          query_.entryKind, query_.typeList,       query_.allTypes};
    loader_.load(*list_, args);
    query_.valueFrom = args[3].toFloat();
    query_.valueTo = args[4].toFloat();
    query_.allValues = args[5].toText();
    query_.entryKind = args[6].toText();
    query_.typeList = args[7].toText();
    query_.allTypes = args[8].toText();

    SetModalResult(bco::mrOk);
    Close();
}

void TfrmFiltroLancCont::ValorKeyPress(bco::TNumberEdit *edit, QChar &key) {
    if (key == u'-' || !Consiste::MaxNumber(edit->Text(), 10, 2, key, edit->SelStart(), edit->SelLength()))
        key = QChar();
}

void TfrmFiltroLancCont::TypeChoiceChanged(bool listChosen) {
    // "Todos" stands for every type; "Lista" starts with none picked.
    query_.typeList = listChosen ? QString() : QStringLiteral("T");
    sbtListTipo->setEnabled(rbtListaTipo->isChecked());
}

void TfrmFiltroLancCont::rgpLancamentoClick() {
    // A type list holds the types of one kind.
    if (rgpLancamento->ItemIndex() != kindOnEntry_)
        rbtTodosTipo->setChecked(true);
}

void TfrmFiltroLancCont::sbtListTipoClick() {
    struct TypeSource {
        bco::DataSource *source;
        const char *title;
        const char *emptyText;
    };
    const int kind = rgpLancamento->ItemIndex();
    TypeSource list{&dtsLancDeb, "TIPODEB", "TIPODEB_N_CAD"};
    if (kind == 0) {
        bco::VariantList none;
        cdsLancto.SetData(callServer(QStringLiteral("getLancto"), none));
        list = {&dtsLancto, "TIPO", "TIPO_N_CAD"};
    } else {
        bco::LocalQuery &query = kind == 1 ? qryLancCred : qryLancDeb;
        query.Close();
        query.Open();
        if (kind == 1)
            list = {&dtsLancCred, "TIPOCRE", "TIPOCRED_N_CAD"};
    }
    bco::PesquisaLista(list.source, QStringLiteral("TIPCOD"),
                       msgPadrao.Msg(QString::fromLatin1(list.title)) + QLatin1Char('|') +
                           msgPadrao.Msg(QString::fromLatin1(list.emptyText)),
                       false, query_.typeList);
}

void TfrmFiltroLancCont::btfSaveOpcClick() {
    TfrmFiltroPadrao::btfSaveOpcClick();
    Opcoes.SetValues(QStringLiteral("stTipo"), query_.typeList);
}

void TfrmFiltroLancCont::btfLoadOpcClick() {
    TfrmFiltroPadrao::btfLoadOpcClick();
    query_.typeList = Opcoes.Values(QStringLiteral("stTipo"));
    sbtListTipo->setEnabled(rbtListaTipo->isChecked());
    kindOnEntry_ = rgpLancamento->ItemIndex();
}

void CriaFiltroLancCont(QPointer<TfrmFiltroLancCont> &form, bco::DataSource *dataSource,
                        const QString &operation, const QString &accountCode) {
    stCdReduCont = accountCode.left(3);
    if (form.isNull())
        form = bco::CreateForm<TfrmFiltroLancCont>(openEntryForm());
    form->SetList(dataSource);
    if (operation == u"BOTAO_FILTRO") {
        form->ShowModal();
    } else if (operation == u"ESCONDE_FILTRO") {
        // The dialog's activation puts the saved criteria back into its controls; its confirm runs them.
        form->RunFormActivate();
        form->sbtConfirmaClick();
    }
}

} // namespace Cli_bco11102
