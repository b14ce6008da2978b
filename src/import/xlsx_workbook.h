#pragma once

#include <QString>

#include "import/sheet_cells.h"
#include "import/zip_archive.h"

namespace bco {

// Reads the cells of the worksheet named `sheet` (letter case ignored, the first of that name) from an
// Office Open XML workbook (.xlsx), with its date system: the sheet is found through the workbook part
// and its relationships; shared strings, inline strings, numbers, booleans, errors, ISO dates (t="d") and
// formulas' cached results; a number whose cell format (cellXfs, numFmts) shows a date becomes a date.
// Cells without a reference follow the one before.
//
// Throws WorkbookError: missingSheet, and damaged for a missing or malformed part.
void readXlsxSheet(const ZipArchive &archive, const QString &sheet, SheetCells &cells);

} // namespace bco
