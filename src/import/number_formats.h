#pragma once

#include <cstdint>

#include <QStringView>

#include "import/cell_dates.h"
#include "import/workbook_cell.h"

namespace bco {

// What a number format shows a number as: the spreadsheet stores dates, times and percentages as numbers,
// and only the format tells.
enum class NumberShown : std::uint8_t { Number, Date, Time, ElapsedTime, Percentage };

// Built-in formats 14 to 17 and 22 show dates, 18 to 21, 45 and 47 times of day, 46 a time elapsed ("[h]"), 9
// and 10 percentages, unless the workbook redefines them with a code of its own.
NumberShown builtInFormatShows(int id);

// A format code shows a date when it has a day or year token, or a month token ("m") outside a time ("h:mm",
// "mm:ss" are minutes); else a time elapsed when it has an elapsed token ("[h]", "[mm]"), a time of day when
// it has an hour or second token; else a percentage when it has a "%": each anywhere in its first section
// (positive numbers) outside quoted text, brackets (colours, conditions, locales), escaped characters and the
// character after "_" or "*".
NumberShown formatCodeShows(QStringView code);

// The cell of a number in a format that shows it so: a date (when the number is one of `system`); a time or a
// percentage as the text it shows ("12:00:00" of 0.5 and of 1.5 as a time of day, "36:00:00" of 1.5 elapsed,
// "50%" of 0.5, which no amount or date takes for the fraction it holds); or the number.
WorkbookCell numberAsShown(double number, NumberShown shown, const DateSystem &system);

} // namespace bco
