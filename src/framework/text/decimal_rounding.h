#pragma once

#include <optional>
#include <string>

namespace bco {

// How a decimal that falls between two numbers of the chosen places is brought to one of them.
enum class DecimalRounding {
    HalfAwayFromZero, // amounts: 1.005 -> 1.01, -1.005 -> -1.01
    Up,               // towards +infinity: the least number not below the value
    Down,             // towards -infinity: the greatest number not above it
};

// A decimal number: (-1 when negative) x digits x 10^exponent. `digits` holds decimal digits only and may
// be empty (zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool isZero() const { return digits.find_first_not_of('0') == std::string::npos; }
};

// The one rounding rule of the system, used by the forms (Consiste::RoundDec) and by the server where it
// stores amounts as cents. A double is read through its shortest decimal text, the digits the operator
// typed (1.005, not 1.00499999999999989...), and that decimal is rounded to `places` decimal places (a
// negative count rounds to tens, hundreds...). Answers nullopt for infinities and NaN. When the value
// already has no more places than asked, it comes back as written.
std::optional<Decimal> RoundShortestDecimal(double value, int places, DecimalRounding rounding);

} // namespace bco
