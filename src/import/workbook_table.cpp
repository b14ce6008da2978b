#include "import/workbook_table.h"

#include <algorithm>

#include <QFile>

#include "import/amount_text.h"
#include "import/biff8_workbook.h"
#include "import/compound_file.h"
#include "import/ods_workbook.h"
#include "import/xlsx_workbook.h"
#include "import/zip_archive.h"

namespace bco {

namespace {

// Headings compare with their blanks simplified, composed and case-folded, so that "DESCRIÇÃO " typed on any
// system finds "Descrição", and so does a heading wrapped in its cell or pasted with a no-break space.
QString headingKey(const QString &heading) {
    return heading.simplified().normalized(QString::NormalizationForm_C).toCaseFolded();
}

WorkbookFormat readSheet(QByteArrayView bytes, const QString &sheet, SheetCells &cells) {
    static constexpr char compoundFileSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (bytes.startsWith(QByteArrayView(compoundFileSignature, 8))) {
        const CompoundFile file(bytes);
        if (file.hasRootEntry(u"EncryptedPackage"))
            throw WorkbookError::encrypted(); // an .xlsx saved with a password
        auto stream = file.rootStream(u"Workbook");
        if (!stream)
            stream = file.rootStream(u"Book");
        if (!stream)
            throw WorkbookError::notAWorkbook();
        readBiff8Sheet(*stream, sheet, cells);
        return WorkbookFormat::Xls;
    }
    if (bytes.startsWith("PK")) {
        const ZipArchive archive(bytes, cells.limits().maxPartBytes);
        if (archive.contains(QStringLiteral("content.xml"))) {
            readOdsSheet(archive, sheet, cells);
            return WorkbookFormat::Ods;
        }
        if (archive.contains(QStringLiteral("_rels/.rels")) ||
            archive.contains(QStringLiteral("xl/workbook.xml"))) {
            readXlsxSheet(archive, sheet, cells);
            return WorkbookFormat::Xlsx;
        }
        throw WorkbookError::notAWorkbook();
    }
    // A workbook stream outside a compound file: what Excel 2 to 4 wrote, and a few tools still do.
    if (bytes.size() >= 4 && bytes[0] == '\x09' &&
        (bytes[1] == '\x00' || bytes[1] == '\x02' || bytes[1] == '\x04'))
        throw WorkbookError::oldFormat();
    if (bytes.startsWith("\x09\x08")) {
        readBiff8Sheet(bytes, sheet, cells);
        return WorkbookFormat::Xls;
    }
    throw WorkbookError::notAWorkbook();
}

} // namespace

// Turns the cells a format reader found into the selected rows.
class TableBuilder {
public:
    static WorkbookTable build(SheetCells &sheetCells, const WorkbookSelection &selection,
                               WorkbookFormat format) {
        sheetCells.hideCoveredCells();
        std::vector<PlacedCell> &cells = sheetCells.cells();
        putInSheetOrder(cells);
        // The heading row is the first that holds a value: formulas computed as empty texts above it hold
        // none.
        cells.erase(cells.begin(), std::find_if(cells.begin(), cells.end(), [](const PlacedCell &placed) {
                        return !placed.cell.isEmptyFormula();
                    }));

        WorkbookTable table;
        table.format_ = format;
        table.headings_ = selection.headings;
        table.dateSystem_ = sheetCells.dateSystem;

        const std::vector<quint32> columns = headingColumns(cells, selection);
        const int keyIndex = table.column(selection.keyHeading);
        const int amountIndex = table.column(selection.amountHeading);
        std::vector<quint32> rowsWithAmountAbove;
        if (!cells.empty()) {
            rowsWithAmountAbove = sheetCells.fillMerges(
                cells.front().row,
                amountIndex >= 0 ? std::optional(columns[static_cast<size_t>(amountIndex)]) : std::nullopt);
            putInSheetOrder(cells);
        }
        std::vector<int> entryIndexes;
        for (const QString &heading : selection.entryHeadings)
            if (const int index = table.column(heading); index >= 0)
                entryIndexes.push_back(index);
        const size_t width = columns.size();
        // Column -> place in the row; the other columns are not kept.
        constexpr size_t NotKept = static_cast<size_t>(-1);
        std::vector<size_t> slotOfColumn;
        for (size_t i = 0; i < width; ++i) {
            if (slotOfColumn.size() <= columns[i])
                slotOfColumn.resize(columns[i] + 1, NotKept);
            if (slotOfColumn[columns[i]] == NotKept)
                slotOfColumn[columns[i]] = i;
        }

        std::vector<WorkbookCell> row(width);
        // Which of the row's cells a merge over rows above gave it (SheetCells::fillMerges).
        std::vector<bool> fromMerge(width);
        auto it = cells.begin();
        if (it != cells.end()) {
            const quint32 headingRow = it->row;
            while (it != cells.end() && it->row == headingRow)
                ++it;
        }
        // Room for the rows taken, counted by their key cells, at once: growing a table of 600,000 cells step
        // by step moves each several times.
        if (keyIndex >= 0) {
            const quint32 keyColumn = columns[static_cast<size_t>(keyIndex)];
            const size_t rows =
                static_cast<size_t>(std::count_if(it, cells.end(), [keyColumn](const PlacedCell &cell) {
                    return cell.column == keyColumn && !cell.cell.isBlank();
                }));
            table.sheetRows_.reserve(rows);
            table.cells_.reserve(rows * width);
        }
        while (it != cells.end()) {
            const quint32 rowNumber = it->row;
            std::fill(row.begin(), row.end(), WorkbookCell());
            std::fill(fromMerge.begin(), fromMerge.end(), false);
            for (; it != cells.end() && it->row == rowNumber; ++it) {
                if (it->column < slotOfColumn.size() && slotOfColumn[it->column] != NotKept) {
                    const size_t slot = slotOfColumn[it->column];
                    row[slot] = std::move(it->cell);
                    fromMerge[slot] = it->fromMerge;
                }
            }
            const bool keyFromMerge = keyIndex >= 0 && fromMerge[static_cast<size_t>(keyIndex)];
            // A date merged over a day's block reaches the block's unused rows too: one under a merged date
            // without an amount (nothing, or zero) nor anything an entry has of its own is skipped as a
            // template's rows without a date are. An amount of any other kind (a text, an error) keeps the
            // row, to be refused.
            const auto holdsAnEntrysOwn = [&] {
                return std::any_of(entryIndexes.begin(), entryIndexes.end(),
                                   [&](int index) {
                                       const auto slot = static_cast<size_t>(index);
                                       return !row[slot].isBlank() && !fromMerge[slot];
                                   }) ||
                       std::binary_search(rowsWithAmountAbove.begin(), rowsWithAmountAbove.end(), rowNumber);
            };
            if (keyFromMerge && amountIndex >= 0 && isNoAmount(row[static_cast<size_t>(amountIndex)]) &&
                !holdsAnEntrysOwn())
                continue;
            if (keyIndex >= 0 && row[static_cast<size_t>(keyIndex)].isBlank()) {
                // A key computed as an empty text beside an amount is no row left out on purpose: skipped,
                // its entry would be lost without a word. The date's formula left it empty, or the sheet's
                // formulas were stored uncomputed. A template's unused rows hold no amount: nothing, zero,
                // or what reads as no amount (a truth, an error, a text of no number).
                const auto holdsValue = [](const WorkbookCell &cell) {
                    return !cell.isBlank();
                };
                const bool entry = amountIndex >= 0 ? holdsAmount(row[static_cast<size_t>(amountIndex)])
                                                    : std::any_of(row.begin(), row.end(), holdsValue);
                if (row[static_cast<size_t>(keyIndex)].isEmptyFormula() && entry)
                    throw WorkbookError::emptyDateFormula(rowNumber + 1,
                                                          columns[static_cast<size_t>(keyIndex)] + 1);
                continue;
            }
            table.sheetRows_.push_back(static_cast<int>(rowNumber) + 1);
            std::move(row.begin(), row.end(), std::back_inserter(table.cells_));
            row.assign(width, WorkbookCell());
        }
        return table;
    }

private:
    static bool isNoAmount(const WorkbookCell &cell) {
        return cell.isBlank() || cell.isEmptyFormula() ||
               (cell.kind() == CellKind::Number && cell.number() == 0.0);
    }

