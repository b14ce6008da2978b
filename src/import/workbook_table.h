#pragma once

#include <vector>

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>

#include "import/cell_dates.h"
#include "import/sheet_cells.h"
#include "import/workbook_cell.h"
#include "import/workbook_error.h"

namespace bco {

enum class WorkbookFormat { Xls, Xlsx, Ods };

// Which rows and columns of a workbook to take.
struct WorkbookSelection {
    // The sheet, found by its name with letter case ignored (blanks count); the first of that name.
    QString sheet = QStringLiteral("Plan1");
    // The columns wanted, found by their heading in the heading row, in any order, letter case and blanks
    // around the heading ignored; two columns that share a heading are refused (WorkbookError::
    // repeatedHeading), since either could be the one meant. Every one must be there.
    QStringList headings;
    // A row whose cell under this heading is empty (no value, or blanks only) is skipped. Must be one of
    // the headings.
    QString keyHeading = QStringLiteral("Data");
    // A row whose key is a formula stored without its value (an empty text), in a sheet whose formulas hold
    // no other value, is refused as a formula left uncomputed when its cell under this heading holds a
    // value: the row is an entry. Without one it is a template's unused row (codes filled in ahead, the
    // date computed as empty until an amount is typed) and is skipped. A heading not among the headings
    // stands for every cell of the row.
    QString amountHeading = QStringLiteral("Valor");
    // A row whose key a merge over rows above it gives (a date merged over a day's block) and that holds no
    // amount of its own (nothing, or zero) is a template's unused row, skipped as a row without a key is,
    // only when nothing under these headings is its own either and no merge over rows covers its amount:
    // a description typed there is an entry whose amount is missing, and an amount merged beside two rows
    // is one row's; either row is kept, to be refused.
    QStringList entryHeadings;
};

// The rows of one sheet of a workbook that a selection takes, read whole when it is made.
//
// The format is found from the file's content, whatever its name ends in: Excel 97-2003 (.xls, BIFF8 in
// a compound file), Office Open XML (.xlsx) and OpenDocument (.ods). The heading row is the first row of
// the sheet that holds any value; every later row whose key cell is not empty is selected, in the order of
// the sheet (row number), rows out of order in the file being put back in order.
//
// Every failure throws WorkbookError with a message for the operator: a file that cannot be read, is not
// a workbook, is password-protected, of a format older than Excel 97, damaged or truncated, or beyond
// WorkbookLimits; a missing sheet (naming it); missing headings (naming each); a cell asked for as a date
// that holds none (naming its column and sheet row).
class WorkbookTable {
public:
    static WorkbookTable read(const QString &path, const WorkbookSelection &selection,
                              const WorkbookLimits &limits = {});
    static WorkbookTable fromBytes(QByteArrayView bytes, const WorkbookSelection &selection,
                                   const WorkbookLimits &limits = {});

    WorkbookFormat format() const { return format_; }
    int rowCount() const { return static_cast<int>(sheetRows_.size()); }
    // The selection's headings in its order: the column numbers that the accessors take.
    const QStringList &headings() const { return headings_; }
    // The column of a heading as the selection spelled it (letter case ignored); -1 when not selected.
    int column(QStringView heading) const;
    // The row's number in the sheet as the spreadsheet program shows it, counted from 1.
    int sheetRow(int row) const { return sheetRows_[static_cast<size_t>(row)]; }

    // The cell's raw value. Rows count from 0 among the selected rows; columns as headings() orders them.
    const WorkbookCell &cell(int row, int column) const;
    // The cell as text (WorkbookCell::toText).
    QString text(int row, int column) const { return cell(row, column).toText(); }
    // The cell as a date: a date cell's date; a number as a serial date of the workbook's date system
    // (1900 or 1904; the null date of an OpenDocument file); a text as dateFromText reads it. Anything
    // else (an empty cell, a boolean, another text) throws WorkbookError::notADate.
    QDate date(int row, int column) const;

    const DateSystem &dateSystem() const { return dateSystem_; }

private:
    WorkbookFormat format_ = WorkbookFormat::Xls;
    QStringList headings_;
    std::vector<int> sheetRows_;
    std::vector<WorkbookCell> cells_; // row by row, headings_.size() cells each
    DateSystem dateSystem_;

    friend class TableBuilder;
};

} // namespace bco
