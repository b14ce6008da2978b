// Changing and deleting the current entry of the list, with the refusals of what other processes own and
// the reconciliation check the two share.
#include "entries/entry_form.h"

#include <algorithm>

#include <QApplication>

#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/ui/child_enabled.h"
#include "framework/ui/wait_animation.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

namespace {

// What a change call carries, by meaning; each kind's call lists them in its own order.
enum class ChangeArg {
    Account,
    Movement,
    Number,
    DateShown,
    TypeName,
    ValueShown,
    Document,
    TypeCode,
    Description,
    Company,
    TypedBranch,
    AccountKind,
    TypeClass,
    EntryBranch,
    StoredKind,
    TypeHistory,
    EntryCostCentre,
    AccountLedger,
    TypeAccount,
    Customer,
    Supplier,
    Cheque,
    StoredValue,
    StoredDate,
    TypeCommercialKind,
    Operator,
};

// getAlteraCred and getAlterDebito: the same values in different orders, and what the change does when
// the server cannot account it (the credit stops there, the debit goes on).
struct ChangeCall {
    const char *method;
    std::vector<ChangeArg> args;
    bool stopsOnAccountingErrors;
};

const ChangeCall &changeCall(const EntryKind &kind) {
    using A = ChangeArg;
    static const ChangeCall credit{
        "getAlteraCred",
        {A::TypeHistory,   A::Description,       A::TypeName,    A::Document,    A::DateShown,
         A::AccountLedger, A::ValueShown,        A::Account,     A::TypedBranch, A::EntryCostCentre,
         A::TypeAccount,   A::TypeCode,          A::TypedBranch, A::Movement,    A::Number,
         A::Number,        A::Company,           A::TypeClass,   A::EntryBranch, A::AccountKind,
         A::StoredKind,    A::Operator,          A::Customer,    A::Supplier,    A::StoredValue,
         A::StoredDate,    A::TypeCommercialKind},
        true};
    static const ChangeCall debit{"getAlterDebito",
                                  {A::Account,           A::Movement,    A::DateShown,       A::TypeName,
                                   A::ValueShown,        A::Document,    A::Number,          A::Number,
                                   A::TypeCode,          A::DateShown,   A::Description,     A::ValueShown,
                                   A::Company,           A::TypedBranch, A::TypedBranch,     A::AccountKind,
                                   A::TypeClass,         A::Company,     A::EntryBranch,     A::DateShown,
                                   A::StoredKind,        A::TypeHistory, A::EntryCostCentre, A::TypedBranch,
                                   A::DateShown,         A::ValueShown,  A::AccountLedger,   A::Customer,
                                   A::Supplier,          A::Cheque,      A::StoredValue,     A::StoredDate,
                                   A::TypeCommercialKind},
                                  false};
    return kind.isCredit() ? credit : debit;
}

} // namespace

QString TfrmLancCCorr::ListValue(const char16_t *field) const {
    return records.cdsLancamentos.FieldByName(field).AsString();
}

QStringList TfrmLancCCorr::LinksOfListedEntry(std::initializer_list<const char *> linkCodes) {
    QStringList described;
    // Told if the server can tell them: what is asked about them stands either way.
    const bco::RemoteResult links = netLancContCorr.Call(
        QStringLiteral("GetVinculosLanc"), bco::VariantList{ui->medCdRedu->Text(), ListValue(u"NRMOVBANC"),
                                                            ListValue(u"DEBCRED"), ListValue(u"NUMERO")});
    if (!links.ok() || !links.payload().isPacket())
        return described;
    const bco::DataPacket &rows = links.payload().packet();
    for (int row = 0; row < rows.rowCount(); ++row) {
        const QString link = rows.value(row, u"CDVINCULO").toText();
        if (std::any_of(linkCodes.begin(), linkCodes.end(),
                        [&link](const char *code) { return link == QLatin1String(code); }))
            described.append(rows.value(row, u"DSVINCULO").toText());
    }
    return described;
}

void TfrmLancCCorr::RefuseOwned(const char *key, const char *linkCode) {
    Consiste::MensErro(Msg(key), true, LinksOfListedEntry({linkCode}).join(u'\n'));
    throw Consiste::EAbort();
}

// The entry's own customer or supplier, as listed: never the look-ups, which another action (an include, a
// look-up window) may have filled with someone else.
QString TfrmLancCCorr::Retorna_Clie_Forn(const QString &kind) {
    return ListValue(kind == u"CLI" ? u"CDCLIENTE" : u"CDFORNECED");
}

