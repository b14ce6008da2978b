#pragma once

#include <optional>
#include <stdexcept>

#include <QDate>
#include <QList>
#include <QString>

#include "framework/data/local_query.h"
#include "framework/remote/net_connection.h"
#include "statements/bank_statement.h"

// The statement methods of the application server as the client calls them: store a statement read from a
// bank's file, list the lines of the account that came from a file, reconcile the proposals the server
// decided. What the command-line import and the reconciliation screen share.
namespace bco {

// A call the server refused or could not answer; the message is the server's, as the operator reads it.
class StatementCallError : public std::runtime_error {
public:
    explicit StatementCallError(const QString &message)
        : std::runtime_error(message.toStdString())
        , message_(message) {}
    const QString &message() const { return message_; }

private:
    QString message_;
};

// An account of the operator's companies as CONTCORR registers it.
struct RegisteredAccount {
    QString code; // CDREDUCONT
    QString bank, agency, number;
    // The agency and the number as the operator reads them: through their bank's pictures.
    QString shownAgency, shownNumber;
    QString interbankBank; // the bank's code in the interbank standard (BANCO.CDBANCCNAB), which files carry
};

// The accounts of the operator's companies, in the order of their codes, read from the shared database.
QList<RegisteredAccount> operatorAccounts(const LocalQuery::ConnectionProvider &database,
                                          const QString &operatorCode);

// The codes of the accounts among `accounts` that the file names (StatementAccount::matches); none when the
// file does not name its account.
QStringList accountsNamedBy(const StatementAccount &named, const QList<RegisteredAccount> &accounts);

// What SetGravaExtrato answered.
struct StoreOutcome {
    enum class Situation { Stored, SameFile, NoNewLines };
    Situation situation = Situation::Stored;
    QString statement; // the statement stored, or the one the same file made; empty for NoNewLines
    int newLines = 0;
    int knownLines = 0;
    QString message;
};

// Stores the statement in `account` (SetGravaExtrato). Throws StatementCallError on a refusal.
StoreOutcome storeStatement(NetConnection &server, const QString &account, const BankStatement &statement);

// A line of a statement as the account holds it.
struct HeldLine {
    QString statement, line; // CDSEQUEXBA, NRSEQMOVREBA
    QString version;         // NRVERSAO, what a reconciliation sends back
    QString bankId;
    QDate date;
    QChar kind;
    qint64 cents = 0;
    QString document, description;
    int fileLine = 0; // in the file read, which may not be the one that stored the line
    bool reconciled = false;
    QString movements; // the movements reconciled on it, ", " between them
};

// The lines the account holds of the file read as `statement` (by the bank's id of each line, in whichever
// of the account's statements each was stored), in the order of the file. Throws StatementCallError.
QList<HeldLine> linesOfFile(NetConnection &server, const QString &account, const BankStatement &statement);

// What reconcileDecided did.
struct ReconcileOutcome {
    int lines = 0;   // lines reconciled
    QString refusal; // the server's last refusal when the reconciliation could not be written, else empty
    // Whether a call failed after it may have run (RemoteResult::mayHaveRun): it may have been written.
    bool unsure = false;
};

// Reconciles, in one SetConciliacao, the proposals the server decided (the one proposal of a line that may
// be reconciled without an operator) for the lines among `open` that are not reconciled, with the default
// window of days. Another operator may reconcile or change a line or movement between the proposals and the
// call, which the server then refuses whole: the proposals are asked again and the call made again, up to
// `attempts` times in all. Throws StatementCallError when the proposals cannot be listed.
ReconcileOutcome reconcileDecided(NetConnection &server, const QString &account, const QList<HeldLine> &open,
                                  int attempts = 3);

// The books' balance of the account at the end of `day` (getSaldoDia), in cents. Throws StatementCallError.
qint64 booksBalanceAt(NetConnection &server, const QString &account, const QDate &day);

} // namespace bco
