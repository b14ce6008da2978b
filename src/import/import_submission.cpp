#include "import/import_submission.h"

#include <QRegularExpression>

#include "entry_model/entry_kind.h"
#include "framework/checks/consiste.h"
#include "framework/remote/net_connection.h"

namespace Cli_bco11104 {

using Cli_bco11100::EntryKind;

std::optional<std::pair<int, QString>> LineNamedBy(const QString &text, const LineOfMovement &lineOf) {
    static const QRegularExpression movement(QStringLiteral("^Movimento (\\d+) da conta corrente (\\S+): "));
    const QRegularExpressionMatch match = movement.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int line = lineOf ? lineOf(match.captured(2), match.captured(1)) : 0;
    if (line <= 0)
        return std::nullopt;
    return std::make_pair(line, text.mid(match.capturedLength()));
}

QString SubmissionOutcome::refusedKindsName() const {
    return refusedKind != nullptr && refusedKind->isCredit() ? QStringLiteral("créditos")
                                                             : QStringLiteral("débitos");
}

SubmissionOutcome SubmitImport(bco::NetConnection &server, ImportRecords &records,
                               const QString &operatorCode, const LineOfMovement &lineOf,
                               const std::function<void()> &beforeCall,
                               const std::function<void()> &afterCall) {
    Cli_bco11100::EntryRecords &entry = records.entry;
    SubmissionOutcome outcome;
    struct Twin {
        const EntryKind *kind;
        bco::ClientDataSet *records;
        const char *method;
        int *written;
        int *skipped;
    };
    const Twin twins[] = {
        {&Cli_bco11100::CreditKind(), &entry.cdsCredito, "setInsertImportCred", &outcome.credits,
         &outcome.skippedCredits},
        {&Cli_bco11100::DebitKind(), &entry.cdsDebito, "setInsertImportDeb", &outcome.debits,
         &outcome.skippedDebits},
    };
    for (const Twin &twin : twins) {
        if (!twin.records->Active() || twin.records->IsEmpty())
            continue;
        if (const auto done = records.answered.find(twin.kind); done != records.answered.end()) {
            *twin.written = done->second.written;
            *twin.skipped = done->second.skipped;
            continue;
        }
        if (!entry.cdsResult.Active())
            entry.cdsResult.CreateDataSet();
        // The credits' lines and shares are of no use once their call succeeded, and the debits' answer
        // replaces them: holding them through the debits' call would keep tens of megabytes for nothing.
        for (bco::ClientDataSet *earlier : {&entry.cdsLancContTemp, &entry.cdsRateio})
            if (earlier->Active())
                earlier->EmptyDataSet();
        if (beforeCall)
            beforeCall();
        struct After {
            const std::function<void()> &run;
            ~After() {
                if (run)
                    run();
            }
        } after{afterCall};
        bco::RemoteResult result = server.Call(
            QString::fromLatin1(twin.method),
            bco::VariantList{entry.cdsMovBanc.GetDelta(), twin.records->GetDelta(), operatorCode});
        if (!result.ok())
            if (const auto named = LineNamedBy(result.errorMessage(), lineOf))
                result = bco::RemoteResult::failure(
                    QStringLiteral("Linha %1 do arquivo: %2").arg(named->first).arg(named->second));
        if (!result.ok() && (result.mayHaveRun() || !records.answered.empty())) {
            outcome.refusedKind = twin.kind;
            outcome.company = twin.records->FieldByName(u"CDEMPRESA").AsString();
            outcome.refusal = result.errorMessage();
            outcome.unsure = result.mayHaveRun();
            return outcome;
        }
        const bco::Variant answer = Consiste::CheckResultServ(result, true, 0);
        const bco::VariantList &packets = answer.array();
        entry.cdsResult.SetData(packets.at(0));
        entry.cdsLancContTemp.SetData(packets.at(1));
        entry.cdsRateio.SetData(packets.at(2));
        entry.cdsErrosTemp.SetData(packets.at(3));
        if (!entry.cdsErrosTemp.IsEmpty()) {
            outcome.refusedKind = twin.kind;
            outcome.company = twin.records->FieldByName(u"CDEMPRESA").AsString();
            return outcome;
        }
        *twin.written = twin.records->RecordCount();
        // The server names each entry it skipped in a result row "IGN".
        for (entry.cdsResult.First(); !entry.cdsResult.Eof(); entry.cdsResult.Next())
            if (entry.cdsResult.FieldByName(u"CDRESULT").AsString() == u"IGN")
                ++*twin.skipped;
        records.answered[twin.kind] = {*twin.written, *twin.skipped};
    }
    return outcome;
}

} // namespace Cli_bco11104