// ---- change ----

void TfrmLancCCorr::sbtAlterarClick() {
    TfrmPadrao::sbtAlterarClick();
    const ChosenEntry chosen = CurrentEntry();
    // Before what owns the entry is asked: a refusal about the stand-in's owners would name an entry the
    // operator did not choose.
    RefuseStandIn(chosen);
    const QString account = ui->medCdRedu->Text();
    records.cdsVeriDevolu.SetData(Consiste::CheckResultServ(
        netLancContCorr.Call(
            QStringLiteral("GetVeriDevolu"),
            bco::VariantList{account, ListValue(u"NUMERO"),
                             ui->cbbTipo->currentIndex() == CreditKind().kindIndex ? "0" : "1"}),
        true, 0));
    if (!records.cdsVeriDevolu.IsEmpty())
        RefuseOwned("Devo_NAlter", "DEVOLUCAO");
    sbtVerificarClick();
    FindChosenAgain(chosen);
    if (mode_ != Mode::Including)
        Verifica_Conciliacao(Operation::Change);
    records.cdsVeri_Bol.EmptyDataSet();
    if (ListValue(u"DEBCRED") == u"C") {
        records.cdsVeri_Bol.SetData(
            Consiste::CheckResultServ(netLancContCorr.Call(QStringLiteral("getVeri_Bol"),
                                                           bco::VariantList{account, ListValue(u"NUMERO")}),
                                      true, 0));
        if (!records.cdsVeri_Bol.IsEmpty())
            RefuseOwned("Oper_blo", "BOLETO");
    }
    if (!ListValue(u"NRSEQUENCIALEMP").isEmpty())
        RefuseOwned("LancEmprAlt", "EMPRESTIMO");
    if (boValidaIdComp && ListValue(u"IDLANCCOMP") == u"S")
        RefuseOwned("AltLancComp", "COMPENSACAO");

    ui->nedLancamento->SetNumberFormat(QStringLiteral("%n "));
    SetMode(Mode::Changing);
    Habilita(false);
    // A cheque printed in the middle of a change would end it behind the operator's back.
    RegraCheque();
    HabilitaPagina(true);
    HabilitaCampos(false);
    SetActivePage(tshFormulario);
    ui->edtDsLancamento->setFocus();
    CheckPageItems();
    Consiste::SetChildEnabled(ui->panFiltro, false);
    insertPending_ = false;
    changing_ = CurrentEntry();
}

