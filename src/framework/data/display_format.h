#pragma once

#include <optional>

#include <QLocale>
#include <QString>
#include <QStringView>

namespace bco {

// A number shown through a display format as the forms write them: "#,##0.00", "0.00", "#,##0",
// "#,##0.00;(#,##0.00);zero". Up to three sections separated by ';' serve positive, negative and zero values
// (a negative value shown through its own section gets no minus sign). In a section, '0' is a digit always
// shown, '#' a digit shown when significant, '.' the place of the decimal point and ',' anywhere in the
// integer part asks for thousands separators; text in single or double quotes, and anything else outside
// the digits, is shown as written. The separators come from the locale (pt-BR: "1.234,56").
//
// Rounding is half away from zero on the value's 15 significant decimal digits, so 2.675 (stored just
// below) shows as 2,68, as an operator reading the value expects. A value that rounds to zero is shown
// without a sign. An empty format shows the value with up to 15 significant digits and no separators.
QString FormatFloat(QStringView format, double value, const QLocale &locale);

// The decimal places a format shows a positive value with ("#,##0.00": 2, "#,##0": 0); none for an empty
// format, which shows every significant digit.
std::optional<int> FormatDecimals(QStringView format);

} // namespace bco
