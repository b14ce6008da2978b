#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace bco {

// A table as an operator sees it on a screen, to be handed to a spreadsheet: the titles of its columns and
// its rows, each cell a value: a double (an amount), an integer, a QDate, a text, or nothing (an invalid
// QVariant, an empty cell). Anything else is written as its text.
//
// Texts stay texts wherever they go: a text that a spreadsheet would take for a formula (one beginning
// with "=", "+", "-", "@", a tab or a carriage return) is never run. In a workbook a text cell is never
// a formula; in the delimited forms, which a spreadsheet reads by guessing, such a text is written behind
// an apostrophe ("'=1+1"), which spreadsheets show as text.
struct ExportedTable {
    QStringList titles;
    QList<QVariantList> rows;
};

// The table as an Office Open XML workbook (.xlsx) of one sheet named `sheet` (at most 31 characters, none
// of []:*?/\): the titles in bold on the first row, which stays in view; amounts as numbers shown with two
// decimals and a thousands separator, dates as dates shown as dd/mm/yyyy, texts as texts (line breaks
// kept; characters XML cannot carry left out). Throws std::runtime_error when libzip cannot make the
// archive (out of memory).
QByteArray writeXlsx(const ExportedTable &table, const QString &sheet);

// The table as delimited text in the form Brazilian spreadsheets open: UTF-8 with a byte-order mark,
// fields separated by semicolons, lines ended by CR LF, a field holding a semicolon, a quote or a line
// break between double quotes (quotes doubled); amounts with a decimal comma, two decimals and no
// thousands separator ("-1234,50"), dates dd/mm/yyyy.
QByteArray writeCsv(const ExportedTable &table);

// The table as a spreadsheet pastes it: the titles and the rows as text lines, fields separated by tabs
// and quoted as writeCsv quotes them (a field holding a tab, a quote or a line break), cells written as
// writeCsv writes them; and the same as an HTML table, which spreadsheets and word processors paste as a
// table.
QString tabSeparatedText(const ExportedTable &table);
QString htmlTable(const ExportedTable &table);

} // namespace bco
