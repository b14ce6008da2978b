#include <gtest/gtest.h>

#include <QString>

#include "import/amount_text.h"

namespace bco {
namespace {

using Outcome = AmountReading::Outcome;

struct AmountCase {
    const char *text;
    Outcome outcome;
    double amount;
    const char *asThousands = "";
    const char *asDecimals = "";
};

const AmountCase amountCases[] = {
    {"1234.56", Outcome::Amount, 1234.56},
    {"1234,56", Outcome::Amount, 1234.56},
    {"1.234,56", Outcome::Amount, 1234.56},
    {"1,234.56", Outcome::Amount, 1234.56},
    {"1.234.567,8", Outcome::Amount, 1234567.8},
    {"1,234,567", Outcome::Amount, 1234567.0},
    {"1.234.567", Outcome::Amount, 1234567.0},
    {"150,5", Outcome::Amount, 150.5},
    {"12,50", Outcome::Amount, 12.5},
    {"12.50", Outcome::Amount, 12.5},
    {"1234", Outcome::Amount, 1234.0},
    {" R$ 1.234,56 ", Outcome::Amount, 1234.56},
    {"-10,00", Outcome::Amount, -10.0},
    {"+3", Outcome::Amount, 3.0},
    {",5", Outcome::Amount, 0.5},
    {",500", Outcome::Amount, 0.5},
    {"0,500", Outcome::Amount, 0.5},
    {"12.", Outcome::Amount, 12.0},
    {"1 234,56", Outcome::Amount, 1234.56},
    {"1.234,500", Outcome::Amount, 1234.5},
    {"1234.567", Outcome::FractionOfACent, 0.0},
    {"12,3456", Outcome::FractionOfACent, 0.0},
    {"1.234.567,891", Outcome::FractionOfACent, 0.0},
    {"0,005", Outcome::FractionOfACent, 0.0},
    {"12.500", Outcome::Ambiguous, 0.0, "12.500,00", "12,50"},
    {"1.234", Outcome::Ambiguous, 0.0, "1.234,00", "1,23"},
    {"999.999", Outcome::Ambiguous, 0.0, "999.999,00", "1.000,00"},
    {"12,500", Outcome::Ambiguous, 0.0, "12.500,00", "12,50"},
    {"-R$ 100.000", Outcome::Ambiguous, 0.0, "-100.000,00", "-100,00"},
    {"-1,100", Outcome::Ambiguous, 0.0, "-1.100,00", "-1,10"},
    {"", Outcome::NotANumber, 0.0},
    {"abc", Outcome::NotANumber, 0.0},
    {"12,34,5", Outcome::NotANumber, 0.0},
    {"1.23,4", Outcome::NotANumber, 0.0},
    {"1,2.3,4", Outcome::NotANumber, 0.0},
    {"12a", Outcome::NotANumber, 0.0},
    {"--1", Outcome::NotANumber, 0.0},
    {",", Outcome::NotANumber, 0.0},
    {"1e3", Outcome::NotANumber, 0.0},
};

TEST(AmountText, ReadsEitherConventionAndTellsAnAmbiguousTextOrAFractionOfACentFromNoNumber) {
    for (const AmountCase &c : amountCases) {
        SCOPED_TRACE(c.text);
        const AmountReading read = readAmountText(QString::fromUtf8(c.text));
        ASSERT_EQ(read.outcome, c.outcome);
        if (read.outcome == Outcome::Amount) {
            EXPECT_DOUBLE_EQ(read.value, c.amount);
        }
        EXPECT_EQ(read.asThousands, QString::fromUtf8(c.asThousands));
        EXPECT_EQ(read.asDecimals, QString::fromUtf8(c.asDecimals));
        // What the message tells the operator to write instead must itself be read as an amount.
        for (const QString &suggested : {read.asThousands, read.asDecimals})
            if (!suggested.isEmpty()) {
                EXPECT_EQ(readAmountText(suggested).outcome, Outcome::Amount) << suggested.toStdString();
            }
    }
}

} // namespace
} // namespace bco
