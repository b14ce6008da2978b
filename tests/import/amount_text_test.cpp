#include <gtest/gtest.h>

#include <QString>

#include "import/amount_text.h"

namespace bco {
namespace {

struct AmountCase {
    const char *text;
    std::optional<double> amount;
};

const AmountCase amountCases[] = {
    {"1234.56", 1234.56},
    {"1234,56", 1234.56},
    {"1.234,56", 1234.56},
    {"1,234.56", 1234.56},
    {"1.234.567,8", 1234567.8},
    {"1,234,567", 1234567.0},
    {"1.234.567", 1234567.0},
    {"1.234", 1.234},
    {"150,5", 150.5},
    {" R$ 1.234,56 ", 1234.56},
    {"-10,00", -10.0},
    {"+3", 3.0},
    {",5", 0.5},
    {"12.", 12.0},
    {"1 234,56", 1234.56},
    {"", std::nullopt},
    {"abc", std::nullopt},
    {"12,34,5", std::nullopt},
    {"1.23,4", std::nullopt},
    {"1,2.3,4", std::nullopt},
    {"12a", std::nullopt},
    {"--1", std::nullopt},
    {",", std::nullopt},
    {"1e3", std::nullopt},
};

TEST(AmountText, ReadsEitherConventionAndRefusesWhatIsNotANumber) {
    for (const AmountCase &c : amountCases) {
        SCOPED_TRACE(c.text);
        const std::optional<double> read = amountFromText(QString::fromUtf8(c.text));
        ASSERT_EQ(read.has_value(), c.amount.has_value());
        if (read) {
            EXPECT_DOUBLE_EQ(*read, *c.amount);
        }
    }
}

} // namespace
} // namespace bco
