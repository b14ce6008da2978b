// The checks of the entry fields: each runs when the operator leaves its field, and the confirm runs them
// again with their mandatory flags on.
#include "entries/entry_form.h"

#include <QSignalBlocker>

#include "entries/tax_number_caret.h"
#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/session/operator_lookups.h"
#include "framework/ui/control_color.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/lookup_dialogs.h"
#include "framework/ui/wait_animation.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

namespace {

// The wait animation of the accounting-period question.
constexpr int PeriodAnimation = 1;

// The earliest day a date edit holds (30/12/1899, day zero of the dates the forms store).
const QDate dayZero(1899, 12, 30);

} // namespace

TfrmLancCCorr::PartyControls TfrmLancCCorr::PartyOf(Party party) {
    if (party == Party::Customer)
        return {ui->medInsClie,      ui->edtNmClie,  ui->btpInsClie,  ui->lblClie,
                &records.cdsCliente, "getCliente",   "Cliente_n_cad", "CLI_N_INF",
                "NRINSJURCLIE",      "NMRAZSOCCLIE", Party::Supplier};
    return {ui->medInsForn,         ui->edtNmForn,   ui->btpInsForn,     ui->lblForn,
            &records.cdsFornecedor, "getFornecedor", "Fornecedor_n_cad", "FORN_N_INF",
            "NRINSJURFORN",         "NMRAZSOCFORN",  Party::Customer};
}

void TfrmLancCCorr::bindFieldChecks() {
    bco::FocusTracker &focus = bco::FocusTracker::instance();
    focus.setExitHandler(ui->depDataMov, [this] { depDataMovExit(); });
    focus.setExitHandler(ui->medTpLanc, [this] { medTpLancExit(); });
    focus.setExitHandler(ui->medFilial, [this] { Vd_Filial(false); });
    focus.setExitHandler(ui->medCentCust, [this] { Vd_CentCust(false); });
    // A value typed halfway ("12.50", the thousands point taken for the decimal comma) is told as the field
    // is left, not first at "Confirmar".
    focus.setExitHandler(ui->nedLancamento, [this] { ui->nedLancamento->RefuseUnfinished(); });
    focus.setExitHandler(ui->medNrDocBanc, [this] {
        ui->medNrDocBanc->SetText(Consiste::Ajusta(ui->medNrDocBanc->Text(), 10));
    });
    for (const Party party : {Party::Customer, Party::Supplier}) {
        const PartyControls controls = PartyOf(party);
        focus.setExitHandler(controls.taxNumber, [this, party] {
            if (Editing())
                Vd_ClieForn(party);
        });
        // The name shown belongs to the number it was found for.
        bco::connectGuarded(controls.taxNumber, &bco::EditControl::Changed, this,
                            [name = controls.name] { name->clear(); });
        controls.taxNumber->OnKeyPress = [this, party](QChar &key) {
            TaxNumberKeyPress(party, key);
        };
        controls.taxNumber->OnKeyDown = [this, party](int &key, Qt::KeyboardModifiers) {
            TaxNumberKeyDown(party, key);
        };
    }
    ui->nedLancamento->OnKeyPress = [this](QChar &key) {
        nedLancamentoKeyPress(key);
    };

    ui->btpTipoLanc->OnClick = [this] {
        btpTipoLancClick();
    };
    ui->btnFilial->SetDataSource(&dtsFilial);
    ui->btnFilial->BeforePesq = [this] {
        records.cdsFilial.SetData(Consiste::CheckResultServ(
            netLancContCorr.Call(QStringLiteral("getFilial"), bco::VariantList{AccountCompany(), QString()}),
            true, 0));
    };
    ui->btnFilial->AfterPesq = [this] {
        ui->medFilial->SetText(records.cdsFilial.FieldByName(u"CDFILIAL").AsString());
        ui->edtNmFilial->setText(records.cdsFilial.FieldByName(u"NMFILIAL").AsString());
    };
    ui->btpPesqCentCust->SetDataSource(&dtsCentCustFil);
    ui->btpPesqCentCust->BeforePesq = [this] {
        CentCustFil(QString(), true);
    };
    ui->btpPesqCentCust->AfterPesq = [this] {
        ui->medCentCust->SetText(records.qryCentCustFil.FieldByName(u"CDCENTCUST").AsString());
        ui->edtCentCust->setText(records.qryCentCustFil.FieldByName(u"NMCENTCUST").AsString());
    };
    for (const Party party : {Party::Customer, Party::Supplier}) {
        const PartyControls controls = PartyOf(party);
        auto *button = static_cast<bco::TBtnPesquisa *>(controls.lookupButton);
        button->SetDataSource(party == Party::Customer ? &dtsCliente : &dtsFornecedor);
        button->BeforePesq = [this, controls] {
            controls.lookup->SetData(Consiste::CheckResultServ(
                netLancContCorr.Call(QString::fromLatin1(controls.method), bco::VariantList{QString(), "T"}),
                true, 0));
        };
        button->AfterPesq = [controls] {
            controls.taxNumber->SetText(
                controls.lookup->FieldByName(QString::fromLatin1(controls.taxNumberField)).AsString());
            controls.name->setText(
                controls.lookup->FieldByName(QString::fromLatin1(controls.legalNameField)).AsString());
        };
    }
}

