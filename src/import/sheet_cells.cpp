#include "import/sheet_cells.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "import/workbook_error.h"

namespace bco {

void SheetCells::add(quint32 row, quint32 column, WorkbookCell cell) {
    if (cell.kind() == CellKind::Empty && !cell.isEmptyFormula())
        return;
    if (row >= limits_.maxRows || column >= limits_.maxColumns ||
        static_cast<qsizetype>(cells_.size()) >= limits_.maxCells)
        throw WorkbookError::tooLarge();
    cells_.push_back({row, column, std::move(cell)});
}

void SheetCells::dropCoveredCells() {
    std::stable_sort(cells_.begin(), cells_.end(), [](const PlacedCell &a, const PlacedCell &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    std::vector<const Merge *> byFirstRow;
    byFirstRow.reserve(merges_.size());
    for (const Merge &merge : merges_)
        // Past the last column there are no cells to cover; a merge that runs backwards covers none.
        if (merge.firstColumn < limits_.maxColumns && merge.lastColumn >= merge.firstColumn &&
            merge.lastRow >= merge.firstRow)
            byFirstRow.push_back(&merge);
    std::sort(byFirstRow.begin(), byFirstRow.end(),
              [](const Merge *a, const Merge *b) { return a->firstRow < b->firstRow; });
    // How many merges over the row swept cover each column, as a Fenwick tree of differences: merges of a
    // damaged file may overlap, and one that covers a cell hides it whatever else starts there.
    std::vector<int> differences(static_cast<size_t>(limits_.maxColumns) + 2, 0);
    const auto addFrom = [&differences](quint32 column, int delta) {
        for (size_t i = static_cast<size_t>(column) + 1; i < differences.size(); i += i & (~i + 1))
            differences[i] += delta;
    };
    const auto covering = [&differences](quint32 column) {
        int count = 0;
        for (size_t i = static_cast<size_t>(column) + 1; i > 0; i -= i & (~i + 1))
            count += differences[i];
        return count;
    };
    const auto cover = [&](const Merge &merge, int delta) {
        addFrom(merge.firstColumn, delta);
        addFrom(std::min(merge.lastColumn, limits_.maxColumns - 1) + 1, -delta);
    };
    std::multimap<quint32, const Merge *> endings;       // by last row
    std::map<std::pair<quint32, quint32>, int> ownCells; // the merges' first cells, which they show
    size_t next = 0;
    size_t kept = 0;
    for (size_t i = 0; i < cells_.size(); ++i) {
        const quint32 row = cells_[i].row;
        const quint32 column = cells_[i].column;
        for (; next < byFirstRow.size() && byFirstRow[next]->firstRow <= row; ++next) {
            const Merge &merge = *byFirstRow[next];
            if (merge.lastRow < row)
                continue;
            cover(merge, 1);
            endings.emplace(merge.lastRow, &merge);
            ++ownCells[{merge.firstRow, merge.firstColumn}];
        }
        while (!endings.empty() && endings.begin()->first < row) {
            const Merge &merge = *endings.begin()->second;
            cover(merge, -1);
            if (const auto own = ownCells.find({merge.firstRow, merge.firstColumn}); --own->second == 0)
                ownCells.erase(own);
            endings.erase(endings.begin());
        }
        const auto own = ownCells.find({row, column});
        if (covering(column) > (own == ownCells.end() ? 0 : own->second))
            continue;
        if (kept != i)
            cells_[kept] = std::move(cells_[i]);
        ++kept;
    }
    cells_.erase(cells_.begin() + static_cast<std::ptrdiff_t>(kept), cells_.end());
}

void SheetCells::fillMerges() {
    if (merges_.empty())
        return;
    dropCoveredCells();
    // The value of each merge's first cell: the last one written at its place, as the table takes it.
    std::map<std::pair<quint32, quint32>, const WorkbookCell *> firsts;
    for (const Merge &merge : merges_)
        if (merge.lastRow > merge.firstRow)
            firsts.emplace(std::make_pair(merge.firstRow, merge.firstColumn), nullptr);
    for (const PlacedCell &placed : cells_)
        if (const auto found = firsts.find({placed.row, placed.column}); found != firsts.end())
            found->second = &placed.cell;
    std::vector<std::pair<Merge, WorkbookCell>> fills;
    for (const Merge &merge : merges_)
        if (const auto found = firsts.find({merge.firstRow, merge.firstColumn});
            found != firsts.end() && found->second != nullptr)
            fills.emplace_back(merge, *found->second);
    merges_.clear();
    for (const auto &[merge, value] : fills)
        for (quint32 row = merge.firstRow + 1; row <= merge.lastRow; ++row)
            add(row, merge.firstColumn, value);
}

} // namespace bco
