#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include <QDate>
#include <QString>
#include <QStringList>

#include "framework/text/document_key.h"
#include "server/storage/database.h"

namespace bco::server {

// documentKey of the column `column`, for a statement's WHERE (the same text on SQLite and PostgreSQL).
QString documentKeyOf(const QString &column);

// Where an entry would repeat a movement an account holds already, compared as the forms compare before
// inserting the same entry twice: the same account, day and value (without its sign), with the same document
// (documentKey) and history (the history's first 40 characters, its outer blanks set aside), of the same kind
// (credit or debit) when one is asked for, else of either. What an account holds on a day is read once, the
// first time the day is asked about, so that many questions cost a statement per day instead of one each; the
// reading is what the caller's transaction sees.
class RepeatedMovements {
public:
    // Tells the stored movements (account, number) that are no repetition, such as an import's own.
    using Ignored = std::function<bool(const QString &account, const QString &movement)>;

    explicit RepeatedMovements(Sql &sql, Ignored ignored = {});

    // The number of the first stored movement (in the order of the numbers) that an entry of these values
    // repeats and no question before took, which this one takes; empty when there is none. A movement
    // stands for one entry, so that of two equal rows of a file meeting one stored movement the second is
    // no repetition. `document` and `history` are taken as the entry holds them; `kind`, 'C' or 'D', keeps
    // to movements of that kind (a reversal repeats no entry of the other kind), null to either.
    QString take(const QString &account, QDate date, qint64 cents, const QString &document,
                 const QString &history, QChar kind = QChar());

    // Reads at once the days of `account` among `dates` not read yet, so that a caller that knows its
    // questions beforehand pays a statement per DaysPerStatement days instead of one per day: on PostgreSQL,
    // checking a file of 60,000 entries read some 3,600 days, each a trip to the database.
    void readAhead(const QString &account, const std::set<QDate> &dates);

private:
    static constexpr int DaysPerStatement = 64;

    using Movement = std::tuple<char16_t, qint64, QString, QString>; // kind, value, document, history
    using Day = std::map<Movement, std::deque<QString>>; // the numbers of equal movements, in order

    Day read(const QString &account, QDate date) const;
    void keep(const QString &account, const SqlRow &row, Day &day) const;

    Sql &sql_;
    Ignored ignored_;
    std::map<std::pair<QString, QDate>, Day> days_;
};

// The movements of `account` that an entry of these values repeats (as getPesqMovBanc finds them, `own` the
// entry's own movement set aside) and that are not among `shown`, the movement numbers (comma-separated) the
// operator was asked about and confirmed the entry beside: each as "Movimento N". Another operator wrote them
// since the form asked; the caller holds the account's list version, so that no other comes until it ends.
QStringList repetitionsNotShown(Sql &sql, const QString &account, QDate date, qint64 cents,
                                const QString &document, const QString &history, const QString &shown,
                                const QString &own = QString());

} // namespace bco::server
