// The confirm of an include: every check again, the duplicate question, the cost centre and the accounting
// period, then the insertion of the new entry and the refresh of the balance and the list.
#include "entries/entry_form.h"

#include <cmath>
#include <utility>

#include <QApplication>
#include <QLocale>

#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/ui/child_enabled.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/wait_animation.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

namespace {

QString cut(const QString &value, int width) {
    return value.left(width);
}

// A code of the current row of a look-up, empty when the look-up holds none.
QString currentCode(const bco::ClientDataSet &lookup, const char16_t *field) {
    return lookup.Active() && !lookup.IsEmpty() ? lookup.FieldByName(field).AsString() : QString();
}

// The movements a duplicate question is about, one a line, for the operator to see what they would repeat.
// The history is shown whole, as its description and type's name, where the stored one is cut at its width.
QString describeMovements(const bco::ClientDataSet &found) {
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QStringList lines;
    for (int row = 0; row < found.RecordCount(); ++row) {
        const bco::ClientDataSet::ActiveRowScope at(found, row);
        const auto text = [&found](const char16_t *field) {
            return found.FieldByName(field).AsString().trimmed();
        };
        const QString document = text(u"NRDOCMBANC");
        const QString description = found.FindField(u"DSMOVIMENTO") ? text(u"DSMOVIMENTO") : QString();
        const QString typeName = found.FindField(u"DSTIPO") ? text(u"DSTIPO") : QString();
        const QString history = description.isEmpty() && typeName.isEmpty()
                                    ? text(u"DSHISMBANC")
                                    : QStringLiteral("%1(%2)").arg(description, typeName);
        lines << QStringLiteral("Movimento %1 de %2%3: %4 %5")
                     .arg(text(u"NRMOVBANC"),
                          found.FieldByName(u"DTMOVBANC").AsDateTime().toString(u"dd/MM/yyyy"),
                          document.isEmpty() ? QString() : QStringLiteral(", documento ") + document,
                          brazil.toString(found.FieldByName(u"VRMOVBANC").AsFloat(), 'f', 2), history);
    }
    return lines.join(u'\n');
}

} // namespace

void TfrmLancCCorr::sbtConfirmarClick() {
    TfrmPadrao::sbtConfirmarClick();
    Verifica_Acesso_Sistema(ui->depDataMov->GetDate());
    try {
        bco::ActiveShowAvi(this, WorkAnimation);
        ui->depDataMov->CheckValidDate();
        if (bco::FocusTracker::instance().activeControl(this) == ui->cbbTipo)
            cbbTipoChange();
        else
            PointTypeLookUp();
        medTpLancExit();
        Vd_Filial(false);
        ui->medNrDocBanc->SetText(Consiste::Ajusta(ui->medNrDocBanc->Text(), 10));

        if (ui->depDataMov->IsEmpty()) {
            ui->depDataMov->setFocus();
            Refuse("Data_br");
        }
        // A date that is no date would reach the server as none: it is refused as its field's exit refuses
        // it.
        Data();
        // The confirm button takes no focus: a value still being typed has not left its field, and the value
        // the field had before must not be written in place of what it shows.
        ui->nedLancamento->RefuseUnfinished();
        if (ui->nedLancamento->Value() == 0.0) {
            ui->nedLancamento->setFocus();
            Refuse("Vr<0");
        }
        Vd_TipoLanc(true);
        Vd_ClieForn();
        Vd_Cliente();
        Vd_Fornecedor();
        if (Consiste::EmptyString(ui->edtDsLancamento->text())) {
            ui->edtDsLancamento->setFocus();
            Refuse("dsLan_inf");
        }
        Vd_Filial(true);
        Vd_CentCust(records.cdsGerParamgeral.FieldByName(u"IDTIPOORCA").AsString() == u"C");
        partyLetter_ = ui->medInsClie->IsEmpty() ? QStringLiteral("F") : QStringLiteral("C");
        if (insertPending_)
            OfereceEmAberto();

        // A change finds its own entry, which it is about to rewrite: only another one is a duplicate.
        if (!ConfirmaDuplicidade(insertPending_ ? QString() : ListValue(u"NRMOVBANC"))) {
            EndConfirm();
            return;
        }
        // A change keeps the entry's own cost centre (AlteraLancamento sends it from the list).
        if (insertPending_)
            CentroCustoLancamento();
        if (!Vd_PeriodoContabil(ui->edtCdEmpresa->text(), ui->depDataMov->GetDate()))
            Refuse("Lanc_ForaPeri");
        const EntryKind &kind = KindOfIndex(ui->cbbTipo->currentIndex());
        // Last before the write: the questions above may have waited long on the operator.
        if (insertPending_ && draftStillWanted_) {
            if (const QString why = draftStillWanted_(); !why.isEmpty()) {
                // What the draft came from changed meanwhile: it shows what it holds now.
                if (draftIncluded_)
                    bco::runGuarded(draftIncluded_);
                Consiste::MensErro(why, true);
            }
        }
        if (insertPending_) {
            IncluiLancamento(kind);
            // Told once; its own trouble (the server gone meanwhile) is its own, the entry is written.
            if (const auto included = std::exchange(draftIncluded_, {}))
                bco::runGuarded(included);
        } else {
            // A credit paid by a cheque: the cheque's screen may stop the change.
            const QString cheque = ListValue(u"NRCHEQUE");
            if (kind.isCredit() && !cheque.isEmpty() &&
                Lib00901::CriaSituacaoCheque(QString(), QString(), ui->medCdRedu->Text(), cheque))
                throw Consiste::EAbort();
            try {
                AlteraLancamento(kind);
            } catch (...) {
                // Refused for a repetition another operator wrote since the question, the entry is as it was
                // listed: the change stays open with what was typed, and confirmed again it asks about
                // every repetition, as an include does.
                if (!RefusedForARepetition())
                    ReloadAfterRefusal(changing_);
                throw;
            }
        }

        sbtVerificarClick();
        HabilitaPagina(true);
        Consiste::SetChildEnabled(ui->panFiltro, true);
        records.qryConta.ParamByName(QStringLiteral("P_CDREDUCONT")).SetAsString(ui->medCdRedu->Text());
        records.qryConta.Open();
        accountLedgerAccount_ =
            cut(records.qryConta.FieldByName(u"CDCONTCTBL").AsString(), WorkingWidth::AccountLedgerAccount);
        EndConfirm();
    } catch (...) {
        bco::DeactiveShowAvi();
        throw;
    }
}

