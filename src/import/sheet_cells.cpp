#include "import/sheet_cells.h"

#include "import/workbook_error.h"

namespace bco {

void SheetCells::add(quint32 row, quint32 column, WorkbookCell cell) {
    if (cell.kind() == CellKind::Empty)
        return;
    if (row >= limits_.maxRows || column >= limits_.maxColumns ||
        static_cast<qsizetype>(cells_.size()) >= limits_.maxCells)
        throw WorkbookError::tooLarge();
    cells_.push_back({row, column, std::move(cell)});
}

} // namespace bco
