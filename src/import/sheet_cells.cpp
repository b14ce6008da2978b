#include "import/sheet_cells.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <tuple>

#include "import/workbook_error.h"

namespace bco {

void SheetCells::add(quint32 row, quint32 column, WorkbookCell cell) {
    if (cell.kind() == CellKind::Empty && !cell.isEmptyFormula())
        return;
    if (row >= limits_.maxRows || column >= limits_.maxColumns ||
        static_cast<qsizetype>(cells_.size()) >= limits_.maxCells)
        throw WorkbookError::tooLarge();
    cells_.push_back({row, column, std::move(cell), false});
}

void SheetCells::hideCoveredCells() {
    if (merges_.empty())
        return;
    refuseOverlappingMerges();
    std::stable_sort(cells_.begin(), cells_.end(), [](const PlacedCell &a, const PlacedCell &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    // The merges are apart from one another (refuseOverlappingMerges), so that a cell is covered by at most
    // one: the open merge over its row that starts at or before its column, found among the open ones by
    // first column.
    std::vector<const Merge *> byFirstRow;
    byFirstRow.reserve(merges_.size());
    for (const Merge &merge : merges_)
        byFirstRow.push_back(&merge);
    std::sort(byFirstRow.begin(), byFirstRow.end(),
              [](const Merge *a, const Merge *b) { return a->firstRow < b->firstRow; });
    std::map<quint32, const Merge *> open;         // over the row swept, by first column
    std::multimap<quint32, const Merge *> endings; // the same, by last row
    size_t next = 0;
    size_t kept = 0;
    for (size_t i = 0; i < cells_.size(); ++i) {
        const quint32 row = cells_[i].row;
        const quint32 column = cells_[i].column;
        // Those ended go first: a merge starting below one that ended may begin in its column.
        while (!endings.empty() && endings.begin()->first < row) {
            open.erase(endings.begin()->second->firstColumn);
            endings.erase(endings.begin());
        }
        for (; next < byFirstRow.size() && byFirstRow[next]->firstRow <= row; ++next) {
            const Merge &merge = *byFirstRow[next];
            if (merge.lastRow < row)
                continue;
            open.emplace(merge.firstColumn, &merge);
            endings.emplace(merge.lastRow, &merge);
        }
        // A merge shows its own first cell and hides the others it covers.
        if (const auto at = open.upper_bound(column); at != open.begin()) {
            const Merge &merge = *std::prev(at)->second;
            if (column <= merge.lastColumn && (row != merge.firstRow || column != merge.firstColumn))
                continue;
        }
        if (kept != i)
            cells_[kept] = std::move(cells_[i]);
        ++kept;
    }
    cells_.erase(cells_.begin() + static_cast<std::ptrdiff_t>(kept), cells_.end());
}

std::vector<quint32> SheetCells::fillMerges(quint32 headingRow, std::optional<quint32> unfilledColumn) {
    std::vector<quint32> unfilledRows;
    if (merges_.empty())
        return unfilledRows;
    // The rows that hold a value of their own, in order (the cells are in sheet order here).
    std::vector<quint32> rowsWithValues;
    for (const PlacedCell &placed : cells_)
        if (!placed.cell.isBlank() && (rowsWithValues.empty() || rowsWithValues.back() != placed.row))
            rowsWithValues.push_back(placed.row);
    // The value of each filling merge's first cell: the last one written at its place, as the table takes it.
    const auto fills = [&](const Merge &merge) {
        return merge.lastRow > merge.firstRow && merge.firstRow > headingRow &&
               merge.firstColumn != unfilledColumn.value_or(limits_.maxColumns) &&
               merge.lastColumn >= merge.firstColumn;
    };
    std::map<std::pair<quint32, quint32>, const WorkbookCell *> firsts;
    for (const Merge &merge : merges_)
        if (fills(merge))
            firsts.emplace(std::make_pair(merge.firstRow, merge.firstColumn), nullptr);
    for (const PlacedCell &placed : cells_)
        if (const auto found = firsts.find({placed.row, placed.column}); found != firsts.end())
            found->second = &placed.cell;
    const auto rowsBelowFirst = [&rowsWithValues](const Merge &merge, const auto &take) {
        for (auto row = std::upper_bound(rowsWithValues.begin(), rowsWithValues.end(), merge.firstRow);
             row != rowsWithValues.end() && *row <= merge.lastRow; ++row)
            take(*row);
    };
    for (const Merge &merge : merges_)
        if (unfilledColumn && merge.firstRow > headingRow && merge.firstColumn <= *unfilledColumn &&
            *unfilledColumn <= merge.lastColumn)
            rowsBelowFirst(merge, [&unfilledRows](quint32 row) { unfilledRows.push_back(row); });
    std::sort(unfilledRows.begin(), unfilledRows.end());
    unfilledRows.erase(std::unique(unfilledRows.begin(), unfilledRows.end()), unfilledRows.end());
    std::vector<std::pair<Merge, WorkbookCell>> values;
    for (const Merge &merge : merges_)
        if (const auto found = firsts.find({merge.firstRow, merge.firstColumn});
            fills(merge) && found != firsts.end() && found->second != nullptr)
            values.emplace_back(merge, *found->second);
    merges_.clear();
    for (const auto &filling : values)
        rowsBelowFirst(filling.first, [this, &filling](quint32 row) {
            add(row, filling.first.firstColumn, filling.second);
            cells_.back().fromMerge = true;
        });
    return unfilledRows;
}

void SheetCells::refuseOverlappingMerges() {
    const auto runsBackwards = [](const Merge &merge) {
        return merge.lastRow < merge.firstRow || merge.lastColumn < merge.firstColumn;
    };
    merges_.erase(std::remove_if(merges_.begin(), merges_.end(), runsBackwards), merges_.end());
    const auto key = [](const Merge &merge) {
        return std::tie(merge.firstRow, merge.firstColumn, merge.lastRow, merge.lastColumn);
    };
    std::sort(merges_.begin(), merges_.end(),
              [&](const Merge &a, const Merge &b) { return key(a) < key(b); });
    merges_.erase(std::unique(merges_.begin(), merges_.end(),
                              [&](const Merge &a, const Merge &b) { return key(a) == key(b); }),
                  merges_.end());
    const auto named = [](const Merge &merge) {
        return columnLetters(merge.firstColumn) + QString::number(qint64(merge.firstRow) + 1) + u':' +
               columnLetters(merge.lastColumn) + QString::number(qint64(merge.lastRow) + 1);
    };
    // The merges over the row reached, by first column: apart from one another while none overlaps.
    std::map<quint32, const Merge *> over;
    std::multimap<quint32, const Merge *> endings; // by last row
    for (const Merge &merge : merges_) {
        while (!endings.empty() && endings.begin()->first < merge.firstRow) {
            const Merge *ended = endings.begin()->second;
            if (const auto found = over.find(ended->firstColumn);
                found != over.end() && found->second == ended)
                over.erase(found);
            endings.erase(endings.begin());
        }
        const auto next = over.lower_bound(merge.firstColumn);
        const Merge *met = nullptr;
        if (next != over.end() && next->first <= merge.lastColumn)
            met = next->second;
        else if (next != over.begin() && std::prev(next)->second->lastColumn >= merge.firstColumn)
            met = std::prev(next)->second;
        if (met != nullptr)
            throw WorkbookError::damaged(
                QStringLiteral("as células mescladas %1 e %2 se sobrepõem").arg(named(*met), named(merge)));
        over[merge.firstColumn] = &merge;
        endings.emplace(merge.lastRow, &merge);
    }
}

} // namespace bco