// Whether to go on when the account already holds a movement of this date, document, value and history.
bool TfrmLancCCorr::ConfirmaDuplicidade(const QString &ownMovement) {
    const QString history = MovementHistory(ui->edtDsLancamento->text(), ui->edtDsTipoLanc->text());
    records.cdsPesqMovBanc.SetData(Consiste::CheckResultServ(
        netLancContCorr.Call(QStringLiteral("getPesqMovBanc"),
                             bco::VariantList{ui->medCdRedu->Text(), ui->depDataMov->GetDate(),
                                              ui->medNrDocBanc->Text(), std::abs(ui->nedLancamento->Value()),
                                              history}),
        true, 0));
    // An entry sent again (its cheque) finds itself: only another movement makes it a duplicate.
    bco::ClientDataSet &found = records.cdsPesqMovBanc;
    if (!ownMovement.isEmpty()) {
        found.First();
        while (!found.Eof()) {
            if (found.FieldByName(u"NRMOVBANC").AsString().trimmed() == ownMovement)
                found.Delete();
            else
                found.Next();
        }
    }
    shownDuplicates_.clear();
    for (found.First(); !found.Eof(); found.Next())
        shownDuplicates_ << found.FieldByName(u"NRMOVBANC").AsString().trimmed();
    if (found.IsEmpty())
        return true;
    return msgPadrao.ShowMsg(QStringLiteral("LANCA_JA_CAD"), bco::MsgKind::Confirmation,
                             bco::MsgButtons(bco::MsgButton::Yes) | bco::MsgButton::No, 0,
                             describeMovements(records.cdsPesqMovBanc)) == bco::MsgButton::Yes;
}

// The cost centre typed, else the branch's default, else the company's (or none).
void TfrmLancCCorr::CentroCustoLancamento() {
    entryCostCentre_ = cut(ui->medCentCust->Text(), WorkingWidth::EntryCostCentre);
    if (!entryCostCentre_.isEmpty())
        return;
    records.cdsCentCustFilial.SetData(Consiste::CheckResultServ(
        netLancContCorr.Call(QStringLiteral("getCentCustFilial"), bco::VariantList{ui->medFilial->Text()}),
        true, 0));
    const QString branchDefault = currentCode(records.cdsCentCustFilial, u"CDCENTCUST");
    if (!branchDefault.isEmpty()) {
        entryCostCentre_ = cut(branchDefault, WorkingWidth::EntryCostCentre);
        return;
    }
    records.cdsEmpresa.SetData(Consiste::CheckResultServ(
        netLancContCorr.Call(QStringLiteral("getEmpresa"), bco::VariantList{ui->edtCdEmpresa->text()}), true,
        0));
    entryCostCentre_ = cut(currentCode(records.cdsEmpresa, u"CDCENTCUST"), WorkingWidth::EntryCostCentre);
}