    static bool holdsAmount(const WorkbookCell &cell) {
        if (cell.kind() == CellKind::Number)
            return cell.number() != 0.0;
        if (cell.kind() != CellKind::Text || cell.isBlank())
            return false;
        const AmountReading reading = readAmountText(cell.textValue());
        switch (reading.outcome) {
        case AmountReading::Outcome::Amount:
            return reading.value != 0.0;
        case AmountReading::Outcome::NotANumber:
            return false;
        case AmountReading::Outcome::Ambiguous:
        case AmountReading::Outcome::FractionOfACent:
            return true;
        }
        return true;
    }

    // Writers put rows in order but need not; a later cell at the same place wins, as in the spreadsheet.
    static void putInSheetOrder(std::vector<PlacedCell> &cells) {
        const auto before = [](const PlacedCell &a, const PlacedCell &b) {
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        };
        if (std::adjacent_find(cells.begin(), cells.end(), [&](const PlacedCell &a, const PlacedCell &b) {
                return !before(a, b);
            }) == cells.end())
            return;
        std::stable_sort(cells.begin(), cells.end(), before);
        // Of cells at one place keep the last.
        std::vector<PlacedCell> unique;
        unique.reserve(cells.size());
        for (auto &cell : cells) {
            if (!unique.empty() && unique.back().row == cell.row && unique.back().column == cell.column)
                unique.back() = std::move(cell);
            else
                unique.push_back(std::move(cell));
        }
        cells = std::move(unique);
    }

