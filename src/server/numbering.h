#pragma once

#include <QString>

#include "server/database.h"

namespace bco::server {

// The numbered series of an account (table NUMERACAO).
enum class Series { BankMovement, Credit, Debit };

// Numbers are ten digits, zero-padded, so that their text orders as their value does.
inline constexpr qint64 LargestNumber = 9999999999LL;
QString formatNumber(qint64 number);

// Reserves `quantity` consecutive numbers of the series for the account and answers the first, inside the
// caller's (writing) transaction. The row of the series is incremented in one statement, which holds its
// lock until the transaction ends, so concurrent calls queue and never share a number, whatever server
// process they run in; a series met for the first time starts after the highest number the account already
// holds. Throws Refusal when the series
// would pass LargestNumber.
qint64 drawNumbers(Sql &sql, Series series, const QString &account, int quantity);

} // namespace bco::server
