#include "filter/filter_form.h"

#include <cmath>

#include <QLocale>

#include "entry_model/entry_list_loader.h"
#include "entry_model/type_pick_list.h"
#include "filter/radio_group.h"
#include "framework/checks/consiste.h"
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

// A whole number of days from a parameter; a missing row, or a value that is no number, counts no days.
qint64 wholeDays(const bco::ClientDataSet &parameters, const char *field) {
    if (parameters.IsEmpty())
        return 0;
    const double days = parameters.FieldByName(QString::fromLatin1(field)).AsFloat();
    return std::isfinite(days) ? static_cast<qint64>(std::trunc(days)) : 0;
}

} // namespace

TfrmFiltroLancCont::TfrmFiltroLancCont(Cli_bco11100::EntryFormServices &entryForm, QWidget *parent)
    : TfrmFiltroPadrao(DescendantLayout{}, parent)
    , dtsLancto(&cdsLancto)
    , dtsLancCred(&qryLancCred)
    , dtsLancDeb(&qryLancDeb)
    , entryForm_(entryForm)
    , list_(&entryForm.EntryList())
    , ui(std::make_unique<Ui::frmFiltroLancCont>()) {
    ui->setupUi(this);
    BindFrame();

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

TLancQuery &TfrmFiltroLancCont::query() {
    return entryForm_.ListQuery();
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
    Cli_bco11100::DeclareTypeListQueries(qryLancCred, qryLancDeb, [] { return dtmDBGeral::adcGeral(); });
}

void TfrmFiltroLancCont::bindHandlers() {
    bco::FocusTracker &focus = bco::FocusTracker::instance();
    for (bco::TDateEditPlus *edit : {ui->depDataIni, ui->depDataFin})
        focus.setExitHandler(edit, [this, edit] { Vd_Data(edit); });
    for (bco::TNumberEdit *edit : {ui->nedValorIni, ui->nedValorFin})
        edit->OnKeyPress = [this, edit](QChar &key) {
            ValorKeyPress(edit, key);
        };

    bco::connectGuarded(ui->rbtTodosTipo, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            TypeChoiceChanged(false);
    });
    bco::connectGuarded(ui->rbtListaTipo, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            TypeChoiceChanged(true);
    });

    focus.setEnterHandler(ui->rgpLancamento, [this] { kindOnEntry_ = ui->rgpLancamento->ItemIndex(); });
    bco::connectGuarded(ui->rgpLancamento, &TRadioGroup::Click, this, [this] { rgpLancamentoClick(); });
    ui->sbtListTipo->OnClick = [this] {
        sbtListTipoClick();
    };
}

void TfrmFiltroLancCont::FormCreate() {
    TfrmFiltroPadrao::FormCreate();
    typeList_ = QStringLiteral("T");
    query().typeList = typeList_;
    ui->rgpLancamento->SetItemIndex(0);

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
    ui->depDataIni->SetDate(Filtro.startDate);
    ui->depDataFin->SetDate(Filtro.endDate);
    ui->nedValorIni->SetValue(Filtro.valueFrom);
    ui->nedValorFin->SetValue(Filtro.valueTo);
    (Filtro.types.listChosen ? ui->rbtListaTipo : ui->rbtTodosTipo)->setChecked(true);
    ui->sbtListTipo->setEnabled(Filtro.types.listChosen);
    typeList_ = Filtro.types.typeList;
    ui->rgpLancamento->SetItemIndex(Filtro.entryKind);
    kindOnEntry_ = Filtro.entryKind;
}

void TfrmFiltroLancCont::SaveFilter() {
    Filtro.startDate = ui->depDataIni->GetDate();
    Filtro.endDate = ui->depDataFin->GetDate();
    Filtro.types = TTIPO{ui->rbtListaTipo->isChecked(), typeList_};
    Filtro.valueFrom = ui->nedValorIni->Value();
    Filtro.valueTo = ui->nedValorFin->Value();
    Filtro.entryKind = ui->rgpLancamento->ItemIndex();
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
    const QDate start = ui->depDataIni->GetDate();
    const QDate end = ui->depDataFin->GetDate();
    if (start.isValid() && !end.isValid())
        refuse(ui->depDataFin, "DataFin_dev_inf");
    if (!start.isValid() && end.isValid())
        refuse(ui->depDataIni, "DataIni_dev_inf");
    if (start.isValid() && end < start)
        refuse(ui->depDataFin, "DataFin_maior");
}

void TfrmFiltroLancCont::Vd_Valores() {
    // The confirm button takes no focus: a value still being typed would be read as the one it replaces.
    for (bco::TNumberEdit *edit : {ui->nedValorIni, ui->nedValorFin})
        edit->RefuseUnfinished();
    const double from = ui->nedValorIni->Value();
    const double to = ui->nedValorFin->Value();
    if (from != 0.0 && to == 0.0)
        refuse(ui->nedValorFin, "VrFin_dev_inf");
    if (to < from)
        refuse(ui->nedValorFin, "VrFin_maior");
}

void TfrmFiltroLancCont::Vd_Tipo() {
    if (ui->rbtListaTipo->isChecked() && typeList_.isEmpty())
        refuse(ui->rbtListaTipo, "Tipo_deve");
}

