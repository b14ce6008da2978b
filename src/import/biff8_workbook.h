#pragma once

#include <QByteArrayView>
#include <QString>

#include "import/sheet_cells.h"

namespace bco {

// Reads the cells of the worksheet named `sheet` (letter case ignored, the first of that name) from the
// workbook stream of an Excel 97-2003 file (BIFF8), with the workbook's date system: shared strings
// (split over CONTINUE records), labels, numbers, RK and MULRK numbers, formulas' cached results (number,
// text, boolean, error), booleans and errors; a number whose cell format shows a date becomes a date.
// Charts embedded in the sheet are passed over.
//
// Throws WorkbookError: encrypted for a FILEPASS record, oldFormat for a stream older than BIFF8,
// missingSheet, and damaged for any record that is truncated or points outside the stream.
void readBiff8Sheet(QByteArrayView stream, const QString &sheet, SheetCells &cells);

} // namespace bco