// AlteraCredito and AlteraDebito: the two differ by their call's arguments and by what follows accounting
// errors.
// A change writes only what the operator changed (the description; a cheque's number is recorded by its own
// call): the branches, the cost centre, the party and the cheque go as the entry holds them, from its row of
// the list, never from the processing branch's or the company's defaults or from look-ups another action
// filled.
void TfrmLancCCorr::AlteraLancamento(const EntryKind &kind, const QString &writtenBefore) {
    const ChangeCall &call = changeCall(kind);
    // A refusal is read from this call's answer, never from one an earlier call left.
    if (records.cdsResult.Active())
        records.cdsResult.EmptyDataSet();
    entryBranch_ = ListValue(u"CDFILIAL").left(WorkingWidth::EntryBranch);
    entryCostCentre_ = ListValue(u"CDCENTCUST").left(WorkingWidth::EntryCostCentre);
    // A click or key given now acts once the change was sent, not in the middle of it.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const bco::LocalQuery &types = kind.isCredit() ? records.qryLancCred : records.qryLancDeb;
    const auto value = [&](ChangeArg arg) -> bco::Variant {
        switch (arg) {
        case ChangeArg::Account:
            return ui->medCdRedu->Text();
        case ChangeArg::Movement:
            return ListValue(u"NRMOVBANC");
        case ChangeArg::Number:
            return ListValue(u"NUMERO");
        case ChangeArg::DateShown:
            return ui->depDataMov->GetDate();
        case ChangeArg::TypeName:
            return ui->edtDsTipoLanc->text();
        case ChangeArg::ValueShown:
            return ui->nedLancamento->Value();
        case ChangeArg::Document:
            return ui->medNrDocBanc->Text();
        case ChangeArg::TypeCode:
            return ui->medTpLanc->Text();
        case ChangeArg::Description:
            return ui->edtDsLancamento->text();
        case ChangeArg::Company:
            return AccountCompany();
        case ChangeArg::TypedBranch:
            return ListValue(u"CDFILILANCA");
        case ChangeArg::AccountKind:
            return accountKind_;
        case ChangeArg::TypeClass:
            return typeClass_;
        case ChangeArg::EntryBranch:
            return entryBranch_;
        case ChangeArg::StoredKind:
            return ListValue(u"DEBCRED");
        case ChangeArg::TypeHistory:
            return typeHistory_;
        case ChangeArg::EntryCostCentre:
            return entryCostCentre_;
        case ChangeArg::AccountLedger:
            return accountLedgerAccount_;
        case ChangeArg::TypeAccount:
            return typeAccount_;
        case ChangeArg::Customer:
            return Retorna_Clie_Forn(QStringLiteral("CLI"));
        case ChangeArg::Supplier:
            return Retorna_Clie_Forn(QStringLiteral("FOR"));
        case ChangeArg::Cheque:
            return ListValue(u"NRCHEQUE");
        case ChangeArg::StoredValue:
            return std::abs(records.cdsLancamentos.FieldByName(u"VRMOVICRED").AsFloat());
        case ChangeArg::StoredDate:
            return records.cdsLancamentos.FieldByName(u"DTMOVICRED").AsDateTime();
        case ChangeArg::TypeCommercialKind:
            return types.Active() && !types.IsEmpty() ? types.FieldByName(u"IDTIPOCOME").AsString()
                                                      : QString();
        case ChangeArg::Operator:
            return Ondrima::Operador();
        }
        return {};
    };
    bco::VariantList args;
    for (const ChangeArg arg : call.args)
        args.push_back(value(arg));
    // What the operator saw: the server refuses the change when the entry was written since.
    const QString version = ListValue(u"NRVERSAO");
    if (!version.isEmpty()) {
        args.push_back(version);
        // And the repetitions the operator was asked about: the server refuses one written since.
        args.push_back(shownDuplicates_.join(u','));
    }

    bco::ActiveShowAvi(this, WorkAnimation);
    try {
        const bco::RemoteResult answered = netLancContCorr.Call(QString::fromLatin1(call.method), args);
        if (!answered.ok() && !answered.errorMessage().isEmpty() && !writtenBefore.isEmpty())
            Consiste::MensErro(writtenBefore + u' ' + answered.errorMessage(), true);
        lastServerResult_ = Consiste::CheckResultServ(answered, true, 0);
        if (lastServerResult_.type() == bco::VariantType::Text)
            Consiste::MensErro(lastServerResult_.toText(), true);
        const bco::VariantList &answer = lastServerResult_.array();
        // The change's own result, never one an earlier insertion or deletion left behind.
        records.cdsResult.SetData(answer.at(0));
        records.cdsLancContTemp.SetData(answer.at(1));
        records.cdsRateio.SetData(answer.at(2));
        records.cdsErrosTemp.SetData(answer.at(3));
        if (!records.cdsErrosTemp.IsEmpty()) {
            Ondrima::LoadBPL(QStringLiteral("CTB10200"),
                             bco::VariantList{AccountCompany(), QString(), records.cdsLancContTemp.Data(),
                                              records.cdsRateio.Data(), records.cdsErrosTemp.Data()});
            if (call.stopsOnAccountingErrors)
                throw Consiste::EAbort();
        }
        bco::DeactiveShowAvi();
        TellRefusal();
    } catch (...) {
        bco::DeactiveShowAvi();
        throw;
    }
    const ChosenEntry changed = CurrentEntry();
    CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
    // The operator stays on the entry just changed, not on the first row of a list that may hold thousands.
    LocateMovement(changed.company, changed.movement);
}

bool TfrmLancCCorr::RefusedForARepetition() const {
    const bco::DataPacket rows = records.cdsResult.Data();
    return rows.rowCount() > 0 && rows.value(0, u"CDRESULT").toText() == u"MSG" &&
           rows.value(0, u"DSRESULT").toText().trimmed() == u"LANCA_JA_CAD_OUTRO";
}