QString TfrmLancCCorr::AccountCompany() const {
    return records.qryConta.Active() ? records.qryConta.FieldByName(u"CDEMPRESA").AsString() : QString();
}

// ---- the fields' own exits ----

void TfrmLancCCorr::depDataMovExit() {
    if (!Editing())
        return;
    ui->depDataMov->CheckValidDate();
    Verifica_Acesso_Sistema(ui->depDataMov->GetDate());
    Data();
}

void TfrmLancCCorr::medTpLancExit() {
    if (Editing())
        Vd_TipoLanc(false);
    DescriptionFromType();
}

// An entry whose description was left empty is described by its type's name.
void TfrmLancCCorr::DescriptionFromType() {
    if (!ui->edtDsTipoLanc->text().isEmpty() && ui->edtDsLancamento->text().isEmpty())
        ui->edtDsLancamento->setText(ui->edtDsTipoLanc->text().left(40));
}

void TfrmLancCCorr::nedLancamentoKeyPress(QChar &key) {
    // The direction of an entry is its kind: its value is never negative.
    if (key == u'-' || !Consiste::MaxNumber(ui->nedLancamento->Text(), 9, 2, key,
                                            ui->nedLancamento->SelStart(), ui->nedLancamento->SelLength()))
        key = QChar();
}

// ---- look-ups ----

// The type look-up lists the types of the kind chosen in cbbTipo.
void TfrmLancCCorr::PointTypeLookUp() {
    const bool debit = ui->cbbTipo->currentIndex() == DebitKind().kindIndex;
    ui->btpTipoLanc->SetDataSource(debit ? &dtsLancDeb : &dtsLancCred);
    ui->btpTipoLanc->SetTitle(Msg(debit ? "TIPODEB" : "TIPOCRE"));
}

void TfrmLancCCorr::btpTipoLancClick() {
    ui->edtDsLancamento->clear();
    const bool debit = ui->cbbTipo->currentIndex() == DebitKind().kindIndex;
    bco::LocalQuery &types = debit ? records.qryLancDeb : records.qryLancCred;
    types.Close();
    types.ParamByName(QStringLiteral("P_TIPO")).Clear();
    types.Open();
    const QString title =
        Msg(debit ? "TIPODEB" : "TIPOCRE") + u'|' + Msg(debit ? "TIPODEB_N_CAD" : "TIPOCRE_N_CAD");
    if (!bco::Pesquisar(debit ? &dtsLancDeb : &dtsLancCred, title, false, true))
        return;
    const EntryKind &kind = debit ? DebitKind() : CreditKind();
    ui->medTpLanc->SetText(types.FieldByName(QString::fromLatin1(kind.type)).AsString());
    ui->edtDsTipoLanc->setText(types.FieldByName(debit ? u"DSTPDEBIBANC" : u"DSTPCREDBANC").AsString());
    DescriptionFromType();
}

// Reopens the cost centres of the branch typed: the one given, or all of them.
void TfrmLancCCorr::CentCustFil(const QString &costCentre, bool all) {
    bco::LocalQuery &costCentres = records.qryCentCustFil;
    costCentres.ParamByName(QStringLiteral("P_CDCENTCUST")).SetAsString(costCentre);
    if (all)
        costCentres.ParamByName(QStringLiteral("P_TCDCENTCUST")).SetAsString(QStringLiteral("T"));
    else
        costCentres.ParamByName(QStringLiteral("P_TCDCENTCUST")).Clear();
    costCentres.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(ui->medFilial->Text());
    costCentres.Open();
}

// ---- checks ----

