#pragma once

#include <vector>

#include <QtGlobal>

#include "import/cell_dates.h"
#include "import/workbook_cell.h"

namespace bco {

// Bounds on what one workbook may make the reader hold, so that a hostile or broken file costs at most a
// few hundred megabytes and gives a clear error instead.
struct WorkbookLimits {
    qint64 maxFileBytes = 256LL * 1024 * 1024;
    // Uncompressed size of one part of a zipped workbook: what keeps a zip bomb out.
    qint64 maxPartBytes = 256LL * 1024 * 1024;
    // The largest sheets of the formats read: 1,048,576 rows by 16,384 columns.
    quint32 maxRows = 1u << 20;
    quint32 maxColumns = 1u << 14;
    // Cells holding a value; 65,536 rows of 30 columns fit.
    qsizetype maxCells = 2'000'000;
};

// A cell at its place in the sheet, rows and columns counted from 0.
struct PlacedCell {
    quint32 row;
    quint32 column;
    WorkbookCell cell;
};

// The cells of one sheet as a format reader found them, in the order it found them (a later cell at the
// same place replaces an earlier one), and the workbook's date system. Empty cells are not kept, but for
// formulas computed as an empty text (WorkbookCell::fromEmptyFormula).
class SheetCells {
public:
    explicit SheetCells(const WorkbookLimits &limits)
        : limits_(limits) {}

    const WorkbookLimits &limits() const { return limits_; }

    // Throws WorkbookError::tooLarge past the limits; an empty cell is dropped.
    void add(quint32 row, quint32 column, WorkbookCell cell);
    // Cells merged into one, from (firstRow, firstColumn) to (lastRow, lastColumn), counted from 0: once
    // the sheet is read, the rows below the first take its value in the first column, as the merged cell
    // shows it beside each of them (a date merged over a day's entries). The columns beside stay empty,
    // as the sheet shows them: their cells belong to other headings. What the covered cells hold (a
    // spreadsheet program may keep their contents, hidden, under the merge) is dropped: the sheet does not
    // show it.
    struct Merge {
        quint32 firstRow, firstColumn, lastRow, lastColumn;
    };
    void addMerge(const Merge &merge) { merges_.push_back(merge); }
    // Fills what addMerge named; the readers call it at the end of the sheet.
    void fillMerges();

    std::vector<PlacedCell> &cells() { return cells_; }
    DateSystem dateSystem = DateSystem::excel1900();

private:
    // Sorts the cells in sheet order (those at one place in the order found) and drops those a merge covers.
    void dropCoveredCells();

    WorkbookLimits limits_;
    std::vector<PlacedCell> cells_;
    std::vector<Merge> merges_;
};

} // namespace bco