void TfrmFiltroLancCont::sbtConfirmaClick() {
    Vd_Data(ui->depDataIni);
    Vd_Data(ui->depDataFin);
    Vd_Periodo();
    Vd_Valores();
    Vd_Tipo();

    const double from = ui->nedValorIni->Value();
    const double to = ui->nedValorFin->Value();
    // Kept as the entry form's query, and as the criteria the caption names, only once the list they give is
    // loaded: a list that could not be loaded leaves the rows shown, which are the old criteria's, and a
    // deletion sends the criteria of the rows it sees.
    TLancQuery sent = query();
    sent.typeList = typeList_;
    sent.allValues = from == 0.0 && to == 0.0 ? QStringLiteral("T") : QString();
    // The server compares exact cents: the margin keeps the limits themselves inside the range.
    sent.valueFrom = from - 0.001;
    sent.valueTo = to + 0.001;
    const int kind = ui->rgpLancamento->ItemIndex();
    sent.entryKind = kind == 0 ? QStringLiteral("T") : kind == 1 ? QStringLiteral("C") : QStringLiteral("D");
    if (ui->rbtListaTipo->isChecked()) {
        sent.allTypes.clear();
    } else {
        sent.typeList.clear();
        sent.allTypes = QStringLiteral("T");
    }

    bco::VariantList args{stCdReduCont,
                          ui->depDataIni->GetDate(),
                          ui->depDataFin->GetDate(),
                          sent.valueFrom,
                          sent.valueTo,
                          sent.allValues,
                          sent.entryKind,
                          sent.typeList,
                          sent.allTypes};
    entryForm_.ListLoader().load(*list_, args);
    sent.valueFrom = args[3].toFloat();
    sent.valueTo = args[4].toFloat();
    sent.allValues = args[5].toText();
    sent.entryKind = args[6].toText();
    sent.typeList = args[7].toText();
    sent.allTypes = args[8].toText();
    query() = sent;
    SaveFilter();

    SetModalResult(bco::mrOk);
    Close();
}

void TfrmFiltroLancCont::ValorKeyPress(bco::TNumberEdit *edit, QChar &key) {
    if (key == u'-' || !Consiste::MaxNumber(edit->Text(), 10, 2, key, edit->SelStart(), edit->SelLength()))
        key = QChar();
}

void TfrmFiltroLancCont::TypeChoiceChanged(bool listChosen) {
    // "Todos" stands for every type; "Lista" starts with none picked.
    typeList_ = listChosen ? QString() : QStringLiteral("T");
    ui->sbtListTipo->setEnabled(ui->rbtListaTipo->isChecked());
}

void TfrmFiltroLancCont::rgpLancamentoClick() {
    // A type list holds the types of one kind.
    if (ui->rgpLancamento->ItemIndex() != kindOnEntry_)
        ui->rbtTodosTipo->setChecked(true);
}

void TfrmFiltroLancCont::sbtListTipoClick() {
    struct TypeSource {
        bco::DataSource *source;
        const char *title;
        const char *emptyText;
    };
    const int kind = ui->rgpLancamento->ItemIndex();
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
                       false, typeList_);
}

void TfrmFiltroLancCont::btfSaveOpcClick() {
    TfrmFiltroPadrao::btfSaveOpcClick();
    Opcoes.SetValues(QStringLiteral("stTipo"), typeList_);
}

void TfrmFiltroLancCont::btfLoadOpcClick() {
    TfrmFiltroPadrao::btfLoadOpcClick();
    typeList_ = Opcoes.Values(QStringLiteral("stTipo"));
    ui->sbtListTipo->setEnabled(ui->rbtListaTipo->isChecked());
    kindOnEntry_ = ui->rgpLancamento->ItemIndex();
}

bool FilterNarrows(const TFILTRO &filter) {
    return filter.entryKind != 0 || filter.types.listChosen || filter.valueFrom != 0.0 ||
           filter.valueTo != 0.0;
}

QString DescribeFilter(const TFILTRO &filter) {
    const QString dateFormat = QStringLiteral("dd/MM/yyyy");
    QStringList parts;
    parts << (filter.startDate.isValid()
                  ? QStringLiteral("Período: %1 a %2")
                        .arg(filter.startDate.toString(dateFormat), filter.endDate.toString(dateFormat))
                  : QStringLiteral("Período: todos"));
    if (filter.entryKind == 1)
        parts << QStringLiteral("só créditos");
    else if (filter.entryKind == 2)
        parts << QStringLiteral("só débitos");
    if (filter.types.listChosen) {
        // The list as the queries take it ('C0001','D0002'): the codes alone for the operator.
        QString codes = filter.types.typeList;
        codes.remove(u'\'');
        parts << QStringLiteral("tipos %1")
                     .arg(codes.split(u',', Qt::SkipEmptyParts).join(QStringLiteral(", ")));
    }
    if (filter.valueFrom != 0.0 || filter.valueTo != 0.0) {
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        parts << QStringLiteral("valor de %1 a %2")
                     .arg(brazil.toString(filter.valueFrom, 'f', 2), brazil.toString(filter.valueTo, 'f', 2));
    }
    return parts.join(QStringLiteral(" · "));
}

void CriaFiltroLancCont(Cli_bco11100::EntryFormServices &entryForm, QPointer<TfrmFiltroLancCont> &form,
                        bco::DataSource *dataSource, const QString &operation, const QString &accountCode) {
    stCdReduCont = accountCode.left(3);
    if (form.isNull())
        form = bco::CreateForm<TfrmFiltroLancCont>(entryForm);
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