void TfrmLancCCorr::Vd_TipoLanc(bool mandatory) {
    try {
        ui->medTpLanc->SetText(Consiste::Ajusta(ui->medTpLanc->Text(), 4));
        const QString code = ui->medTpLanc->Text();
        typeAccount_.clear();
        typeCommercialKind_.clear();
        typeAccountingFlag_.clear();
        if (Consiste::EmptyString(code)) {
            if (mandatory)
                Refuse("Tipo_inf");
            return;
        }
        const bool debit = ui->cbbTipo->currentIndex() == DebitKind().kindIndex;
        bco::LocalQuery &types = debit ? records.qryLancDeb : records.qryLancCred;
        types.ParamByName(QStringLiteral("P_TIPO")).SetAsString(code);
        types.Open();
        if (types.IsEmpty())
            Refuse(debit ? "TipoDeb_cad" : "TipoCred_cad");
        const auto value = [&types](const char16_t *field) {
            return types.FieldByName(field).AsString();
        };
        ui->edtDsTipoLanc->setText(value(debit ? u"DSTPDEBIBANC" : u"DSTPCREDBANC"));
        typeAccount_ = value(u"CDCONTCTBL").left(WorkingWidth::TypeAccount);
        typeCommercialKind_ = value(u"IDTIPOCOME").left(WorkingWidth::TypeCommercialKind);
        typeAccountingFlag_ =
            value(debit ? u"IDCTBLDBBANC" : u"IDCTBLCRBANC").left(WorkingWidth::TypeAccountingFlag);
        typeClass_ = value(u"CDCLASSFINA").left(WorkingWidth::TypeClass);
        typeHistory_ = value(u"CDHISTPADR").left(WorkingWidth::TypeHistory);
    } catch (...) {
        ui->medTpLanc->setFocus();
        throw;
    }
}

// A change keeps the stored branch and cost centre, whose fields it does not open: an entry stored without
// them (its record took the processing branch) is not refused for lacking them.
void TfrmLancCCorr::Vd_Filial(bool mandatory) {
    if (mode_ != Mode::Including)
        return;
    try {
        if (Consiste::EmptyString(ui->medFilial->Text())) {
            if (mandatory)
                Refuse("Filial_n_inf");
            return;
        }
        // Pressed confirm after leaving the field, whose exit has checked it.
        if (mandatory && bco::FocusTracker::instance().activeControl(this) != ui->medFilial)
            return;
        ui->medFilial->SetText(Consiste::Ajusta(ui->medFilial->Text(), 4));
        records.cdsFilial.SetData(Consiste::CheckResultServ(
            netLancContCorr.Call(QStringLiteral("getFilial"),
                                 bco::VariantList{AccountCompany(), ui->medFilial->Text()}),
            true, 0));
        if (records.cdsFilial.IsEmpty())
            Refuse("Filial_n_cad");
        ui->edtNmFilial->setText(records.cdsFilial.FieldByName(u"NMFILIAL").AsString());
    } catch (...) {
        ui->medFilial->setFocus();
        throw;
    }
}

void TfrmLancCCorr::Vd_CentCust(bool mandatory) {
    if (mode_ != Mode::Including)
        return;
    try {
        ui->medCentCust->SetText(Consiste::Ajusta(ui->medCentCust->Text(), 4));
        const QString code = ui->medCentCust->Text();
        if (Consiste::EmptyString(code)) {
            if (mandatory)
                Refuse("centCust_Inf");
            return;
        }
        if (mandatory && bco::FocusTracker::instance().activeControl(this) != ui->medCentCust)
            return;
        CentCustFil(code, false);
        const bco::LocalQuery &found = records.qryCentCustFil;
        // A code the branch does not have leaves the field before the operator is told.
        ui->medCentCust->SetText(found.IsEmpty() ? QString() : found.FieldByName(u"CDCENTCUST").AsString());
        if (found.IsEmpty())
            Refuse("CentCustFil_Ncad");
        ui->edtCentCust->setText(found.FieldByName(u"NMCENTCUST").AsString());
    } catch (...) {
        ui->medCentCust->setFocus();
        throw;
    }
}

void TfrmLancCCorr::Vd_ClieForn(Party party) {
    const PartyControls checked = PartyOf(party);
    // The field's own change handler would clear what the check shows.
    const QSignalBlocker detached(checked.taxNumber);
    try {
        if (checked.taxNumber->IsEmpty())
            return;
        QString number = checked.taxNumber->Text();
        const QString typed = number;
        const QString personKind = Consiste::Ajusta_Inscricao(number);
        checked.lookup->SetData(Consiste::CheckResultServ(
            netLancContCorr.Call(QString::fromLatin1(checked.method), bco::VariantList{typed, QString()}),
            true, 0));
        if (checked.lookup->IsEmpty())
            Refuse(checked.notFound);
        const PartyControls other = PartyOf(checked.other);
        {
            const QSignalBlocker quiet(other.taxNumber);
            other.taxNumber->Clear();
            other.taxNumber->SetEditMask(QString());
        }
        other.name->clear();
        other.lookup->Close();
        other.lookup->CreateDataSet();
        // A number typed or pasted with its punctuation is held as its digits, which the mask then shows
        // through its picture; the punctuation itself would take digits' places.
        if (!personKind.isEmpty())
            checked.taxNumber->SetText(number);
        checked.taxNumber->SetEditMask(Consiste::PictPess(personKind));
        checked.name->setText(
            checked.lookup->FieldByName(QString::fromLatin1(checked.legalNameField)).AsString());
    } catch (...) {
        checked.taxNumber->setFocus();
        throw;
    }
}

