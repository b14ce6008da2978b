#pragma once

#include <QLocale>
#include <QStringView>

namespace bco {

// An amount as an operator types it into a number edit, in the locale's notation: in pt-BR the decimal
// separator is the comma and the point separates thousands, so "1.234,56", "1234,56" and "1.234" (one
// thousand two hundred and thirty-four) are amounts, and so are ",5" and "12,". A leading minus is the
// only sign. When the integer part holds a thousands separator, its first group has one to three digits,
// not led by a zero ("0.500" is no amount: a point typed after a zero means a decimal that is not the
// locale's), and every later group exactly three; without one the digits stand alone. A text without any
// digit ("", "-", ",") reads as zero.
//
// A text is read as it stands while being typed: it is Complete (an amount), Partial (not yet an amount,
// but some more digits make it one: "1.23", whose last group lacks a digit, or "1."), or Invalid (no
// typing that goes on from it gives an amount: "1.2,5", "12.3456", "1,2.3", "1a"). A typed key that gives
// an Invalid text is refused; a Partial text is not an amount, so whatever reads it refuses it whole and
// never guesses (as "12.5" could be 12,5 or 12.500 typed halfway).
enum class AmountTextState { Invalid, Partial, Complete };

struct TypedAmount {
    AmountTextState state = AmountTextState::Invalid;
    int integerDigits = 0; // digits before the decimal separator (separators do not count)
    int decimalDigits = 0; // digits after it
    bool negative = false;
    double value = 0.0; // when Complete

    bool complete() const { return state == AmountTextState::Complete; }
};

// The two separators of a locale's notation; a locale without a single-character group separator has
// none (a null QChar), and its texts hold no groups.
struct AmountNotation {
    QChar decimal;
    QChar group;
    static AmountNotation of(const QLocale &locale);
};

TypedAmount ReadTypedAmount(QStringView text, const AmountNotation &notation);

} // namespace bco
