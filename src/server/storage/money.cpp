#include "server/storage/money.h"

#include <cmath>

#include "framework/text/decimal_rounding.h"

namespace bco::server {

namespace {

constexpr double Limit = 1e13;
constexpr qint64 LimitCents = 1'000'000'000'000'000;

// Amounts below Limit have at most 15 integer digits, so their cents fit a qint64 with room to spare.
std::optional<qint64> cents(double value, DecimalRounding rounding) {
    if (!std::isfinite(value) || std::fabs(value) >= Limit)
        return std::nullopt;
    const auto rounded = RoundShortestDecimal(value, 2, rounding);
    if (!rounded)
        return std::nullopt;
    qint64 magnitude = 0;
    for (const char digit : rounded->digits)
        magnitude = magnitude * 10 + (digit - '0');
    for (int exponent = rounded->exponent; exponent > -2; --exponent)
        magnitude *= 10;
    // 9999999999999.996 is below the limit and rounds onto it, past what NUMERIC(15,2) holds.
    if (magnitude >= LimitCents)
        return std::nullopt;
    return rounded->negative ? -magnitude : magnitude;
}

} // namespace

std::optional<qint64> centsFromAmount(double amount) {
    return cents(amount, DecimalRounding::HalfAwayFromZero);
}

bool pastLargestAmount(double amount) {
    return std::isfinite(amount) && !centsFromAmount(amount);
}

std::optional<qint64> centsAtLeast(double bound) {
    return cents(bound, DecimalRounding::Up);
}

std::optional<qint64> centsAtMost(double bound) {
    return cents(bound, DecimalRounding::Down);
}

double amountFromCents(qint64 cents) {
    return static_cast<double>(cents) / 100.0;
}

QString amountText(qint64 cents) {
    // Unsigned, so that the magnitude of the most negative number is representable too.
    const quint64 magnitude = cents < 0 ? 0 - static_cast<quint64>(cents) : static_cast<quint64>(cents);
    QString whole = QString::number(magnitude / 100);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, u'.');
    return (cents < 0 ? QStringLiteral("-") : QString()) + whole + u',' +
           QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

} // namespace bco::server
