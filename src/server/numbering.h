#pragma once

#include <QString>

#include "server/database.h"

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

// Whether `number` (ten digits) was answered by drawNumbers for `key`: a number no one drew cannot name a
// new record, so that a client cannot take a number from the future of the series.
bool wasDrawn(Sql &sql, Series series, const QString &key, const QString &number);

} // namespace bco::server