// The party an accounted type's ledger account is kept by must be named, and only one party may be.
void TfrmLancCCorr::Vd_ClieForn() {
    const bool customer = !ui->medInsClie->IsEmpty();
    const bool supplier = !ui->medInsForn->IsEmpty();
    if (customer && supplier)
        Refuse("cli_for_inf");
    for (const Party party : {Party::Customer, Party::Supplier}) {
        const PartyControls needed = PartyOf(party);
        const QString kind = party == Party::Customer ? QStringLiteral("C") : QStringLiteral("F");
        if (typeAccountingFlag_ == u"S" && typeCommercialKind_ == kind && needed.taxNumber->IsEmpty()) {
            needed.taxNumber->SetColor(bco::ControlColor::InfoTip);
            for (QWidget *control :
                 {static_cast<QWidget *>(needed.taxNumber), needed.lookupButton, needed.label})
                control->setEnabled(true);
            needed.taxNumber->setFocus();
            Refuse(needed.missing);
        }
    }
    for (const Party party : {Party::Supplier, Party::Customer}) {
        const PartyControls unnamed = PartyOf(party);
        if (!unnamed.taxNumber->IsEmpty())
            continue;
        unnamed.taxNumber->Clear();
        unnamed.name->clear();
        unnamed.taxNumber->SetEditMask(QString());
        unnamed.lookup->Close();
    }
}

void TfrmLancCCorr::Data() {
    if (ui->depDataMov->IsEmpty())
        return;
    if (ui->depDataMov->CheckValidDate() && ui->depDataMov->GetDate() >= dayZero)
        return;
    ui->depDataMov->setFocus();
    Consiste::MensErro(u'\'' + ui->depDataMov->Text() + QStringLiteral("' ") + Msg("DATA_INV"), true);
}

void TfrmLancCCorr::Verifica_Acesso_Sistema(QDate date) {
    if (ui->depDataMov->IsEmpty())
        return;
    if (!Dbgeral::DtProcBloq(QStringLiteral("BCO_"), Ondrima::Operador(), date, records.cdsParamGeral.Data()))
        return;
    if (ActivePage() == tshFormulario)
        ui->depDataMov->setFocus();
    Refuse("BLOQ");
}

bool TfrmLancCCorr::Vd_PeriodoContabil(const QString &company, QDate date) {
    bco::ActiveShowAvi(this, PeriodAnimation);
    try {
        bco::VariantList args{company, date};
        const bool open = Consiste::CheckResultServ(
                              netLancContCorr.Call(QStringLiteral("GetVdPeriodoContabil"), args), true, 0)
                              .toBool();
        bco::DeactiveShowAvi();
        return open;
    } catch (...) {
        bco::DeactiveShowAvi();
        throw;
    }
}

// ---- the tax numbers, which show through their person kind's mask until the operator types over them ----

void TfrmLancCCorr::TaxNumberKeyPress(Party party, QChar &key) {
    if (key != QChar(8))
        UnmaskForTyping(party);
}

void TfrmLancCCorr::TaxNumberKeyDown(Party party, int &key) {
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
        UnmaskForTyping(party);
}

// The first key that edits a masked tax number shows the plain digits, keeping the caret and the selection
// on the digits they were on, so that the key acts where the operator saw it act.
void TfrmLancCCorr::UnmaskForTyping(Party party) {
    bco::TMaskEdit *field = PartyOf(party).taxNumber;
    if (!field->HasMask())
        return;
    const QString shown = field->EditText();
    const int start = field->SelStart();
    int length = field->SelLength();
    const int newStart = CalculaRecuoSelecao(shown, start);
    CalculaNovoTamanhoSel(shown.mid(start, length), length);
    field->SetEditMask(QString());
    field->SetSelStart(newStart);
    field->SetSelLength(length);
}

} // namespace Cli_bco11100