// IncluiCredito and IncluiDebito: the two differ only by the kind.
void TfrmLancCCorr::IncluiLancamento(const EntryKind &kind) {
    bco::ClientDataSet &movements = records.cdsMovBanc;
    bco::ClientDataSet &record = kind.isCredit() ? records.cdsCredito : records.cdsDebito;
    for (bco::ClientDataSet *fresh : {&movements, &record}) {
        fresh->Close();
        fresh->CreateDataSet();
        fresh->EmptyDataSet();
    }
    const QString account = ui->medCdRedu->Text();
    // A number that could not be drawn must not be sent as one: the failure is the server's to tell.
    const auto draw = [&](const char *method) {
        return cut(
            Consiste::CheckResultServ(
                netLancContCorr.Call(QString::fromLatin1(method), bco::VariantList{account, "1"}), true, 0)
                .toText(),
            WorkingWidth::MovementNumber);
    };
    NewEntryValues entry;
    entry.account = account;
    entry.movement = draw("getPrxMovBancario");
    entry.number = draw(kind.numberMethod);
    entryBranch_ = ui->medFilial->IsEmpty() ? cut(Ondrima::FiliProc(), WorkingWidth::EntryBranch)
                                            : cut(ui->medFilial->Text(), WorkingWidth::EntryBranch);
    entry.date = ui->depDataMov->GetDate();
    entry.value = ui->nedLancamento->Value();
    entry.document = ui->medNrDocBanc->Text();
    entry.history = MovementHistory(ui->edtDsLancamento->text(), ui->edtDsTipoLanc->text());
    entry.type = ui->medTpLanc->Text();
    entry.typeName = ui->edtDsTipoLanc->text();
    entry.description = ui->edtDsLancamento->text();
    entry.company = AccountCompany();
    entry.typedBranch = ui->medFilial->Text();
    entry.entryBranch = entryBranch_;
    entry.financialClass = typeClass_;
    entry.customer = currentCode(records.cdsCliente, u"CDCLIENTE");
    entry.supplier = currentCode(records.cdsFornecedor, u"CDFORNECED");
    AppendNewEntry(movements, record, kind, entry);

    if (!records.cdsResult.Active())
        records.cdsResult.CreateDataSet();
    bco::ActiveShowAvi(this, WorkAnimation);
    try {
        bco::VariantList args{ui->medFilial->Text(),
                              "C",
                              ui->medNrDocBanc->Text(),
                              typeHistory_,
                              entryCostCentre_,
                              typeAccount_,
                              entry.date,
                              entry.value,
                              movements.GetDelta(),
                              record.GetDelta()};
        for (const InsertionTail item : kind.tail) {
            switch (item) {
            case InsertionTail::Operator:
                args.push_back(Ondrima::Operador());
                break;
            case InsertionTail::DevoluCredFor:
                args.push_back(records.cdsDevoluCredFor.Data());
                break;
            case InsertionTail::DevoluDebCli:
                args.push_back(records.cdsDevoluDebCli.Data());
                break;
            case InsertionTail::AdiantaCredFor:
                args.push_back(records.cdsAdiantaCredFor.Data());
                break;
            case InsertionTail::AdiantaCred:
                args.push_back(records.cdsAdiantaCred.Data());
                break;
            }
        }
        args.push_back(partyLetter_);
        args.push_back(shownDuplicates_.join(u','));
        lastServerResult_ = Consiste::CheckResultServ(
            netLancContCorr.Call(QString::fromLatin1(kind.insertMethod), args), true, 0);
        const bco::VariantList &answer = lastServerResult_.array();
        records.cdsResult.SetData(answer.at(0));
        records.cdsLancContTemp.SetData(answer.at(1));
        records.cdsRateio.SetData(answer.at(2));
        records.cdsErrosTemp.SetData(answer.at(3));
        bco::DeactiveShowAvi();

        if (!records.cdsErrosTemp.IsEmpty()) {
            // The accounting screen tells what stops the entry; the form keeps everything typed.
            Ondrima::LoadBPL(QStringLiteral("CTB10200"),
                             bco::VariantList{record.FieldByName(u"CDEMPRESA").AsString(), QString(),
                                              records.cdsLancContTemp.Data(), records.cdsRateio.Data(),
                                              records.cdsErrosTemp.Data()});
            throw Consiste::EAbort();
        }
        TellRefusal(kind.refusingKeys);
    } catch (...) {
        bco::DeactiveShowAvi();
        throw;
    }
    // The screen repaints before the list is loaded again; the operator's clicks and keys wait until the form
    // is back on the list, so that none acts on the entry just written.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const ChosenEntry chosenBefore = CurrentEntry();
    CarregaLista(QStringLiteral("ESCONDE_FILTRO"));
    // The operator lands on what was just written (the refresh that follows keeps the current row), not on
    // the first row of a list that may hold thousands. A list that leaves it out (its filter, its days) is
    // told: else the operator, seeing no new row, might type it again; and stays on the entry chosen before,
    // or, when that is gone too, on none the operator chose.
    if (!LocateMovement(entry.company, entry.movement)) {
        if (!chosenBefore.movement.isEmpty() && !LocateMovement(chosenBefore.company, chosenBefore.movement))
            StandInPlaceOf(chosenBefore);
        ChosenEntry written;
        written.kind = QString(kind.letter);
        written.date = entry.date;
        written.value = entry.value;
        written.description = entry.description;
        written.document = entry.document;
        msgPadrao.ShowMsg(QStringLiteral("Lanc_ForaDaLista"), bco::MsgKind::Information, bco::MsgButton::Ok,
                          0, DescribeEntry(written));
    }
}

// The end of every confirm that did not fail: the form is back on the list page with its fields closed.
void TfrmLancCCorr::EndConfirm() {
    filling_ = true;
    previousKindIndex_ = ui->cbbTipo->currentIndex();
    SetActivePage(tshFolhaDados);
    RegraCheque();
    filling_ = false;
    bco::DeactiveShowAvi();
    HabilitaCampos(false);
    FocaLista();
}

} // namespace Cli_bco11100