void TfrmLancCCorr::TellRefusal(const QStringList &shown) {
    const bco::DataPacket rows = records.cdsResult.Data();
    if (rows.rowCount() == 0 || rows.value(0, u"CDRESULT").toText() != u"MSG")
        return;
    const QString key = rows.value(0, u"DSRESULT").toText().trimmed();
    if (!shown.isEmpty() && !shown.contains(key, Qt::CaseInsensitive))
        return;
    QStringList details;
    for (int row = 1; row < rows.rowCount(); ++row) {
        if (rows.value(row, u"CDRESULT").toText() == u"DET")
            details.append(rows.value(row, u"DSRESULT").toText());
    }
    Consiste::MensErro(msgPadrao.Msg(key), true, details.join(u'\n'));
}

// ---- deletion ----

void TfrmLancCCorr::sbtExcluirClick() {
    const ChosenEntry chosen = CurrentEntry();
    VerifyKeepingCurrentList();
    FindChosenAgain(chosen);
    if (mode_ == Mode::Changing)
        SetMode(Mode::Browsing);
    Verifica_Conciliacao(Operation::Deletion);
    records.cdsVeri_Bol.EmptyDataSet();
    const QString account = ui->medCdRedu->Text();
    if (ListValue(u"DEBCRED") == u"C") {
        records.cdsVeri_Bol.SetData(
            Consiste::CheckResultServ(netLancContCorr.Call(QStringLiteral("GetVeri_Bol"),
                                                           bco::VariantList{account, ListValue(u"NUMERO")}),
                                      true, 0));
        if (!records.cdsVeri_Bol.IsEmpty())
            RefuseOwned("Oper_blo", "BOLETO");
    }
    if (!ListValue(u"NRSEQUENCIALEMP").isEmpty())
        RefuseOwned("LancEmpr", "EMPRESTIMO");
    if (ListValue(u"IDLANCCOMP") == u"S")
        RefuseOwned("ExcLancComp", "COMPENSACAO");
    TfrmPadrao::sbtExcluirClick();
    Verifica_Acesso_Sistema(ui->depDataMov->GetDate());
    QString asked = DescribeEntry(CurrentEntry());
    // What the deletion undoes besides the entry is said in the question that asks for it.
    if (const QString statement = ListValue(u"CDSEQUEXBA"), line = ListValue(u"NRSEQMOVREBA");
        !statement.isEmpty() && !line.isEmpty())
        asked += u'\n' + Msg("Excl_Conciliado").arg(line, statement);
    if (const QStringList given = LinksOfListedEntry({"ADIANTAMENTO", "DEVOLUCAO"}); !given.isEmpty())
        asked += u'\n' + Msg("Excl_Devolve") + u'\n' + given.join(u'\n');
    if (!ConfirmaExclusao(asked))
        return;
    repaint();
    const QString cheque = ListValue(u"NRCHEQUE");
    if (cheque.isEmpty() || !Lib00901::CriaSituacaoCheque(QString(), QString(), account, cheque)) {
        const ChosenEntry confirmed = CurrentEntry();
        try {
            DeletaLanc();
        } catch (...) {
            ReloadAfterRefusal(confirmed);
            throw;
        }
    }
    HabilitaPagina(true);
    Vd_CdRedu(false);
    SetActivePage(tshFolhaDados);
}

