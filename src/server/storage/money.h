#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

namespace bco::server {

// The one place where amounts change representation. Amounts travel as floating point with two decimals (the
// forms are built that way) and are stored as integer cents, so that sums and balances are exact.
//
// A double is rounded to the cent by the forms' own rule (RoundShortestDecimal: the digits the operator
// typed, 1.005 and not 1.00499999999999989...), half away from zero for an amount, up or down for the bounds
// of a range, so that the server stores exactly what a form shows. Amounts must be finite and below 10^13 in
// magnitude (NUMERIC(15,2)); others give nullopt.
std::optional<qint64> centsFromAmount(double amount);
// Whether `amount` is a finite number too large for centsFromAmount: its refusal names the limit.
bool pastLargestAmount(double amount);
// The least number of cents not below `bound`, and the greatest not above it: 99.999 -> 10000 and 100.001 ->
// 10000, so that a range of [99.999, 100.001] holds exactly 100.00.
std::optional<qint64> centsAtLeast(double bound);
std::optional<qint64> centsAtMost(double bound);

double amountFromCents(qint64 cents);

// An amount as a message shows it to the operator, in Brazilian notation, exact to the cent: 123456789 ->
// "1.234.567,89", -5 -> "-0,05".
QString amountText(qint64 cents);

} // namespace bco::server
