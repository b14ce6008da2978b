#pragma once

#include <QString>
#include <QStringView>

namespace bco {

// What the text of an amount cell holds, read once at the workbook's boundary.
struct AmountReading {
    enum class Outcome {
        Amount,     // `value` is the amount
        NotANumber, // nothing that reads as a number
        // One separator followed by exactly three digits ("12.500", "1,234"): thousands to a Brazilian
        // workbook, decimals to another. `asThousands` and `asDecimals` write both readings the Brazilian
        // way, to the cent ("12.500,00", "12,50"; "1,234": "1.234,00", "1,23"), for a message that tells the
        // operator how to write the one meant: each reads back as an Amount.
        Ambiguous,
        // Decimals past the cent that are not zeros ("12,3456", "0,005"): the books hold cents, and rounding
        // would write what the cell does not say.
        FractionOfACent,
    };
    Outcome outcome = Outcome::NotANumber;
    double value = 0.0;
    QString asThousands{}, asDecimals{};
};

// An amount typed as text in a workbook cell, in either convention: a decimal point ("1234.56",
// "1,234.56") or the Brazilian decimal comma ("1234,56", "1.234,56"). When both marks occur the last one is
// the decimal mark and the other separates thousands, in groups of three digits; several points or several
// commas separate thousands ("1.234.567"); a lone mark is the decimal mark ("12,50", "12.5"), unless three
// digits follow it and one to three digits (not a lone zero) lead it: "12.500" and "1,234" are Ambiguous.
// Blanks (the no-break space too), a leading "+" or "-" and a leading "R$" are allowed. Anything else, an
// empty text among it, is not a number. Decimals past the second must be zeros ("1.234,500").
AmountReading readAmountText(QStringView text);

} // namespace bco