void TfrmLancCCorr::DeletaLanc() {
    const bco::ClientDataSet &entry = records.cdsLancamentos;
    if (!Vd_PeriodoContabil(ListValue(u"CDEMPLANCTB"), entry.FieldByName(u"DTMOVICRED").AsDateTime()))
        Refuse("Lanc_ForaPeri");
    // The filter's working values travel by reference; what the server writes back into them is not used.
    const Cli_bco11102::TLancQuery &filter = listQuery_;
    const bco::ClientDataSet &movements = records.cdsMovBanc;
    bco::VariantList args{ui->medCdRedu->Text(),
                          entry.FieldByName(u"DTMOVICRED").AsDateTime(),
                          entry.FieldByName(u"VRMOVICRED").AsFloat(),
                          AccountCompany(),
                          ListValue(u"DEBCRED"),
                          ListValue(u"NUMERO"),
                          ListValue(u"NRSEQMOVREBA"),
                          ListValue(u"CDSEQUEXBA"),
                          ListValue(u"NRMOVBANC"),
                          ListValue(u"CDEMPRESA"),
                          movements.Active() && !movements.IsEmpty()
                              ? movements.FieldByName(u"CDREDUCONT").AsString()
                              : QString(),
                          Consiste::DateToText(Ondrima::DataProc(Ondrima::FiliProc())),
                          filter.unsetText1,
                          filter.unsetText2,
                          filter.valueFrom,
                          filter.valueTo,
                          filter.allValues,
                          filter.entryKind,
                          filter.typeList,
                          filter.allTypes,
                          ListValue(u"NRLANCCONT")};
    // What the operator saw: the server refuses the deletion when the entry was written since.
    const QString listedVersion = ListValue(u"NRVERSAO");
    if (!listedVersion.isEmpty())
        args.push_back(listedVersion);
    const bco::RemoteResult result = netLancContCorr.Call(QStringLiteral("GetDeletaLanc"), args);
    if (!result.ok())
        Consiste::MensErro(result.errorMessage(), true);
    lastServerResult_ = result.payload();
    if (lastServerResult_.type() == bco::VariantType::Text)
        Consiste::MensErro(lastServerResult_.toText(), true);
    records.cdsResult.SetData(lastServerResult_.array().at(0));
    TellRefusal();
    // The list lets go of the entry itself and stands on the entry that followed; the reload below brings the
    // whole period again only when someone else wrote to the account meanwhile.
    bco::ClientDataSet &list = records.cdsLancamentos;
    const bco::VariantList answer = lastServerResult_.array();
    const auto version = [&answer](size_t element) {
        bool number = false;
        const qint64 value = element < answer.size() ? answer[element].toText().toLongLong(&number) : -1;
        return number ? value : -1;
    };
    const auto forget = [&list] {
        list.Delete();
    };
    listLoader_.applyOwnWrite(list, version(1), version(2), forget);
    ui->lblUltMov->setText(Consiste::DateToText(Ondrima::DataProc(Ondrima::FiliProc())));
    VerifyKeepingCurrentList();
    Habilita(NoAccount());
}

void TfrmLancCCorr::VerifyKeepingCurrentList() {
    Cli_bco11102::EntryListLoader::ReuseCurrent reuse(listLoader_);
    sbtVerificarClick();
}

// ---- reconciliation ----

void TfrmLancCCorr::Verifica_Conciliacao(Operation operation) {
    const QString statement = ListValue(u"CDSEQUEXBA");
    const QString line = ListValue(u"NRSEQMOVREBA");
    const bool reconciled = !statement.isEmpty() && !line.isEmpty();
    if (!reconciled && ListValue(u"NRMOVBANCORIG").isEmpty())
        return;
    const QString account = ui->medCdRedu->Text();
    lastServerResult_ = Consiste::CheckResultServ(
        netLancContCorr.Call(QStringLiteral("GetPesqConciliacao"),
                             bco::VariantList{account, line, statement, ListValue(u"NRMOVBANCORIG")}),
        true, 0);
    records.cdsPesqConciliacaoORIG.SetData(lastServerResult_.array().at(0));
    records.cdsPesqConciliacao.SetData(lastServerResult_.array().at(1));
    const bco::ClientDataSet &origin = records.cdsPesqConciliacaoORIG;
    if (!origin.IsEmpty() && !origin.FieldByName(u"CDSEQUEXBA").AsString().isEmpty() &&
        !origin.FieldByName(u"NRSEQMOVREBA").AsString().isEmpty())
        RefuseOwned("MovBancOrig_Conc", "ESTORNO");
    const bco::ClientDataSet &shared = records.cdsPesqConciliacao;
    if (!shared.IsEmpty() && static_cast<qint64>(shared.FieldByName(u"QTCONCILIADO").AsFloat()) > 0)
        RefuseOwned(operation == Operation::Change ? "Alt_Nao_Permitida" : "Excl_Nao_Permitida",
                    "CONCILIACAO");
    if (!reconciled)
        return;
    // These only check that the reconciliation can be released: the confirmed deletion releases it (a change
    // keeps it: the description is all a change writes, and the pairing stands on the date, value and
    // document).
    records.cdsAltMoviReal.SetData(Consiste::CheckResultServ(
        netLancContCorr.Call(QStringLiteral("GetAltMoviReal"), bco::VariantList{account, line, statement}),
        true, 0));
    records.cdsDelMovBanc.SetData(
        Consiste::CheckResultServ(netLancContCorr.Call(QStringLiteral("GetDelMovBanc"),
                                                       bco::VariantList{account, ListValue(u"NRMOVBANC")}),
                                  true, 0));
}

} // namespace Cli_bco11100
