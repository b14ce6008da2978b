#pragma once

#include <optional>

#include <QString>

#include "server/storage/database.h"

namespace bco::server {

// The numbered series (table NUMERACAO): an account's bank movements, credits and debits, and a company's
// accounting entries.
enum class Series { BankMovement, Credit, Debit, Accounting };

// Numbers are ten digits, zero-padded, so that their text orders as their value does. An accounting entry's
// number (NRLANCCONT) is its company's code followed by the ten digits.
inline constexpr qint64 LargestNumber = 9999999999LL;
QString formatNumber(qint64 number);

// Reserves `quantity` consecutive numbers of the series of `key` (the account, or the company for
// accounting entries) and answers the first, inside the caller's (writing) transaction. The row of the series
// is incremented in one statement, which holds its lock until the transaction ends, so concurrent calls queue
// and never share a number, whatever server process they run in; a series met for the first time starts
// after the highest number already held.
// Throws Refusal when the series would pass LargestNumber.
qint64 drawNumbers(Sql &sql, Series series, const QString &key, int quantity);

// The number the next drawNumbers of the series will answer first, without drawing it; the row of the series
// is locked for the rest of the transaction, as a draw locks it, so that nobody else draws it meanwhile.
qint64 nextNumber(Sql &sql, Series series, const QString &key);

// Whether `number` (ten digits) was answered by drawNumbers for `key`, in two steps for a caller that checks
// many numbers of one series: the last number the series of `key` drew (nullopt: it never drew one), and
// whether `number` is one of those up to `last`. A number no one drew cannot name a new record, so that a
// client cannot take a number from the future of the series.
std::optional<qint64> lastNumberDrawn(Sql &sql, Series series, const QString &key);
bool isDrawnNumber(const QString &number, std::optional<qint64> last);

// How many numbers of a series each operator's clients may draw in a day. A number drawn is never answered
// again, used or not, so a client that draws without writing (a runaway program, a hostile one) would use
// up an account's ten digits for good in a couple of minutes of the largest draws a call takes; a day's
// allowance puts that years away, and leaves an operator's busiest day (a 60,000-row workbook imported a
// hundred times over) well within it.
inline constexpr qint64 NumbersPerOperatorPerDay = 20'000'000;

// Takes `quantity` numbers of the series of `key` from the allowance of `operatorCode` on the database's
// day, inside the caller's (writing) transaction, or throws Refusal when they would pass it; the refusal
// rolls the count back with the call. Counted in the database (NUMEROPEDIDO), so that every server of it and
// every restart keep one count; its row is locked as the series' own, which draws of the series wait on
// anyway.
void takeFromDailyAllowance(Sql &sql, Series series, const QString &key, const QString &operatorCode,
                            qint64 quantity);

} // namespace bco::server
