#pragma once

#include <optional>

#include <QDate>
#include <QList>
#include <QString>

#include "server/ledger/entry_kinds.h"
#include "server/storage/database.h"
#include "server/transport/method_registry.h"

namespace bco::server {

// An entry as stored: its bank movement and its credit or debit record, with what ties them to other
// business processes.
struct StoredEntry {
    const EntryKind *kind = nullptr;
    QString account, movement, number;
    qint64 version = 0; // NRVERSAO of the movement, raised by every write of the entry
    QString company;
    QDate date;
    qint64 cents = 0; // never negative: the kind gives the direction
    QString type;
    QString typeName; // as the type catalogue names it
    QString description;
    QString branch; // CDFILIAL
    QString costCentre;
    QString customer, supplier;
    QString accountingNumber;         // NRLANCCONT, empty when not accounted
    QString statement, statementLine; // the reconciliation (CDSEQUEXBA, NRSEQMOVREBA), empty when none
    QString origin;                   // NRMOVBANCORIG: the movement a reversal reverses
    QString loan;                     // NRSEQUENCIALEMP
    QString compensation;             // NRCOMPENSACAO
    QString cheque;                   // NRCHEQUE

    bool reconciled() const { return !statement.isEmpty() && !statementLine.isEmpty(); }
};

// The entry of `account` whose bank movement is `movement` and whose record of `kind` is `number`;
// nothing when the account holds no such pair. A call that goes on to write the entry reads it
// `forWriting`: PostgreSQL then holds its movement until the call ends, so that two calls on one entry (a
// change and a deletion) cannot both act on what the other is removing. Such a call takes the movement before
// it writes anything else of the entry (see the locks of migration 0007).
std::optional<StoredEntry> findEntry(Sql &sql, const EntryKind &kind, const QString &account,
                                     const QString &movement, const QString &number, bool forWriting = false);
// The same by the record's number alone, whatever its movement.
std::optional<StoredEntry> findEntryByNumber(Sql &sql, const EntryKind &kind, const QString &account,
                                             const QString &number, bool forWriting = false);

// What a writing call on an existing entry says of it: the version the client listed it at, and its date,
// value and name as the call sends them, for the message that refuses the call when the entry is gone.
struct ListedEntry {
    std::optional<qint64> version; // nullopt: the call carries none (an older client)
    QDate date;
    qint64 cents = 0;  // without sign
    QString reference; // how the message names the entry: "movimento 0000000012", "débito 0000000007"
};

// The version a call carries at `position` (ArgKind::Digits, which the call may leave out); nullopt when it
// carries none, as null or an empty text.
std::optional<qint64> listedVersion(const VariantList &args, size_t position);

// Refuses, when `listed` carries a version, a call on an entry that anyone deleted (`stored` empty) or wrote
// (another version) since the client listed it, naming the entry in words the operator knows: its date and
// value, with its description or with `listed.reference`. A call without a version passes. The caller read
// `stored` for writing, so that nothing changes it between this check and the call's writes.
void refuseIfWrittenSince(const std::optional<StoredEntry> &stored, const ListedEntry &listed);

// Whether the account held `number` in `table` (MOVBANCARIO, MOVCREDBANC or MOVDEBIBANC) and someone deleted
// it, as the deleted numbers the database keeps tell: a number never written was deleted by no one.
bool wasDeleted(Sql &sql, const QString &account, const char *table, const QString &number);

// An entry in words the operator knows, for messages: "de 15/03/2024, valor 1.234,56".
QString entryInWords(QDate date, qint64 cents);

// What a refusal says of an entry whose version moved since the client listed it ("foi gravado por outro
// operador depois que a lista foi carregada (...)"): every write of it raises the version, a change as
// much as a reconciliation, its undoing or a cheque, and the version does not tell which it was.
QString writtenSinceListed();

// What ties an entry to another process, which then owns it: the entry is changed or deleted through that
// process only. Each link has the catalogue key the forms refuse with (for a change and for a deletion)
// and a description naming the owner, so that the operator knows where to go.
struct EntryLink {
    enum class Kind {
        ReturnedInvoice,          // returned invoices settled by the entry
        Advance,                  // advances the entry used (no refusal: a deletion gives them back)
        DiscountedSlip,           // the credit of discounted receivable slips
        Loan,                     // a movement a loan or leasing generated
        Compensation,             // a movement of a compensation
        SharedReconciliation,     // reconciled together with other movements on one statement line
        ReconciledReversalOrigin, // a reversal whose origin movement is reconciled
    };
    Kind kind;
    QString description;
};

QList<EntryLink> linksOf(Sql &sql, const StoredEntry &entry);

// The catalogue key that refuses a change or a deletion of an entry with this link; empty when the link
// does not refuse it (a returned invoice refuses a change only).
QString refusalKey(EntryLink::Kind kind, bool deleting);

// The name of a link kind as it travels to the forms: DEVOLUCAO, BOLETO, EMPRESTIMO, COMPENSACAO,
// CONCILIACAO, ESTORNO.
QString linkCode(EntryLink::Kind kind);

// The kind of a stored kind letter (DEBCRED): "C" a credit, "D" a debit; refuses anything else.
const EntryKind &kindOfLetter(const QString &letter);

// The entry a call names, after refusing an account the operator may not use and an entry the account does
// not hold.
StoredEntry requireEntry(CallContext &context, const EntryKind &kind, const QString &account,
                         const QString &movement, const QString &number, bool forWriting = false);
// The same, read for writing, after refusing an entry written or deleted since the client listed it
// (refuseIfWrittenSince).
StoredEntry requireUnchangedEntry(CallContext &context, const EntryKind &kind, const QString &account,
                                  const QString &movement, const QString &number, const ListedEntry &listed);

// The first refusal of a change (or a deletion) of `entry` by what owns it: the result packet with its
// catalogue key and the owners of that kind as details; nothing when nothing refuses it.
std::optional<DataPacket> refusalByLinks(Sql &sql, const StoredEntry &entry, bool deleting);

// How many movements of the account other than `movement` (all of them when it is empty) are reconciled on a
// statement line.
qint64 sharedReconciliations(Sql &sql, const QString &account, const QString &statement, const QString &line,
                             const QString &movement);

} // namespace bco::server
