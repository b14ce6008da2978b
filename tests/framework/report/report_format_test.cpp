#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>

#include "support/case_name.h"

#include "framework/report/report_document.h"

namespace bco {
namespace {

// What a report shows of a value through each format, in Brazil.
struct FormatCase {
    const char *name;
    QVariant value;
    ReportFormat format;
    const char *shown;
};

const FormatCase formatCases[] = {
    {"a date", QDate(2024, 3, 5), ReportFormat::Date, "05/03/2024"},
    {"a date from ISO text", QStringLiteral("2024-03-05"), ReportFormat::Date, "05/03/2024"},
    {"a date from ISO text with its time", QStringLiteral("2024-12-31T23:59:00"), ReportFormat::Date,
     "31/12/2024"},
    {"an impossible day as written", QStringLiteral("2024-02-30"), ReportFormat::Date, "2024-02-30"},
    {"a text that is no date as written", QStringLiteral("março"), ReportFormat::Date, "março"},
    {"money", 1234.5, ReportFormat::Money, "1.234,50"},
    {"negative money", -1234567.891, ReportFormat::Money, "-1.234.567,89"},
    {"money under a thousand", 999.99, ReportFormat::Money, "999,99"},
    {"a large amount", 98765432109.87, ReportFormat::Money, "98.765.432.109,87"},
    {"a hair under zero without a sign", -0.004, ReportFormat::Money, "0,00"},
    {"a cent under zero", -0.01, ReportFormat::Money, "-0,01"},
    {"money from a whole number", qlonglong{5}, ReportFormat::Money, "5,00"},
    {"money from text", QStringLiteral("12.5"), ReportFormat::Money, "12,50"},
    {"a whole number", qlonglong{1234567}, ReportFormat::Integer, "1.234.567"},
    {"a negative whole number", -1234.0, ReportFormat::Integer, "-1.234"},
    {"a whole number rounded", 2.5, ReportFormat::Integer, "3"},
    {"null money as nothing", QVariant(), ReportFormat::Money, ""},
    {"a null date as nothing", QVariant(), ReportFormat::Date, ""},
    {"text as it is", QStringLiteral("Tarifa 1.234"), ReportFormat::Text, "Tarifa 1.234"},
};

class ReportFormatShown : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ReportFormatShown, inBrazil) {
    const FormatCase &c = GetParam();
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    EXPECT_EQ(FormatReportValue(c.value, c.format, brazil), QString::fromUtf8(c.shown));
    EXPECT_EQ(ReportValueFormat(brazil)(c.value, c.format), QString::fromUtf8(c.shown));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportFormatShown, ::testing::ValuesIn(formatCases), CaseName());

// The shortcut a report takes for its every cell writes what the locale writes, in locales that group
// digits otherwise (by two after the first three, not below five digits), with other separators (a narrow
// space, an apostrophe) or other digits, for amounts of every length and the dates beyond four digits.
TEST(ReportValueFormat, WritesWhatTheLocaleWrites) {
    const QLocale locales[] = {
        QLocale(QLocale::Portuguese, QLocale::Brazil), QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::French, QLocale::France),     QLocale(QLocale::German, QLocale::Switzerland),
        QLocale(QLocale::Hindi, QLocale::India),       QLocale(QLocale::Spanish, QLocale::Spain),
        QLocale(QLocale::Arabic, QLocale::Egypt),      QLocale::c(),
    };
    QList<QVariant> values = {0.0,
                              -0.0,
                              0.005,
                              -0.005,
                              1e16,
                              -1e16,
                              1e300,
                              std::numeric_limits<double>::quiet_NaN(),
                              qlonglong{-7},
                              QDate(999, 1, 2),
                              QDate(10000, 1, 1),
                              QDate(2024, 2, 29),
                              QStringLiteral("0999-01-02"),
                              QStringLiteral("2024-13-01")};
    for (int digits = 0; digits < 15; ++digits) {
        const double amount = std::pow(10.0, digits) * 1.23456789;
        values << amount << -amount << std::floor(amount);
    }
    for (const QLocale &locale : locales) {
        const ReportValueFormat format(locale);
        for (const QVariant &value : values)
            for (const ReportFormat kind :
                 {ReportFormat::Date, ReportFormat::Money, ReportFormat::Integer, ReportFormat::Text})
                EXPECT_EQ(format(value, kind), FormatReportValue(value, kind, locale))
                    << locale.name().toStdString() << ' ' << value.toString().toStdString() << ' '
                    << static_cast<int>(kind);
    }
}

} // namespace
} // namespace bco
