#include "server/money.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace bco::server {

namespace {

constexpr double Limit = 1e13;

enum class Rounding { HalfAwayFromZero, Up, Down };

// The shortest decimal text of `value` in fixed notation ("1.005", "-0.001", "123"), split into whole cents
// and the digits beyond them.
struct Decimal {
    bool negative = false;
    qint64 cents = 0;         // magnitude, truncated to the cent
    bool restNonZero = false; // any digit beyond the cent
    bool restAtLeastHalf = false;
};

std::optional<Decimal> decimalOf(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= Limit)
        return std::nullopt;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return std::nullopt;
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    Decimal decimal;
    if (!text.empty() && text.front() == '-') {
        decimal.negative = true;
        text.remove_prefix(1);
    }
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    for (const char digit : whole)
        decimal.cents = decimal.cents * 10 + (digit - '0');
    for (size_t i = 0; i < 2; ++i)
        decimal.cents = decimal.cents * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    if (fraction.size() > 2) {
        decimal.restAtLeastHalf = fraction[2] >= '5';
        decimal.restNonZero = fraction.substr(2).find_first_not_of('0') != std::string_view::npos;
    }
    return decimal;
}

std::optional<qint64> round(double value, Rounding rounding) {
    const auto decimal = decimalOf(value);
    if (!decimal)
        return std::nullopt;
    qint64 magnitude = decimal->cents;
    switch (rounding) {
    case Rounding::HalfAwayFromZero:
        magnitude += decimal->restAtLeastHalf ? 1 : 0;
        break;
    case Rounding::Up: // towards +infinity: away from zero for positives, towards zero for negatives
        magnitude += (!decimal->negative && decimal->restNonZero) ? 1 : 0;
        break;
    case Rounding::Down:
        magnitude += (decimal->negative && decimal->restNonZero) ? 1 : 0;
        break;
    }
    return decimal->negative ? -magnitude : magnitude;
}

} // namespace

std::optional<qint64> centsFromAmount(double amount) {
    return round(amount, Rounding::HalfAwayFromZero);
}

std::optional<qint64> centsAtLeast(double bound) {
    return round(bound, Rounding::Up);
}

std::optional<qint64> centsAtMost(double bound) {
    return round(bound, Rounding::Down);
}

double amountFromCents(qint64 cents) {
    return static_cast<double>(cents) / 100.0;
}

} // namespace bco::server