    static std::vector<quint32> headingColumns(const std::vector<PlacedCell> &cells,
                                               const WorkbookSelection &selection) {
        std::vector<quint32> columns(static_cast<size_t>(selection.headings.size()));
        std::vector<bool> found(columns.size(), false);
        std::vector<QString> wanted;
        for (const QString &heading : selection.headings)
            wanted.push_back(headingKey(heading));
        for (auto it = cells.begin(); it != cells.end() && it->row == cells.front().row; ++it) {
            const QString key = headingKey(it->cell.toText());
            for (size_t i = 0; i < wanted.size(); ++i) {
                if (wanted[i] != key)
                    continue;
                if (found[i])
                    throw WorkbookError::repeatedHeading(selection.headings[static_cast<qsizetype>(i)],
                                                         columns[i], it->column, selection.sheet);
                columns[i] = it->column;
                found[i] = true;
            }
        }
        QStringList missing;
        for (size_t i = 0; i < found.size(); ++i)
            if (!found[i])
                missing.append(selection.headings[static_cast<qsizetype>(i)]);
        if (!missing.isEmpty())
            throw WorkbookError::missingHeadings(missing, selection.sheet);
        return columns;
    }
};

WorkbookTable WorkbookTable::read(const QString &path, const WorkbookSelection &selection,
                                  const WorkbookLimits &limits) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw WorkbookError::cannotRead(path);
    if (file.size() > limits.maxFileBytes)
        throw WorkbookError::tooLarge();
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw WorkbookError::cannotRead(path);
    return fromBytes(bytes, selection, limits);
}

WorkbookTable WorkbookTable::fromBytes(QByteArrayView bytes, const WorkbookSelection &selection,
                                       const WorkbookLimits &limits) {
    if (bytes.size() > limits.maxFileBytes)
        throw WorkbookError::tooLarge();
    SheetCells cells(limits);
    const WorkbookFormat format = readSheet(bytes, selection.sheet, cells);
    return TableBuilder::build(cells, selection, format);
}

int WorkbookTable::column(QStringView heading) const {
    for (qsizetype i = 0; i < headings_.size(); ++i)
        if (headings_[i].compare(heading, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

const WorkbookCell &WorkbookTable::cell(int row, int column) const {
    return cells_[static_cast<size_t>(row) * static_cast<size_t>(headings_.size()) +
                  static_cast<size_t>(column)];
}

QDate WorkbookTable::date(int row, int column) const {
    const WorkbookCell &value = cell(row, column);
    std::optional<QDate> date;
    switch (value.kind()) {
    case CellKind::Date:
        date = value.date();
        break;
    case CellKind::Number:
        date = dateFromSerial(value.number(), dateSystem_);
        break;
    case CellKind::Text:
        date = dateFromText(value.textValue());
        break;
    case CellKind::Empty:
    case CellKind::Boolean:
    case CellKind::Error:
        break;
    }
    if (!date)
        throw WorkbookError::notADate(headings_[column], sheetRow(row), value.toText());
    return *date;
}

} // namespace bco
