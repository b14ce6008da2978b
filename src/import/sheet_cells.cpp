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
        byFirstRow.push_back(&merge);
    std::sort(byFirstRow.begin(), byFirstRow.end(),
              [](const Merge *a, const Merge *b) { return a->firstRow < b->firstRow; });
    // The merges over the row swept, by first column (merges do not overlap; where a damaged file makes
    // them, one of them counts), and when each ends.
    std::map<quint32, const Merge *> over;
    std::multimap<quint32, quint32> endings;
    size_t next = 0;
    size_t kept = 0;
    for (size_t i = 0; i < cells_.size(); ++i) {
        const quint32 row = cells_[i].row;
        const quint32 column = cells_[i].column;
        for (; next < byFirstRow.size() && byFirstRow[next]->firstRow <= row; ++next) {
            const Merge &merge = *byFirstRow[next];
            if (merge.lastRow >= row) {
                over[merge.firstColumn] = &merge;
                endings.emplace(merge.lastRow, merge.firstColumn);
            }
        }
        while (!endings.empty() && endings.begin()->first < row) {
            if (const auto ended = over.find(endings.begin()->second);
                ended != over.end() && ended->second->lastRow < row)
                over.erase(ended);
            endings.erase(endings.begin());
        }
        bool covered = false;
        if (auto found = over.upper_bound(column); found != over.begin()) {
            const Merge &merge = *std::prev(found)->second;
            covered = column <= merge.lastColumn && !(row == merge.firstRow && column == merge.firstColumn);
        }
        if (covered)
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
