#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include "server/ledger/statement_matching.h"
#include "server/storage/database.h"
#include "server/transport/method_registry.h"

// The bank statements of an account (EXTRATOBANC, MOVEXTRATO) and their reconciliation with its movements
// (MOVBANCARIO's IDSTCONEXT, CDSEQUEXBA, NRSEQMOVREBA).
namespace bco::server {

// A balance of a statement as the client sends it. `how`: 'I' stated by the file, 'C' worked out by the
// reader from the other balance and the lines, 'A' absent (then cents is 0 and date invalid).
struct ReceivedBalance {
    QChar how = u'A';
    qint64 cents = 0;
    QDate date;
};

struct ReceivedLine {
    QString bankId; // the bank's own id of the line: 1 to 255 characters, unique in the file
    QDate date;
    QChar kind;          // 'C' or 'D'
    qint64 cents = 0;    // not negative
    QString document;    // at most MaxDocument characters
    QString description; // cut to MaxDescription characters
    int fileLine = 0;
};

// A statement as the client read it from the bank's file: what the server stores once it has checked it.
struct ReceivedStatement {
    QChar format; // 'O' OFX, 'C' CNAB 240
    // The account as the file names it; every part empty when the file does not say.
    QString bank, agency, agencyCheck, accountNumber, accountCheck;
    QDate firstDay, lastDay;
    ReceivedBalance opening, closing;
    QString contentKey; // the file's content key: 64 hexadecimal digits
    QList<ReceivedLine> lines;
};

inline constexpr int MaxBankId = 255;
inline constexpr int MaxDocument = 40;
inline constexpr int MaxDescription = 400;
// The most cents a statement's lines may move its balance by, either way: a hundred lines of the largest
// amount the books hold. It keeps every sum of a statement's amounts far from overflowing.
inline constexpr qint64 MaxStatementNetCents = 100'000'000'000'000'000;

// Refuses, naming the line of the file, a statement that breaks a rule of its own: a format, content key,
// period or balance that is not one, a line outside the period, of another kind than C or D, with a negative
// amount, without a bank id or with one the file repeats, with a document longer than MaxDocument, or with a
// document or description that is not one line (a line break, a tab, another control character);
// lines that move the balance by more than MaxStatementNetCents; a balance worked out ('C') that is not the
// other balance less (or plus) the lines. Descriptions longer than MaxDescription are cut there (no bank
// writes that much: OFX's name and memo together hold less).
void checkStatement(const ReceivedStatement &statement);

// What storing a statement did.
struct StoredStatement {
    enum class Outcome {
        Stored,     // a new statement with the lines the account did not hold
        SameFile,   // the file was imported before: nothing stored; `statement` is the one it made
        NoNewLines, // every line is held already (an overlapping file): nothing stored
    };
    Outcome outcome = Outcome::Stored;
    QString statement; // CDSEQUEXBA: the new one, or the one of the same file; empty for NoNewLines
    int newLines = 0;
    int knownLines = 0; // lines of the file the account held already, in this or another statement
    QString message;    // what the operator reads
};

// Stores a checked statement in `account` (the caller checked the operator may use it), after refusing a
// file that names another account (bank, agency and number, digits only). The new statement takes the
// account's next number; its lines keep the file's order, numbered from 1. The account's row is held to the
// end of the call, so that two imports of one account never both find a line new.
StoredStatement storeStatement(CallContext &context, const QString &account,
                               const ReceivedStatement &statement);

// The first and last days a date can be on the wire and in the database: a day reckoned from another (the
// day before a statement, a window around its lines) may fall outside them, and is held within.
inline const QDate firstCalendarDay{1, 1, 1};
inline const QDate lastCalendarDay{9999, 12, 31};

// The account's balance in the books at the end of `day` (its opening balance plus every movement up to it;
// the opening balance alone for a day before the calendar). Refuses a balance past what an integer holds.
qint64 booksBalanceAtEndOf(Sql &sql, const QString &account, const QDate &day);

// The account's lines not reconciled: of one statement, or of all when `statement` is empty.
QList<OpenLine> openLines(Sql &sql, const QString &account, const QString &statement);

// The account's movements not reconciled, from `from` to `to`.
QList<OpenMovement> openMovements(Sql &sql, const QString &account, const QDate &from, const QDate &to);

// One movement tied to (or released from) one statement line, with the versions the operator saw.
struct Pairing {
    QString statement, line; // CDSEQUEXBA, NRSEQMOVREBA
    qint64 lineVersion = 0;  // the line's NRVERSAO
    QString movement;        // NRMOVBANC
    qint64 movementVersion = 0;
};

// The two writes of the reconciliation: tying movements to lines, and releasing them.
enum class PairingAction { Reconcile, Undo };

// Reconciles (or undoes the reconciliation of) the pairings of `account` in one go, all or nothing, and
// answers how many lines it reconciled (or released). Refuses, writing nothing: no pairing; a movement named
// twice; a movement or line the account does not hold, or whose version is not the one sent (someone wrote
// it since the operator saw it). To reconcile: a line or movement reconciled already, a movement of another
// kind than its line, movements whose values do not add up to their line's to the cent. To undo: a line not
// reconciled, or pairings that do not name every movement reconciled on their line. Movements are held
// before lines, each in the order of its key, as every writer of a movement holds them.
int applyPairings(CallContext &context, const QString &account, const QList<Pairing> &pairings,
                  PairingAction action);

} // namespace bco::server
