#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "framework/checks/consiste.h"
#include "framework/text/edit_mask.h"
#include "support/qt_printers.h"
#include "support/case_name.h"

using namespace bco;

namespace {

struct RoundCase {
    const char *name;
    double value;
    int places;
    double expected;
};

const RoundCase roundCases[] = {
    {"a half cent below in binary still rounds up", 1.005, 2, 1.01},
    {"another half cent below in binary", 2.675, 2, 2.68},
    {"a negative half rounds away from zero", -1.005, 2, -1.01},
    {"a negative half below in binary", -2.675, 2, -2.68},
    {"an exact binary half rounds up", 0.125, 2, 0.13},
    {"just under a half rounds down", 0.124999, 2, 0.12},
    {"a carry runs through every digit", 9.995, 2, 10.0},
    {"half a cent alone becomes a cent", 0.005, 2, 0.01},
    {"less than half a cent becomes zero", 0.0049, 2, 0.0},
    {"a sum with binary noise", 0.1 + 0.2, 2, 0.3},
    {"a large amount keeps its cents", 1234567.125, 2, 1234567.13},
    {"a half to whole units", 2.5, 0, 3.0},
    {"a negative half to whole units", -2.5, 0, -3.0},
    {"negative places round to tens", 15.0, -1, 20.0},
    {"fewer decimals than places stay", 1.1, 5, 1.1},
    {"a huge value stays", 1e300, 2, 1e300},
};

class RoundDecTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundDecTest, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    EXPECT_EQ(Consiste::RoundDec(GetParam().value, GetParam().places), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundDecTest, ::testing::ValuesIn(roundCases), CaseName());

TEST(RoundDecTest, NeverAnswersNegativeZeroAndPassesNonFiniteValues) {
    EXPECT_FALSE(std::signbit(Consiste::RoundDec(-0.004, 2)));
    EXPECT_TRUE(std::isnan(Consiste::RoundDec(std::numeric_limits<double>::quiet_NaN(), 2)));
    EXPECT_EQ(Consiste::RoundDec(-std::numeric_limits<double>::infinity(), 2),
              -std::numeric_limits<double>::infinity());
}

TEST(AjustaTest, BringsACodeToTheWidthOfItsField) {
    struct {
        QString text;
        int width;
        QString expected;
    } const cases[] = {
        {"1", 3, "001"},   {" 12 ", 4, "0012"}, {"", 3, ""},         {"   ", 3, ""},      {"123", 3, "123"},
        {"A1", 4, "00A1"}, {"0001", 3, "001"},  {"1234", 3, "1234"}, {"00012", 3, "012"}, {"12", 0, "12"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Consiste::Ajusta(c.text, c.width), c.expected) << c.text.toStdString() << " to " << c.width;
}

TEST(TextRoutinesTest, TrimAndReplace) {
    EXPECT_TRUE(Consiste::EmptyString(" \t "));
    EXPECT_FALSE(Consiste::EmptyString(" x "));
    EXPECT_EQ(Consiste::AllTrim("  a b  "), "a b");
    EXPECT_EQ(Consiste::Replace("'", "D'Ávila's", "''"), "D''Ávila''s");
    EXPECT_EQ(Consiste::Replace("a", "Aaa", "b", Consiste::ReplaceFirstOnly), "Aba");
    EXPECT_EQ(Consiste::Replace("a", "Aaa", "b", Consiste::ReplaceIgnoreCase), "bbb");
    EXPECT_EQ(Consiste::Replace("", "abc", "x"), "abc");
}

TEST(TaxNumberTest, StoresTheDigitsAndShowsThemThroughTheMaskOfTheirKind) {
    struct {
        QString typed, stored, kind, shown;
    } const cases[] = {
        {"12.345.678/0001-95", "12345678000195", "J", "12.345.678/0001-95"},
        {"12345678000195", "12345678000195", "J", "12.345.678/0001-95"},
        {"123.456.789-09", "12345678909", "F", "123.456.789-09"},
        {" 123 456 789 09 ", "12345678909", "F", "123.456.789-09"},
        {"1234", "1234", "", "1234"},
    };
    for (const auto &c : cases) {
        QString number = c.typed;
        const QString kind = Consiste::Ajusta_Inscricao(number);
        EXPECT_EQ(number, c.stored);
        EXPECT_EQ(kind, c.kind) << c.typed.toStdString();
        EXPECT_EQ(FormatMaskText(Consiste::PictPess(kind), number), c.shown);
    }
    EXPECT_EQ(Consiste::PictPess("j"), Consiste::PictPess("J"));
    EXPECT_EQ(Consiste::PictPess("X"), QString());
}

struct MaxNumberCase {
    const char *name;
    QString text;
    int intDigits, decDigits;
    char16_t key;
    int selStart, selLength;
    bool accepted;
};

// A Brazilian number edit: comma decimals, point groups.
const MaxNumberCase maxNumberCases[] = {
    {"a tenth integer digit is refused", "123456789", 9, 2, '1', 9, 0, false},
    {"a comma after nine integer digits passes", "123456789", 9, 2, ',', 9, 0, true},
    {"a third decimal is refused", "12,34", 9, 2, '5', 5, 0, false},
    {"a digit in the integer part with room passes", "12,34", 9, 2, '5', 0, 0, true},
    {"a second decimal passes", "12,3", 9, 2, '4', 4, 0, true},
    {"a digit replacing a selected digit passes", "123456789,12", 9, 2, '1', 8, 1, true},
    {"a digit replacing the comma joins the decimals to the integer part", "1234567,12", 9, 2, '1', 7, 1,
     false},
    {"a second comma is refused", "12,34", 9, 2, ',', 0, 0, false},
    {"a comma leaving three decimals behind is refused", "1234", 9, 2, ',', 1, 0, false},
    {"a comma replacing a selection passes", "1234", 9, 2, ',', 2, 2, true},
    {"a comma is refused without decimals", "12", 10, 0, ',', 2, 0, false},
    {"group points are not counted", "1.234.567,00", 9, 2, '8', 1, 0, true},
    {"a letter is refused", "12", 9, 2, 'a', 2, 0, false},
    {"a point separates the thousands", "12", 9, 2, '.', 2, 0, true},
    {"a point after four digits is refused", "1234", 9, 2, '.', 4, 0, false},
    {"a point among the decimals is refused", "12,3", 9, 2, '.', 4, 0, false},
    {"a point splitting a group is refused", "1.234", 9, 2, '.', 3, 0, false},
    {"a fourth digit in a group is refused", "1.234", 9, 2, '5', 5, 0, false},
    {"a comma after a short group is refused", "1.23", 9, 2, ',', 4, 0, false},
    {"a leading minus passes", "12", 9, 2, '-', 0, 0, true},
    {"a minus inside the number is refused", "12", 9, 2, '-', 1, 0, false},
    {"backspace passes on a full number", "123456789,12", 9, 2, 8, 12, 0, true},
    {"the paste shortcut passes", "123456789,12", 9, 2, 0x16, 0, 0, true},
    {"a caret beyond the text counts as its end", "123456789", 9, 2, '1', 50, 3, false},
};

class MaxNumberTest : public ::testing::TestWithParam<MaxNumberCase> {};

TEST_P(MaxNumberTest, RefusesAKeyThatExceedsTheDigits) {
    const MaxNumberCase &c = GetParam();
    EXPECT_EQ(Consiste::MaxNumber(c.text, c.intDigits, c.decDigits, QChar(c.key), c.selStart, c.selLength,
                                  QLocale(QLocale::Portuguese, QLocale::Brazil)),
              c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Keys, MaxNumberTest, ::testing::ValuesIn(maxNumberCases), CaseName());

TEST(MaxNumberTest, FollowsTheSeparatorsOfTheLocale) {
    const QLocale c(QLocale::C);
    EXPECT_TRUE(Consiste::MaxNumber("1234", 9, 2, QLatin1Char('.'), 4, 0, c));
    EXPECT_FALSE(Consiste::MaxNumber("1234", 9, 2, QLatin1Char(','), 4, 0, c));
    EXPECT_TRUE(Consiste::MaxNumber("1,234", 9, 2, QLatin1Char('.'), 5, 0, c));
}

TEST(DateTest, ReadsOnlyRealCalendarDates) {
    struct {
        QString text;
        QDate date;
    } const cases[] = {
        {"29/02/2024", QDate(2024, 2, 29)},
        {"1/2/2024", QDate(2024, 2, 1)},
        {" 05/03/2024 ", QDate(2024, 3, 5)},
        {"30/12/1899", QDate(1899, 12, 30)},
        {"31/02/2024", QDate()},
        {"29/02/2023", QDate()},
        {"00/01/2024", QDate()},
        {"01/13/2024", QDate()},
        {"01/02/24", QDate()},
        {"a1/02/2024", QDate()},
        {"01/02/2024/1", QDate()},
        {"  /  /    ", QDate()},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Consiste::TextToDate(c.text).value_or(QDate()), c.date) << c.text.toStdString();
        EXPECT_EQ(Consiste::IsDateValid(c.text), c.date.isValid()) << c.text.toStdString();
    }
    EXPECT_TRUE(Consiste::IsDateEmpty("  /  /    "));
    EXPECT_FALSE(Consiste::IsDateEmpty("1 /  /    "));
    EXPECT_EQ(Consiste::DateToText(QDate(2024, 3, 5)), "05/03/2024");
}

} // namespace
