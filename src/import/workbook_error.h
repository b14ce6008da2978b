#pragma once

#include <stdexcept>

#include <QString>
#include <QStringList>

namespace bco {

// Why a workbook could not be read, in the words the operator reads (Brazilian Portuguese). Every failure
// of the workbook reader is one of these; what() holds the same text in UTF-8.
class WorkbookError : public std::runtime_error {
public:
    explicit WorkbookError(const QString &message);

    const QString &message() const { return message_; }

    static WorkbookError cannotRead(const QString &path);
    static WorkbookError notAWorkbook();
    static WorkbookError encrypted();
    static WorkbookError oldFormat();
    // `detail` says what was found broken, for whoever looks into the file.
    static WorkbookError damaged(const QString &detail);
    // Throws damaged(detail), for the binary readers' many checks of one line each.
    [[noreturn]] static void throwDamaged(const char *detail);
    static WorkbookError tooLarge();
    static WorkbookError missingSheet(const QString &sheet);
    // Two sheets whose names the sheet wanted matches (spreadsheet programs do not tell "PLAN1" from "Plan1",
    // and write no such pair): which the operator means cannot be told.
    static WorkbookError sheetNamedTwice(const QString &first, const QString &second);
    static WorkbookError missingHeadings(const QStringList &headings, const QString &sheet);
    // A heading the import reads written over two columns: taking either, the import would write values the
    // operator may not see (a hidden column) or did not mean. Columns count from 0.
    static WorkbookError repeatedHeading(const QString &heading, quint32 firstColumn, quint32 secondColumn,
                                         const QString &sheet);
    // `sheetRow` counts from 1, as the spreadsheet program shows it.
    static WorkbookError notADate(const QString &heading, int sheetRow, const QString &text);
    // A formula stored without the value it computes (a file written by a program that computes nothing):
    // read as empty, its row would be skipped or take another value. Row and column count from 1.
    static WorkbookError uncomputedFormula(quint32 sheetRow, quint32 column);
    // A row with an amount whose date is a formula computed as an empty text, or stored without what it
    // computes: skipped as a row without a date, its entry would be lost without a word.
    static WorkbookError emptyDateFormula(quint32 sheetRow, quint32 column);

private:
    QString message_;
};

} // namespace bco
