#include "import/sheet_cells.h"

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

void SheetCells::fillMerges() {
    if (merges_.empty())
        return;
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
