#pragma once

#include <QString>

#include "import/sheet_cells.h"
#include "import/zip_archive.h"

namespace bco {

// Reads the cells of the table named `sheet` (letter case ignored, the first of that name) from an
// OpenDocument spreadsheet (.ods, content.xml), with its null date: value types float, percentage,
// currency, date, boolean and string (the paragraphs of the cell, "\n" between them, text:s spaces
// counted); repeated rows and cells are repeated only when they hold a value, within the limits; covered
// cells take their place; annotations are not the cell's text. content.xml is read as it inflates and never
// held whole, but tells the same as when it was.
//
// Throws WorkbookError: encrypted when the manifest says content.xml is, missingSheet, damaged, tooLarge
// past the limits, notAWorkbook without content.xml.
void readOdsSheet(const ZipArchive &archive, const QString &sheet, SheetCells &cells);

} // namespace bco
