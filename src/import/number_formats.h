#pragma once

#include <QStringView>

namespace bco {

// Whether a cell of this number format shows its number as a date (or a date and time): the spreadsheet
// stores a date as a number, and only its format tells. Built-in formats 14 to 22 and 45 to 47 do, unless
// the workbook redefines them with a code of its own.
bool isBuiltInDateFormat(int id);

// Whether a format code shows a date: it has a day or year token, or a month token ("m") outside a time
// ("h:mm", "mm:ss" are minutes), anywhere outside quoted text, brackets (colours, conditions, locales,
// elapsed time), escaped characters and the character after "_" or "*".
bool isDateFormatCode(QStringView code);

} // namespace bco
