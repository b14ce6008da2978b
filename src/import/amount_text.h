#pragma once

#include <optional>

#include <QStringView>

namespace bco {

// An amount typed as text in a workbook cell, in either convention: a decimal point ("1234.56",
// "1,234.56") or the Brazilian decimal comma ("1234,56", "1.234,56"). When both marks occur the last one is
// the decimal mark and the other separates thousands, in groups of three digits; a lone comma is the decimal
// mark; a lone point is the decimal mark too (a workbook's numbers written as text use it), unless it
// occurs more than once, when it, like several commas, separates thousands. Blanks (the no-break space
// too), a leading "+" or "-" and a leading "R$" are allowed. Anything else, an empty text among it, is not a
// number: nullopt.
std::optional<double> amountFromText(QStringView text);

} // namespace bco
