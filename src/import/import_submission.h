#pragma once

#include <functional>
#include <optional>
#include <utility>

#include <QString>

#include "import/import_records.h"

namespace bco {
class NetConnection;
}

namespace Cli_bco11100 {
struct EntryKind;
}

namespace Cli_bco11104 {

// How a submission ended.
struct SubmissionOutcome {
    // Null when every record was written; else the kind whose call answered accounting errors, or was
    // refused after an earlier kind was written (the calls after it were not made), and the company of its
    // current record, for the accounting screen.
    const Cli_bco11100::EntryKind *refusedKind = nullptr;
    QString company;
    // Why the call of refusedKind failed, when it was not for accounting errors.
    QString refusal;
    // Whether that call may have written all the same: it failed with its answer unread (see
    // RemoteResult::unsure). Sent again, what it wrote is skipped as written before.
    bool unsure = false;
    // What the server answered for each call made: how many entries it wrote and skipped as written before.
    int credits = 0, debits = 0;
    // Of those, how many it skipped as written before (by an earlier call or by another import meanwhile).
    int skippedCredits = 0, skippedDebits = 0;

    bool imported() const { return refusedKind == nullptr; }
    // The refused kind as the messages name it: "créditos" or "débitos".
    QString refusedKindsName() const;
};

// The file's line of a movement the pass drew for an account (ImportPass::LineOfMovement), 0 for none.
using LineOfMovement = std::function<int(const QString &account, const QString &movement)>;

// A server's text that names an entry by the movement number the pass drew and its account ("Movimento
// 0000000035 da conta corrente 001: ..."), a number the operator never saw: the line of the file it came
// from and the rest of the text. Nothing when it names no movement the pass drew.
std::optional<std::pair<int, QString>> LineNamedBy(const QString &text, const LineOfMovement &lineOf);

// The submission of a clean pass's records: the credits in one call (setInsertImportCred) and then the
// debits in another (setInsertImportDeb), each with the change log of every pending movement and the
// operator's code; a kind without records makes no call, nor does a kind the server already wrote from this
// pass (records.answered), whose counts are taken from then. Each answer is loaded into cdsResult,
// cdsLancContTemp, cdsRateio and cdsErrosTemp; accounting errors stop the submission there. A failure of the
// first call that writes is shown through CheckResultServ and aborts (Consiste::EAbort): nothing was written;
// a failure of a later one is answered as its refusal, since the earlier kind is in the books, and so is any
// failure whose call may have written (SubmissionOutcome::unsure). Either names
// the entry by its line of the file (`lineOf`). `beforeCall` and `afterCall` run around each call (the form's
// wait animation); afterCall runs whatever happened.
SubmissionOutcome SubmitImport(bco::NetConnection &server, ImportRecords &records,
                               const QString &operatorCode, const LineOfMovement &lineOf,
                               const std::function<void()> &beforeCall = {},
                               const std::function<void()> &afterCall = {});

} // namespace Cli_bco11104
