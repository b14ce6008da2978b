#include "framework/text/decimal_rounding.h"

#include <charconv>
#include <cmath>

namespace bco {

std::optional<Decimal> RoundShortestDecimal(double value, int places, DecimalRounding rounding) {
    if (!std::isfinite(value))
        return std::nullopt;

    // Shortest round-trip text in scientific form: [-]d[.ddd]e(+|-)xx.
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view shortest(buffer, static_cast<size_t>(written.ptr - buffer));
    Decimal decimal;
    decimal.negative = shortest.front() == '-';
    const size_t exponentAt = shortest.find('e');
    for (size_t i = decimal.negative ? 1 : 0; i < exponentAt; ++i) {
        if (shortest[i] != '.')
            decimal.digits += shortest[i];
    }
    int exponent = 0;
    const std::string_view exponentText = shortest.substr(exponentAt + 1);
    std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                    exponentText.data() + exponentText.size(), exponent);

    // digits[i] weighs 10^(exponent - i); the last digit kept weighs 10^-places. Exponents of doubles stay
    // within a few hundred, so `keep` is computed without overflow for any `places` an int holds.
    const long long keep = static_cast<long long>(exponent) + places + 1;
    const long long count = static_cast<long long>(decimal.digits.size());
    if (keep >= count) {
        decimal.exponent = exponent - static_cast<int>(count - 1);
        return decimal;
    }
    const std::string rest = keep < 0 ? decimal.digits : decimal.digits.substr(static_cast<size_t>(keep));
    std::string kept = keep <= 0 ? std::string() : decimal.digits.substr(0, static_cast<size_t>(keep));
    const bool restNonZero = rest.find_first_not_of('0') != std::string::npos;
    bool increment = false;
    switch (rounding) {
    case DecimalRounding::HalfAwayFromZero:
        // The digit just below the last one kept decides; with keep < 0 that digit is a leading zero.
        increment = keep >= 0 && rest.front() >= '5';
        break;
    case DecimalRounding::Up:
        increment = !decimal.negative && restNonZero;
        break;
    case DecimalRounding::Down:
        increment = decimal.negative && restNonZero;
        break;
    }
    if (increment) {
        size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9')
            kept[--i] = '0';
        if (i == 0)
            kept.insert(kept.begin(), '1');
        else
            ++kept[i - 1];
    }
    decimal.digits = kept;
    decimal.exponent = -places;
    if (decimal.isZero())
        decimal.negative = false;
    return decimal;
}

} // namespace bco
