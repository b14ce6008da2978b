#include <gtest/gtest.h>

#include "framework/text/typed_amount.h"

using namespace bco;

namespace {

struct TypedCase {
    const char *text;
    AmountTextState state;
    double value;
};

// As a Brazilian operator types amounts: comma decimals, point thousands.
const TypedCase typedCases[] = {
    {"1.234,56", AmountTextState::Complete, 1234.56},
    {"1234,56", AmountTextState::Complete, 1234.56},
    {"1.000,00", AmountTextState::Complete, 1000.0},
    {"12.345.678", AmountTextState::Complete, 12345678.0},
    {"1.234", AmountTextState::Complete, 1234.0},
    {"-1.234,5", AmountTextState::Complete, -1234.5},
    {",5", AmountTextState::Complete, 0.5},
    {"12,", AmountTextState::Complete, 12.0},
    {"0,50", AmountTextState::Complete, 0.5},
    {"", AmountTextState::Complete, 0.0},
    {"-", AmountTextState::Complete, 0.0},
    {"12.", AmountTextState::Partial, 0.0},
    {"12.5", AmountTextState::Partial, 0.0},
    {"1.234.5", AmountTextState::Partial, 0.0},
    {"12.50,", AmountTextState::Invalid, 0.0},
    {"1234.567", AmountTextState::Invalid, 0.0},
    {"0.500", AmountTextState::Invalid, 0.0},
    {".500", AmountTextState::Invalid, 0.0},
    {"1..234", AmountTextState::Invalid, 0.0},
    {"1.2345", AmountTextState::Invalid, 0.0},
    {"1,234.56", AmountTextState::Invalid, 0.0},
    {"1,2,3", AmountTextState::Invalid, 0.0},
    {"1-2", AmountTextState::Invalid, 0.0},
    {"R$ 5", AmountTextState::Invalid, 0.0},
    {" 5", AmountTextState::Invalid, 0.0},
};

TEST(TypedAmountTest, ReadsTheBrazilianNotationAndTellsWhatIsStillBeingTyped) {
    const AmountNotation brazil = AmountNotation::of(QLocale(QLocale::Portuguese, QLocale::Brazil));
    for (const TypedCase &c : typedCases) {
        SCOPED_TRACE(c.text);
        const TypedAmount read = ReadTypedAmount(QString::fromUtf8(c.text), brazil);
        EXPECT_EQ(read.state, c.state);
        if (read.complete()) {
            EXPECT_DOUBLE_EQ(read.value, c.value);
        }
    }
}

TEST(TypedAmountTest, CountsDigitsOnly) {
    const TypedAmount read =
        ReadTypedAmount(u"-12.345.678,9", AmountNotation::of(QLocale(QLocale::Portuguese, QLocale::Brazil)));
    EXPECT_EQ(read.integerDigits, 8);
    EXPECT_EQ(read.decimalDigits, 1);
    EXPECT_TRUE(read.negative);
}

} // namespace
