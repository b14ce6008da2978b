#pragma once

#include <optional>

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
    // Given by a merge over rows above it (SheetCells::fillMerges), not written in the row itself.
    bool fromMerge = false;
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
    // Cells merged into one, from (firstRow, firstColumn) to (lastRow, lastColumn), counted from 0, as the
    // readers find them; merges that run backwards are none. What the covered cells hold (a spreadsheet
    // program may keep their contents, hidden, under the merge) is not what the sheet shows.
    struct Merge {
        quint32 firstRow, firstColumn, lastRow, lastColumn;
    };
    void addMerge(const Merge &merge) { merges_.push_back(merge); }
    // Once the sheet is read: puts the cells in sheet order (those at one place in the order found) and drops
    // those a merge covers. Merges that overlap, which no spreadsheet program writes, are refused
    // (WorkbookError::damaged, naming them): which of them the sheet shows cannot be told.
    void hideCoveredCells();
    // Then, with the heading row known: the rows below a merge's first, past the heading row, that hold a
    // value of their own take its value in its first column, as the merged cell shows it beside each of them
    // (a date merged over a day's entries). A merge in the heading row stays a heading; a row holding nothing
    // of its own (a spacer under a merged date) stays empty; and `unfilledColumn` is not filled: one amount
    // beside several rows is one amount, not one for each. The cells are no longer in order. Gives the rows
    // so left without their `unfilledColumn` (those below a merge's first row that it covers there), in
    // order.
    std::vector<quint32> fillMerges(quint32 headingRow, std::optional<quint32> unfilledColumn);

    std::vector<PlacedCell> &cells() { return cells_; }
    DateSystem dateSystem = DateSystem::excel1900();

private:
    // Refuses merges that overlap, after dropping those written twice alike.
    void refuseOverlappingMerges();

    WorkbookLimits limits_;
    std::vector<PlacedCell> cells_;
    std::vector<Merge> merges_;
};

} // namespace bco
