#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "support/qt_printers.h"

#include "import/sheet_export.h"
#include "import/workbook_table.h"

namespace bco {
namespace {

// One exported cell and what each reader finds in it: our own workbook reader (its kind's letter and its
// text), openpyxl ("type:value") and Python's csv module (the field's text).
struct ExportCase {
    const char *name;
    QVariant value;
    QString ours, openpyxl, csv;
};

const QString formula = QStringLiteral("=HYPERLINK(\"http://x\";\"abrir\")");

const ExportCase exportCases[] = {
    {"quotes stay inside the text", QStringLiteral("Diz \"olá\""), "T Diz \"olá\"", "str:Diz \"olá\"",
     "Diz \"olá\""},
    {"semicolons stay inside the field", QStringLiteral("a;b; c"), "T a;b; c", "str:a;b; c", "a;b; c"},
    {"accents survive", QStringLiteral("Padaria Pão Dourado - ção"), "T Padaria Pão Dourado - ção",
     "str:Padaria Pão Dourado - ção", "Padaria Pão Dourado - ção"},
    {"a line break stays in the cell", QStringLiteral("linha 1\nlinha 2"), "T linha 1\nlinha 2",
     "str:linha 1\nlinha 2", "linha 1\nlinha 2"},
    {"CR LF is one line break in the workbook", QStringLiteral("a\r\nb"), "T a\nb", "str:a\nb", "a\r\nb"},
    {"a formula is a text in the workbook and behind an apostrophe in the CSV", formula, "T " + formula,
     "str:" + formula, "'" + formula},
    {"a text beginning with a minus is not a subtraction", QStringLiteral("-desconto"), "T -desconto",
     "str:-desconto", "'-desconto"},
    {"a text beginning with a plus is not an addition", QStringLiteral("+55 11"), "T +55 11", "str:+55 11",
     "'+55 11"},
    {"a text beginning with an at sign is not a function", QStringLiteral("@SOMA(A1)"), "T @SOMA(A1)",
     "str:@SOMA(A1)", "'@SOMA(A1)"},
    {"characters XML cannot carry are left out of the workbook",
     QStringLiteral("a\x01"
                    "b"),
     "T ab", "str:ab",
     QStringLiteral("a\x01"
                    "b")},
    {"markup is a text", QStringLiteral("<b>&amp;</b>"), "T <b>&amp;</b>", "str:<b>&amp;</b>",
     "<b>&amp;</b>"},
    {"a negative amount is a number", -1234.5, "N -1234,5", "float:-1234.5", "-1234,50"},
    {"an amount has no thousands separator in the CSV", 1234567.89, "N 1234567,89", "float:1234567.89",
     "1234567,89"},
    {"an integer is a number", 42, "N 42", "int:42", "42"},
    {"a date is a date", QDate(2024, 3, 15), "D 15/03/2024", "datetime:2024-03-15", "15/03/2024"},
    {"a date of a leap day", QDate(2024, 2, 29), "D 29/02/2024", "datetime:2024-02-29", "29/02/2024"},
    // Spreadsheet programs read the serials of January and February 1900 a day apart, and none before 1900.
    {"a date before March 1900 is its text", QDate(1900, 2, 28), "T 28/02/1900", "str:28/02/1900",
     "28/02/1900"},
    {"a date before 1900 is its text", QDate(1899, 12, 31), "T 31/12/1899", "str:31/12/1899", "31/12/1899"},
    {"an empty cell stays empty", QVariant(), "E ", "None:", ""},
};

// A cell as the cases write what they expect of it.
QString described(const WorkbookCell &cell) {
    static const char letters[] = {'E', 'T', 'N', 'D', 'B', 'X'};
    return QChar(QLatin1Char(letters[static_cast<int>(cell.kind())])) + u' ' + cell.toText();
}

ExportedTable caseTable() {
    ExportedTable table{{QStringLiteral("Caso"), QStringLiteral("Descrição do valor")}, {}};
    for (const ExportCase &c : exportCases)
        table.rows.append({QString::fromUtf8(c.name), c.value});
    return table;
}

const QString sheetName = QStringLiteral("Lançamentos");

TEST(SheetExport, OurWorkbookReaderReadsEveryCellBack) {
    const QByteArray bytes = writeXlsx(caseTable(), sheetName);
    WorkbookSelection selection;
    selection.sheet = sheetName;
    selection.headings = QStringList{QStringLiteral("Caso"), QStringLiteral("Descrição do valor")};
    selection.keyHeading = QStringLiteral("Caso");
    const WorkbookTable read = WorkbookTable::fromBytes(bytes, selection);
    EXPECT_EQ(read.format(), WorkbookFormat::Xlsx);
    ASSERT_EQ(read.rowCount(), static_cast<int>(std::size(exportCases)));
    for (int row = 0; row < read.rowCount(); ++row) {
        const ExportCase &c = exportCases[row];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read.text(row, 0), QString::fromUtf8(c.name));
        EXPECT_EQ(read.sheetRow(row), row + 2);
        EXPECT_EQ(described(read.cell(row, 1)), c.ours);
    }
}

// openpyxl, a library that spreadsheet users rely on, and the csv module read the files as others will.
TEST(SheetExport, PythonReadsTheWorkbookAndTheCsvBack) {
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "no python3";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const ExportedTable table = caseTable();
    const QString xlsx = folder.filePath(QStringLiteral("lista.xlsx"));
    const QString csv = folder.filePath(QStringLiteral("lista.csv"));
    for (const auto &[path, bytes] :
         {std::pair{xlsx, writeXlsx(table, sheetName)}, std::pair{csv, writeCsv(table)}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(BCO_EXPORT_READER), xlsx, csv});
    ASSERT_TRUE(reader.waitForFinished(60'000));
    const QByteArray errors = reader.readAllStandardError();
    if (errors.contains("No module named 'openpyxl'"))
        GTEST_SKIP() << "no python3-openpyxl";
    ASSERT_EQ(reader.exitCode(), 0) << errors.toStdString();
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();

    EXPECT_EQ(read[u"sheet"].toString(), sheetName);
    const QJsonArray xlsxRows = read[u"xlsx"].toArray();
    const QJsonArray csvRows = read[u"csv"].toArray();
    ASSERT_EQ(xlsxRows.size(), qsizetype(std::size(exportCases)) + 1);
    ASSERT_EQ(csvRows.size(), qsizetype(std::size(exportCases)) + 1);
    EXPECT_EQ(xlsxRows[0].toArray().toVariantList(),
              (QVariantList{QStringLiteral("str:Caso"), QStringLiteral("str:Descrição do valor")}));
    EXPECT_EQ(csvRows[0].toArray().toVariantList(),
              (QVariantList{QStringLiteral("Caso"), QStringLiteral("Descrição do valor")}));
    for (qsizetype i = 0; i < qsizetype(std::size(exportCases)); ++i) {
        const ExportCase &c = exportCases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xlsxRows[i + 1].toArray()[1].toString(), c.openpyxl);
        EXPECT_EQ(csvRows[i + 1].toArray()[0].toString(), QString::fromUtf8(c.name));
        EXPECT_EQ(csvRows[i + 1].toArray()[1].toString(), c.csv);
    }
}

// What a paste finds: a tab or a line break inside a cell must not start another cell or row.
TEST(SheetExport, TheClipboardFormsKeepEachCellOneCell) {
    struct Case {
        const char *name;
        QVariantList row;
        QString tabbed, html;
    };
    const Case cases[] = {
        {"plain cells",
         {QStringLiteral("Tarifa"), -12.5, QDate(2024, 3, 1)},
         "Tarifa\t-12,50\t01/03/2024\n",
         "<tr><td>Tarifa</td><td>-12,50</td><td>01/03/2024</td></tr>"},
        {"a tab and a line break are quoted",
         {QStringLiteral("a\tb"), QStringLiteral("c\nd"), QVariant()},
         "\"a\tb\"\t\"c\nd\"\t\n",
         "<tr><td>a\tb</td><td>c<br>d</td><td></td></tr>"},
        {"quotes are doubled inside quotes only",
         {QStringLiteral("x\"y"), QStringLiteral("5\""), 1},
         "\"x\"\"y\"\t\"5\"\"\"\t1\n",
         "<tr><td>x&quot;y</td><td>5&quot;</td><td>1</td></tr>"},
        {"markup is escaped and a formula neutralised",
         {QStringLiteral("<i>"), QStringLiteral("=1+1"), 0.5},
         "<i>\t'=1+1\t0,50\n",
         "<tr><td>&lt;i&gt;</td><td>'=1+1</td><td>0,50</td></tr>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ExportedTable table{{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}, {c.row}};
        EXPECT_EQ(tabSeparatedText(table), "A\tB\tC\n" + c.tabbed);
        EXPECT_EQ(htmlTable(table),
                  "<table>\n<tr><th>A</th><th>B</th><th>C</th></tr>\n" + c.html + "\n</table>\n");
    }
}

} // namespace
} // namespace bco
