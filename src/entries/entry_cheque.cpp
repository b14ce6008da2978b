// Emitting the cheque of a debit through the host's cheque screen, and sending the debit again once the
// screen gave it a cheque number.
#include "entries/entry_form.h"

#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/wait_animation.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

namespace {

// What the cheque screen is told the request comes from: an entry of the current account, whose debit
// records the cheque.
const QString FromEntry = QStringLiteral("L");

} // namespace

void TfrmLancCCorr::sbtEmitirChequeClick() {
    // Only from the list: a shortcut given while an entry is being written reaches no other entry.
    if (!BrowsingEntries())
        return;
    try {
        // The flag tells of this action's cheque screen, never of an earlier one: a refusal before the screen
        // opens must not restart the system.
        Lib00900::boErroCriatela = false;
        RefuseStandIn(CurrentEntry());
        records.cdsVeri_Bol.EmptyDataSet();
        const QString account = ui->medCdRedu->Text();
        if (ListValue(u"DEBCRED") == u"C") {
            records.cdsVeri_Bol.SetData(Consiste::CheckResultServ(
                netLancContCorr.Call(QStringLiteral("getVeri_Bol"),
                                     bco::VariantList{account, ListValue(u"NUMERO")}),
                true, 0));
            if (!records.cdsVeri_Bol.IsEmpty())
                Refuse("Oper_blo");
        }
        Verifica_Acesso_Sistema(ui->depDataMov->GetDate());
        // The cheque is for the debit as the operator sees it: one that someone else deleted or changed since
        // the list was loaded is named, and no cheque is made for it.
        const ChosenEntry chosen = CurrentEntry();
        VerifyKeepingCurrentList();
        FindChosenAgain(chosen);
        const quint64 shown = records.cdsLancamentos.ContentGeneration();
        Lib00900::CriaEmiteCheque(
            ui->edtCdBanco->text(), records.qryConta.FieldByName(u"CDBANCCNAB").AsString(), account,
            AccountCompany(), ListValue(u"NUMERO"), ui->depDataMov->GetDate(), ui->nedLancamento->Value(),
            ListValue(u"NRCHEQUE"), FromEntry, ListValue(u"NRVERSAO"));
        // Credits and debits are numbered apart: the kind and the number find the entry again.
        const bco::Variant entry = bco::VariantList{ListValue(u"DEBCRED"), ListValue(u"NUMERO")};
        const QString cheque = ListValue(u"NRCHEQUE");
        bco::ClientDataSet &list = records.cdsLancamentos;
        const auto backToEntry = [this, &list, &entry, &chosen] {
            if (list.Locate(QStringLiteral("DEBCRED;NUMERO"), entry))
                return true;
            StandInPlaceOf(chosen);
            return false;
        };
        CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
        if (backToEntry() && !filling_ && ListValue(u"NRCHEQUE") != cheque) {
            const ChosenEntry withCheque = CurrentEntry();
            try {
                Atu_Cheque();
            } catch (...) {
                ReloadAfterRefusal(withCheque);
                throw;
            }
            backToEntry();
        }
        BalanceFollowsList(shown);
        repaint();
    } catch (...) {
        if (!Lib00900::boErroCriatela)
            throw;
        // The printers changed under the system: it starts again to take them.
        Consiste::MensErro(Msg("DEL_IMPRESSORA"), false);
        Ondrima::ReiniciaSistema(Msg("SIS_FIN"));
    }
}

void TfrmLancCCorr::Atu_Cheque() {
    if (BrowsingEntries()) {
        ui->nedLancamento->SetNumberFormat(QStringLiteral("%n "));
        insertPending_ = false;
    }
    bco::ActiveShowAvi(this, WorkAnimation);
    try {
        if (bco::FocusTracker::instance().activeControl(this) == ui->cbbTipo)
            cbbTipoChange();
        else
            PointTypeLookUp();
        if (ConfirmaDuplicidade(ListValue(u"NRMOVBANC"))) {
            // The debit keeps its own cost centre: AlteraLancamento sends the list's.
            typeAccount_ = ListValue(u"CDCONTCTBL").left(WorkingWidth::TypeAccount);
            typeClass_ = ListValue(u"CDCLASSFINA").left(WorkingWidth::TypeClass);
            typeHistory_ = ListValue(u"CDHISTPADR").left(WorkingWidth::TypeHistory);
            if (ListValue(u"DEBCRED") == u"D")
                AlteraLancamento(DebitKind(),
                                 QStringLiteral("O cheque %1 foi emitido e registrado no débito %2.")
                                     .arg(ListValue(u"NRCHEQUE").trimmed(), ListValue(u"NUMERO")));
            sbtVerificarClick();
            records.qryConta.ParamByName(QStringLiteral("P_CDREDUCONT")).SetAsString(ui->medCdRedu->Text());
            records.qryConta.Open();
            accountLedgerAccount_ = records.qryConta.FieldByName(u"CDCONTCTBL")
                                        .AsString()
                                        .left(WorkingWidth::AccountLedgerAccount);
        }
        previousKindIndex_ = ui->cbbTipo->currentIndex();
        SetActivePage(tshFolhaDados);
        RegraCheque();
    } catch (...) {
        bco::DeactiveShowAvi();
        throw;
    }
    bco::DeactiveShowAvi();
}

} // namespace Cli_bco11100
