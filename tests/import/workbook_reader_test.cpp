#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>

#include <zip.h>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "workbook_fixtures.h"

#include "import/cell_dates.h"
#include "import/sheet_cells.h"
#include "import/sheet_export.h"
#include "import/workbook_table.h"
#include "import/zip_archive.h"

namespace bco {
namespace {

using test::Format;

// A cell as the tests write what they expect of it: the kind's letter, then its text ("D 15/03/2024").
QString described(const WorkbookCell &cell) {
    static const char letters[] = {'E', 'T', 'N', 'D', 'B', 'X'};
    return QChar(QLatin1Char(letters[static_cast<int>(cell.kind())])) + u' ' + cell.toText();
}

QJsonObject options(const char *json) {
    return QJsonDocument::fromJson(json).object();
}

// --- What a sheet's rows and cells read as, in every format ----------------------------------------

struct SelectionCase {
    const char *name;
    const char *rows; // the writer's JSON
    QStringList headings;
    std::vector<QStringList> expected; // each selected row, its cells described in the headings' order
    std::vector<int> sheetRows;
    std::vector<Format> formats = {Format::Xls, Format::Xlsx, Format::Ods};
    const char *options = "{}";
};

const SelectionCase selectionCases[] = {
    {"headings are found in any order, letter case and blanks around them",
     R"([[" valor ", "DESCRIÇÃO", "Data ", "Conta Corrente"], [12.5, "Tarifa", {"date": "2024-03-15"}, "001"]])",
     {"Data", "Valor", "Descrição"},
     {{"D 15/03/2024", "N 12,5", "T Tarifa"}},
     {2}},
    {"a heading wrapped in its cell or holding a no-break space is the one it shows",
     R"([["Data", "Conta\nCorrente", "Valor\u00a0 "], [{"date": "2024-03-15"}, "001", 3]])",
     {"Data", "Conta Corrente", "Valor"},
     {{"D 15/03/2024", "T 001", "N 3"}},
     {2}},
    {"rows with an empty or blank Data cell are skipped and not numbered",
     R"([["Data", "Valor"], [{"date": "2024-03-01"}, 1], [null, 2], null, ["   ", 3],
         [{"date": "2024-03-04"}, 4]])",
     {"Data", "Valor"},
     {{"D 01/03/2024", "N 1"}, {"D 04/03/2024", "N 4"}},
     {2, 6}},
    {"the heading row is the first row holding a value",
     R"([null, null, ["Data", "Valor"], [{"date": "2024-03-15"}, 5]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 5"}},
     {4}},
    // Kept under the merge by a program that keeps a merged cell's hidden contents: not what the sheet shows.
    {"a merge over columns shows its first cell only, whatever the cells it covers keep hidden",
     R"([["Data", {"value": "Valor", "span": 2, "hidden": ["Valor"]}, "Descrição", "Documento"],
         [{"date": "2024-03-15"}, 10, 0, {"value": "Tarifa", "span": 2, "hidden": ["DOC99"]}]])",
     {"Data", "Valor", "Descrição", "Documento"},
     {{"D 15/03/2024", "N 10", "T Tarifa", "E "}},
     {2},
     {Format::Xls, Format::Xlsx}},
    {"merged cells keep the columns after them in place",
     R"([[{"value": "Observação", "span": 2}, "Data", "Valor"], ["a", "b", {"date": "2024-03-15"}, 7]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 7"}},
     {2}},
    // One amount shown beside two rows is one amount: the second row has none, and is refused as such.
    {"an amount merged over two rows is the first row's only",
     R"([["Data", "Valor", "Descrição"],
         [{"date": "2024-03-15"}, {"value": 100, "rows": 2}, "Primeira"],
         [{"date": "2024-03-15"}, null, "Segunda"]])",
     {"Data", "Valor", "Descrição"},
     {{"D 15/03/2024", "N 100", "T Primeira"}, {"D 15/03/2024", "E ", "T Segunda"}},
     {2, 3}},
    // A template's unused rows hold codes filled in ahead, or an amount computed as zero; an entry whose
    // amount was forgotten holds what only an entry has (a description), and is refused for its amount.
    {"a date merged over a day's block skips the block's rows that hold no amount nor an entry's own",
     R"([["Data", "Valor", "Descrição", "Tipo"],
         [{"value": {"date": "2024-03-15"}, "rows": 5}, 10, "Primeira", "0001"],
         [null, 20, "Segunda", "0001"],
         [null, 0, null, "0001"],
         [null, null, null, "0001"],
         [null, null, "Sem valor", "0001"]])",
     {"Data", "Valor", "Descrição", "Tipo"},
     {{"D 15/03/2024", "N 10", "T Primeira", "T 0001"},
      {"D 15/03/2024", "N 20", "T Segunda", "T 0001"},
      {"D 15/03/2024", "E ", "T Sem valor", "T 0001"}},
     {2, 3, 6}},
    // What a merge gives the rows below is no more theirs than the date: a party merged over the block.
    {"a description merged over a day's block is no unused row's own",
     R"([["Data", "Valor", "Descrição", "Tipo"],
         [{"value": {"date": "2024-03-15"}, "rows": 3}, 10, {"value": "Tarifas do dia", "rows": 3}, "0001"],
         [null, null, null, "0001"],
         [null, 0, null, "0001"]])",
     {"Data", "Valor", "Descrição", "Tipo"},
     {{"D 15/03/2024", "N 10", "T Tarifas do dia", "T 0001"}},
     {2}},
    {"an amount merged over two rows under a merged date is the first row's only",
     R"([["Data", "Valor", "Tipo"],
         [{"value": {"date": "2024-03-15"}, "rows": 2}, {"value": 100, "rows": 2}, "0001"],
         [null, null, "0001"]])",
     {"Data", "Valor", "Tipo"},
     {{"D 15/03/2024", "N 100", "T 0001"}, {"D 15/03/2024", "E ", "T 0001"}},
     {2, 3}},
    {"a cell merged over rows is each row's, in its own column only",
     R"([["Data", "Valor", "Descrição"],
         [{"value": {"date": "2024-03-15"}, "rows": 3}, 1, {"value": "Dia 15", "span": 2}],
         [null, 2, "Segunda"],
         [null, 3, "Terceira"],
         [{"date": "2024-03-16"}, 4, "Outro dia"]])",
     {"Data", "Valor", "Descrição"},
     {{"D 15/03/2024", "N 1", "T Dia 15"},
      {"D 15/03/2024", "N 2", "T Segunda"},
      {"D 15/03/2024", "N 3", "T Terceira"},
      {"D 16/03/2024", "N 4", "T Outro dia"}},
     {2, 3, 4, 5}},
    {"repeated rows and cells are each a row and a cell",
     R"([["Data", "Forma", "Tipo"],
         {"cells": [{"date": "2024-03-05"}, {"value": "C", "repeat": 2}], "repeat": 3},
         {"cells": [], "repeat": 1000000}])",
     {"Data", "Forma", "Tipo"},
     {{"D 05/03/2024", "T C", "T C"}, {"D 05/03/2024", "T C", "T C"}, {"D 05/03/2024", "T C", "T C"}},
     {2, 3, 4}},
    {"values keep their kind and read as text",
     R"([["Data", "Conta", "Valor", "Negativo", "Inteiro", "Grande", "Pequeno", "Sim", "Não"],
         [{"date": "2024-03-15"}, "001", 1234.5, -0.25, 100, 12345678901, 0.000001, {"bool": true},
          {"bool": false}]])",
     {"Data", "Conta", "Valor", "Negativo", "Inteiro", "Grande", "Pequeno", "Sim", "Não"},
     {{"D 15/03/2024", "T 001", "N 1234,5", "N -0,25", "N 100", "N 12345678901", "N 1E-06", "B VERDADEIRO",
       "B FALSO"}},
     {2}},
    {"a truth stored as LibreOffice stores it, a number shown as a truth",
     R"([["Data", "Sim", "Não"],
         [{"date": "2024-03-15"}, {"bool": true, "stored": "float"}, {"bool": false, "stored": "float"}]])",
     {"Data", "Sim", "Não"},
     {{"D 15/03/2024", "B VERDADEIRO", "B FALSO"}},
     {2},
     {Format::Ods}},
    {"formulas give their cached results",
     R"([["Data", "Soma", "Texto", "Teste"],
         [{"date": "2024-03-15"}, {"formula": "1+1", "value": 2}, {"formula": "\"a\"&\"b\"", "value": "ab"},
          {"formula": "1=1", "value": true}]])",
     {"Data", "Soma", "Texto", "Teste"},
     {{"D 15/03/2024", "N 2", "T ab", "B VERDADEIRO"}},
     {2}},
    // Excel stores ="" with an empty text as its result, and so do libraries for every formula they leave
    // uncomputed: rows holding nothing else, above the headings or below them, are no rows.
    {"formulas computed as empty texts make no row",
     R"([[{"formula": "\"\""}],
         ["Data", "Texto"],
         [{"date": "2024-03-15"}, "a"],
         [{"formula": "\"\""}, {"formula": "\"\""}]])",
     {"Data", "Texto"},
     {{"D 15/03/2024", "T a"}},
     {3},
     {Format::Xls}},
    // Where other formulas hold values, the empty text was computed: a template's unused rows.
    {"a date formula computed as an empty text beside computed values makes no row",
     R"([["Data", "Valor"],
         [{"date": "2024-03-15"}, {"formula": "2+3", "value": 5}],
         [{"formula": "\"\""}, {"formula": "0", "value": 0}]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 5"}},
     {2},
     {Format::Xls}},
    // A template whose date is computed from its amount: rows of codes filled in ahead are no entries.
    {"template rows without an amount whose date formula is computed as an empty text make no row",
     R"json([["Data", "Conta", "Valor"],
             [{"date": "2024-03-15"}, "001", 10],
             [{"formula": "IF(C3=\"\",\"\",DATE(2024,3,15))"}, "001", null]])json",
     {"Data", "Conta", "Valor"},
     {{"D 15/03/2024", "T 001", "N 10"}},
     {2},
     {Format::Xls}},
    // A template's unused rows compute their amount as what no amount is.
    {"template rows whose amount computes as a truth, an error or a zero text make no row",
     R"json([["Data", "Valor"],
             [{"date": "2024-03-15"}, 10],
             [{"formula": "\"\"", "value": ""}, {"formula": "1=2", "value": false}],
             [{"formula": "\"\"", "value": ""}, {"error": "#DIV/0!"}],
             [{"formula": "\"\"", "value": ""}, {"formula": "\"0,00\"", "value": "0,00"}]])json",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 10"}},
     {2},
     {Format::Xls, Format::Xlsx, Format::Ods}},
    // Shown as 50 %, the cell holds 0.5: an amount read from it would be neither.
    {"a percentage reads as shown",
     R"([["Data", "Valor"], [{"date": "2024-03-15"}, {"percent": 0.5}]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "T 50,00 %"}},
     {2},
     {Format::Ods}},
    {"a number in a format of percentages reads as shown",
     R"([["Data", "Valor", "Fração", "Seções", "Sinal"],
         [{"date": "2024-03-15"}, {"number": 0.5, "format": "0.00%"}, {"number": 0.125, "format": "0%"},
          {"number": 102.22, "format": "#,##0.00;(#,##0.00);0%"}, {"number": 7, "format": "0\\%"}]])",
     {"Data", "Valor", "Fração", "Seções", "Sinal"},
     {{"D 15/03/2024", "T 50%", "T 12,5%", "N 102,22", "N 7"}},
     {2},
     {Format::Xls, Format::Xlsx}},
    {"a workbook of the 1904 date system keeps its dates",
     R"([["Data"], [{"date": "2024-03-15"}], [{"date": "1904-01-02"}]])",
     {"Data"},
     {{"D 15/03/2024"}, {"D 02/01/1904"}},
     {2, 3},
     {Format::Xls, Format::Xlsx, Format::Ods},
     R"({"date1904": true})"},
    // Shown as 12:00, the cell holds 0.5: read as a number, an amount would take the fraction.
    // A date or a time past any calendar shows as #####: read as a number, an amount would take it.
    {"a number's format tells whether it is a date or a time",
     R"([["Data", "Hora", "Valor", "Minutos", "Horas", "Segundos", "Dia 60", "Depois", "Eras", "No dia"],
         [{"number": 45366, "format": "d-mmm-yy"}, {"number": 0.5, "format": "hh:mm"},
          {"number": 1.5, "format": "#,##0.00 \"dias\""}, {"number": 0.01, "format": "mm:ss"},
          {"number": 1.5, "format": "[h]:mm"}, {"number": 0.25, "format": "ss"},
          {"number": 60, "format": "dd/mm/yyyy"}, {"number": 2958466, "format": "dd/mm/yyyy"},
          {"number": 1e12, "format": "hh:mm"}, {"number": 45366.75, "format": "h:mm"}]])",
     {"Data", "Hora", "Valor", "Minutos", "Horas", "Segundos", "Dia 60", "Depois", "Eras", "No dia"},
     {{"D 15/03/2024", "T 12:00:00", "N 1,5", "T 00:14:24", "T 36:00:00", "T 06:00:00", "T #####", "T #####",
       "T #####", "T 18:00:00"}},
     {2},
     {Format::Xls, Format::Xlsx}},
    {"an error cell is an error of its code and keeps its row",
     R"([["Data", "Valor"], [{"error": "#REF!"}, {"error": "#DIV/0!"}]])",
     {"Data", "Valor"},
     {{"X #REF!", "X #DIV/0!"}},
     {2}},
    {"a workbook in 4096-byte sectors",
     R"([["Data", "Valor"], [{"date": "2024-03-15"}, 1]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 1"}},
     {2},
     {Format::Xls},
     R"({"xls": {"sector_size": 4096}})"},
    {"a small workbook in the mini stream",
     R"([["Data", "Valor"], [{"date": "2024-03-15"}, 1]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 1"}},
     {2},
     {Format::Xls},
     R"({"xls": {"mini_stream": true}})"},
    {"a compound file whose allocation table runs into DIFAT sectors",
     R"([["Data", "Valor"], [{"date": "2024-03-15"}, 1]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 1"}},
     {2},
     {Format::Xls},
     R"({"xls": {"padding_bytes": 8000000}})"},
    {"a sheet that claims to span the largest sheet there is",
     R"([["Data", "Valor"], [{"date": "2024-03-15"}, 1]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 1"}},
     {2},
     {Format::Xls},
     R"({"xls": {"dimensions": [65536, 256]}})"},
    {"a sheet that claims to span fewer cells than it holds",
     R"([["Data", "Valor"], [{"date": "2024-03-15"}, 1], [{"date": "2024-03-16"}, 2]])",
     {"Data", "Valor"},
     {{"D 15/03/2024", "N 1"}, {"D 16/03/2024", "N 2"}},
     {2, 3},
     {Format::Xls},
     R"({"xls": {"dimensions": [1, 1]}})"},
    {"inline strings and cells without references",
     R"([["Data", "Conta", null, "Valor"], [{"date": "2024-03-15"}, "001", null, 3]])",
     {"Data", "Conta", "Valor"},
     {{"D 15/03/2024", "T 001", "N 3"}},
     {2},
     {Format::Xlsx},
     R"({"xlsx": {"inline_strings": true, "omit_references": true}})"},
};

// --- Workbooks that cannot be read, or lack what the import needs ----------------------------------

const QString damagedPrefix = QStringLiteral("A pasta de trabalho está danificada ou incompleta");

struct FailureCase {
    const char *name;
    const char *rows;
    QString expected; // the whole message, or its beginning for a damaged file
    std::vector<Format> formats = {Format::Xls, Format::Xlsx, Format::Ods};
    QString sheet = QStringLiteral("Plan1");
    const char *options = "{}";
    // Changes the written file's bytes before it is read.
    std::function<void(QByteArray &)> damage = nullptr;
    WorkbookLimits limits = {};
};

const QString missingSheet = QStringLiteral("A planilha \"Plan1\" não foi encontrada na pasta de trabalho.");
const QString encrypted =
    QStringLiteral("A pasta de trabalho está protegida por senha. Salve-a sem senha e tente novamente.");

WorkbookLimits limitsWith(const std::function<void(WorkbookLimits &)> &change) {
    WorkbookLimits limits;
    change(limits);
    return limits;
}

// The stream xlwt writes starts in the first sector, right after the 512-byte header.
constexpr qsizetype XlwtStreamOffset = 512;

const QString emptyDateFormulaOnRow3 = QStringLiteral(
    "A linha 3 da planilha tem um valor, mas a data dela (coluna 1) é uma fórmula que não dá uma data: "
    "calcula "
    "um texto vazio, ou foi gravada sem o valor que calcula. Preencha a data dessa linha, ou apague o valor "
    "dela; se a planilha mostra a data, abra a pasta de trabalho num programa de planilhas e salve-a de novo "
    "antes de importá-la.");

const FailureCase failureCases[] = {
    {"a workbook without the sheet",
     R"([["Data", "Valor"]])",
     missingSheet,
     {Format::Xls, Format::Xlsx, Format::Ods},
     QStringLiteral("Dados")},
    // Spreadsheet programs write no such pair: only another program's file has it.
    {"two sheets whose names differ only in case",
     R"([["Data", "Valor", "Descrição"], [{"date": "2024-03-15"}, 1, "Folha certa"]])",
     QStringLiteral("A pasta de trabalho tem duas planilhas de mesmo nome, \"PLAN1\" e \"Plan1\" (os "
                    "programas de planilha não distinguem maiúsculas de minúsculas): renomeie uma delas."),
     {Format::Xlsx, Format::Ods},
     QStringLiteral("Plan1"),
     R"({"xlsx": {"exact_names": true}, "sheetsBefore": [{"name": "PLAN1", "rows": [["Data", "Valor", "Descrição"],
         [{"date": "2024-03-15"}, 999, "Folha errada"]]}]})"},
    {"a sheet without two headings", R"([["Data", "Forma", "Descricao"]])",
     QStringLiteral(
         "As colunas \"Valor\" e \"Descrição\" não foram encontradas na linha de títulos da planilha "
         "\"Plan1\".")},
    // Either column taken, the import would write values the operator may not see (a hidden one) or mean.
    {"a heading written over two columns, in another case the second time",
     R"([["Valor", "Data", " valor", "Descrição"], [9999, {"date": "2024-03-15"}, 1, "x"]])",
     QStringLiteral(
         "A coluna \"Valor\" aparece duas vezes na linha de títulos da planilha \"Plan1\" (colunas "
         "A e C). Deixe esse título em uma só delas e importe de novo.")},
    {"an empty sheet", R"([])",
     QStringLiteral(
         "As colunas \"Data\", \"Valor\" e \"Descrição\" não foram encontradas na linha de títulos da "
         "planilha \"Plan1\".")},
    {"a workbook cut in half",
     R"([["Data", "Valor", "Descrição"], [{"date": "2024-03-15"}, 1, "x"]])",
     damagedPrefix,
     {Format::Xls, Format::Xlsx, Format::Ods},
     QStringLiteral("Plan1"),
     "{}",
     [](QByteArray &bytes) {
         bytes.truncate(bytes.size() / 2);
     }},
    // Skipped as a row without a date, it would be lost without a word. An .xls that a program computing
    // nothing wrote stores the formula's value as an empty text; the other formats store none.
    {"a date formula left uncomputed beside the row's values",
     R"([["Data", "Valor", "Descrição"], [{"date": "2024-03-14"}, 1, "x"], [{"formula": "A2+1"}, 2, "y"]])",
     QStringLiteral("A célula da linha 3, coluna 1 da planilha tem uma fórmula gravada sem o valor que ela "
                    "calcula. Abra a pasta de trabalho num programa de planilhas e salve-a de novo antes de "
                    "importá-la."),
     {Format::Xlsx, Format::Ods}},
    {"a date formula left uncomputed beside the row's values, as an .xls stores it",
     R"([["Data", "Valor", "Descrição"], [{"date": "2024-03-14"}, 1, "x"], [{"formula": "A2+1"}, 2, "y"]])",
     emptyDateFormulaOnRow3,
     {Format::Xls}},
    // A sheet whose other formulas hold their values: the date's own formula left it empty, or blank.
    {"a date formula computed as an empty text in a row with an amount",
     R"json([["Data", "Valor", "Descrição"], [{"date": "2024-03-14"}, {"formula": "2+3", "value": 5}, "x"],
             [{"formula": "IF(1=1,\"\",1)", "value": ""}, 2, "y"]])json",
     emptyDateFormulaOnRow3},
    {"a date formula computed as blanks in a row with an amount",
     R"json([["Data", "Valor", "Descrição"], [{"date": "2024-03-14"}, {"formula": "2+3", "value": 5}, "x"],
             [{"formula": "IF(1=1,\" \",1)", "value": " "}, 2, "y"]])json",
     emptyDateFormulaOnRow3},
    {"a password-protected workbook",
     R"([["Data", "Valor", "Descrição"]])",
     encrypted,
     {Format::Xls},
     QStringLiteral("Plan1"),
     R"({"xls": {"filepass": true}})"},
    {"a workbook of Excel 95",
     R"([["Data", "Valor", "Descrição"]])",
     QStringLiteral(
         "A pasta de trabalho está em um formato do Excel anterior ao 97. Salve-a como Excel 97-2003 "
         "(.xls) e tente novamente."),
     {Format::Xls},
     QStringLiteral("Plan1"),
     "{}",
     [](QByteArray &bytes) {
         bytes[XlwtStreamOffset + 5] = '\x05';
     }},
    {"a sector chain that comes back to itself",
     R"([["Data", "Valor", "Descrição"]])",
     damagedPrefix,
     {Format::Xls},
     QStringLiteral("Plan1"),
     "{}",
     [](QByteArray &bytes) {
         // The first allocation table sector: its entry 0 (the stream's first sector) points at itself.
         quint32 fatSector;
         std::memcpy(&fatSector, bytes.constData() + 0x4C, 4);
         std::memset(bytes.data() + XlwtStreamOffset * (fatSector + 1), 0, 4);
     }},
    {"a part that inflates past the bound",
     R"([["Data", "Valor", "Descrição"]])",
     QStringLiteral("A pasta de trabalho é grande demais para ser importada. Divida-a em arquivos menores."),
     {Format::Xlsx, Format::Ods},
     QStringLiteral("Plan1"),
     "{}",
     nullptr,
     limitsWith([](WorkbookLimits &limits) { limits.maxPartBytes = 1000; })},
    {"a sheet with more cells than the bound",
     R"([["Data", "Valor", "Descrição"], [1, 2, 3], [4, 5, 6]])",
     QStringLiteral("A pasta de trabalho é grande demais para ser importada. Divida-a em arquivos menores."),
     {Format::Xls, Format::Xlsx, Format::Ods},
     QStringLiteral("Plan1"),
     "{}",
     nullptr,
     limitsWith([](WorkbookLimits &limits) { limits.maxCells = 5; })},
};

const QStringList failureHeadings = {"Data", "Valor", "Descrição"};

// --- The fixtures, written once for the suite ------------------------------------------------------

QString fixtureName(const char *caseName, Format format) {
    QString name;
    for (const char *c = caseName; *c; ++c)
        name += QChar::fromLatin1(std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
    return name + u'.' + QLatin1StringView(test::extensionOf(format));
}

test::WorkbookFixtures &fixtures() {
    static const std::unique_ptr<test::WorkbookFixtures> written = [] {
        auto fixtures = std::make_unique<test::WorkbookFixtures>(QStringLiteral(BCO_WORKBOOK_FIXTURES));
        const auto add = [&](const char *name, const char *rows, const std::vector<Format> &formats,
                             const QString &sheet, const char *json) {
            for (const Format format : formats)
                fixtures->add(
                    {fixtureName(name, format).section(u'.', 0, 0), format, rows, sheet, options(json)});
        };
        for (const SelectionCase &c : selectionCases)
            add(c.name, c.rows, c.formats, QStringLiteral("Plan1"), c.options);
        for (const FailureCase &c : failureCases)
            add(c.name, c.rows, c.formats, c.sheet, c.options);
        fixtures->write();
        return fixtures;
    }();
    return *written;
}

template <class Case, size_t N>
std::vector<std::tuple<const Case *, Format>> eachFormat(const Case (&cases)[N]) {
    std::vector<std::tuple<const Case *, Format>> all;
    for (const Case &c : cases)
        for (const Format format : c.formats)
            all.emplace_back(&c, format);
    return all;
}

template <class Case>
std::string caseName(const ::testing::TestParamInfo<std::tuple<const Case *, Format>> &info) {
    const auto &[c, format] = info.param;
    return fixtureName(c->name, format).replace(u'.', u'_').toStdString();
}

class SheetSelection : public ::testing::TestWithParam<std::tuple<const SelectionCase *, Format>> {};

TEST_P(SheetSelection, readsTheRowsAndCellsExpected) {
    const auto &[c, format] = GetParam();
    WorkbookSelection selection;
    selection.headings = c->headings;
    selection.entryHeadings = {QStringLiteral("Descrição")};
    const WorkbookTable table = WorkbookTable::read(fixtures().path(fixtureName(c->name, format)), selection);

    std::vector<QStringList> rows;
    std::vector<int> sheetRows;
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table.headings().size(); ++column)
            cells.append(described(table.cell(row, column)));
        rows.push_back(cells);
        sheetRows.push_back(table.sheetRow(row));
    }
    EXPECT_EQ(rows, c->expected);
    EXPECT_EQ(sheetRows, c->sheetRows);
}

INSTANTIATE_TEST_SUITE_P(Cases, SheetSelection, ::testing::ValuesIn(eachFormat(selectionCases)),
                         caseName<SelectionCase>);

class WorkbookFailure : public ::testing::TestWithParam<std::tuple<const FailureCase *, Format>> {};

TEST_P(WorkbookFailure, isToldInTheOperatorsWords) {
    const auto &[c, format] = GetParam();
    QFile file(fixtures().path(fixtureName(c->name, format)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    if (c->damage)
        c->damage(bytes);
    WorkbookSelection selection;
    selection.headings = failureHeadings;
    try {
        WorkbookTable::fromBytes(bytes, selection, c->limits);
        FAIL() << "the workbook was read";
    } catch (const WorkbookError &error) {
        if (c->expected == damagedPrefix)
            EXPECT_TRUE(error.message().startsWith(damagedPrefix)) << error.message().toStdString();
        else
            EXPECT_EQ(error.message(), c->expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkbookFailure, ::testing::ValuesIn(eachFormat(failureCases)),
                         caseName<FailureCase>);

// The parts zipped, each deflated, as a spreadsheet program would.
QByteArray zipped(const QList<std::pair<const char *, QByteArray>> &parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *memory = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (!memory)
        throw std::runtime_error("zip: no buffer");
    zip_source_keep(memory);
    const std::unique_ptr<zip_source_t, void (*)(zip_source_t *)> kept(memory, zip_source_free);
    zip_t *archive = zip_open_from_source(memory, ZIP_TRUNCATE, nullptr);
    if (!archive)
        throw std::runtime_error("zip: cannot open");
    for (const auto &[name, bytes] : parts) {
        zip_source_t *part =
            zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        if (!part || zip_file_add(archive, name, part, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(part);
            zip_discard(archive);
            throw std::runtime_error("zip: cannot add a part");
        }
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        throw std::runtime_error("zip: cannot close");
    }
    zip_stat_t stat;
    if (zip_source_stat(memory, &stat) < 0 || zip_source_open(memory) < 0)
        throw std::runtime_error("zip: cannot read back");
    QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_source_read(memory, bytes.data(), stat.size);
    zip_source_close(memory);
    if (read != static_cast<zip_int64_t>(stat.size))
        throw std::runtime_error("zip: cannot read back");
    return bytes;
}

// --- A sheet far longer than the pieces it is inflated in ------------------------------------------

// 3,000 rows of accented texts make a sheet part of several hundred kilobytes, so that elements, texts and
// characters of two bytes fall across the seams of the pieces the reader inflates.
ExportedTable longTable() {
    ExportedTable table;
    table.titles = {"Data", "Valor", "Descrição"};
    for (int i = 0; i < 3000; ++i)
        table.rows.append(QVariantList{QDate(2024, 1, 1).addDays(i % 365), i * 1.25,
                                       QStringLiteral("Lançamento nº %1 — ação €").arg(i)});
    return table;
}

// Flips the checksum that the local header and the central directory give the part.
void breakChecksum(QByteArray &bytes, const QByteArray &part) {
    for (qsizetype at = bytes.indexOf(part); at >= 0; at = bytes.indexOf(part, at + 1)) {
        if (at >= 30 && bytes.mid(at - 30, 4) == "PK\x03\x04")
            bytes[at - 30 + 14] = static_cast<char>(bytes[at - 30 + 14] ^ 0x55);
        if (at >= 46 && bytes.mid(at - 46, 4) == "PK\x01\x02")
            bytes[at - 46 + 16] = static_cast<char>(bytes[at - 46 + 16] ^ 0x55);
    }
}

const QByteArray badlyEncoded = "\xC3\x28"; // a two-byte sequence whose second byte is none
const QByteArray brokenXml = "<table:table table:name=\"Plan2\"><table:table-row></table:table>";
const QByteArray rowBomb =
    R"(<table:table-row table:number-rows-repeated="1048576">)"
    R"(<table:table-cell office:value-type="float" office:value="1"/></table:table-row>)";

const QString tooLarge =
    QStringLiteral("A pasta de trabalho é grande demais para ser importada. Divida-a em arquivos menores.");
const QString badlyEncodedContent = QStringLiteral("A pasta de trabalho está danificada ou incompleta (XML "
                                                   "inválido: Encountered incorrectly encoded content.).");

// Puts `bytes` in the description of the entry numbered `entry`, within the sheet.
std::function<void(QByteArray &)> inEntry(int entry, const QByteArray &bytes) {
    return [=](QByteArray &content) {
        const QByteArray text = "nº " + QByteArray::number(entry) + " ";
        content.replace(text, text + bytes);
    };
}

// Changes the sheet part of an .xlsx as it stands unzipped.
QByteArray withSheetChanged(const QByteArray &xlsx, const std::function<void(QByteArray &)> &change) {
    const ZipArchive archive(xlsx, WorkbookLimits().maxPartBytes);
    QList<std::pair<const char *, QByteArray>> parts;
    for (const char *name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml",
                             "xl/_rels/workbook.xml.rels", "xl/styles.xml", "xl/worksheets/sheet1.xml"})
        parts.append({name, *archive.read(QString::fromLatin1(name))});
    change(parts.back().second);
    return zipped(parts);
}

struct LongSheetCase {
    const char *name;
    bool brokenChecksum;
    qsizetype maxCells;
    QString expected;                                   // empty: the table reads whole
    std::function<void(QByteArray &)> change = nullptr; // of the sheet's XML
};

const QString brokenArchive = QStringLiteral(
    "A pasta de trabalho está danificada ou incompleta (arquivo compactado incompleto ou inválido).");

// What a formula stored without its value on the sheet's fifth row is told.
QString uncomputedFormulaIn(int column) {
    return QStringLiteral(
               "A célula da linha 5, coluna %1 da planilha tem uma fórmula gravada sem o valor que ela "
               "calcula. Abra a pasta de trabalho num programa de planilhas e salve-a de novo antes de "
               "importá-la.")
        .arg(column);
}

// Puts `cell` where entry 3's date is (the sheet's fifth row, first column).
std::function<void(QByteArray &)> instead5thDate(const char *cell) {
    return [cell](QByteArray &sheet) {
        const qsizetype from = sheet.indexOf("<c r=\"A5\"");
        sheet.replace(from, sheet.indexOf("</c>", from) + 4 - from, cell);
    };
}

const LongSheetCase longSheetCases[] = {
    {"reads every cell", false, 2'000'000, QString()},
    {"whose checksum fails is refused once read to its end", true, 2'000'000, brokenArchive},
    {"the archive's error comes before the cells' bound passed earlier in the part", true, 1000,
     brokenArchive},
    {"past the cells' bound", false, 1000,
     QStringLiteral("A pasta de trabalho é grande demais para ser importada. Divida-a em arquivos menores.")},
    {"that claims to span the largest sheet there is", false, 2'000'000, QString(),
     [](QByteArray &sheet) {
         sheet.replace("<sheetData>", "<dimension ref=\"A1:XFD1048576\"/><sheetData>");
     }},
    {"that claims to span fewer cells than it holds", false, 2'000'000, QString(),
     [](QByteArray &sheet) {
         sheet.replace("<sheetData>", "<dimension ref=\"B2:C3\"/><sheetData>");
     }},
    {"with a comment among its cells", false, 2'000'000, QString(),
     [](QByteArray &sheet) {
         sheet.replace("</sheetData>", "<!-- fim --></sheetData>");
     }},
    {"badly encoded text comes before the cells' bound passed earlier in the sheet", false, 1000,
     badlyEncodedContent, inEntry(2900, badlyEncoded)},
    // Entry 3 is on the sheet's fifth row, its description in the third column.
    {"a formula stored without its value (a program that computes nothing wrote it)", false, 2'000'000,
     uncomputedFormulaIn(3),
     [](QByteArray &sheet) {
         const qsizetype text = sheet.indexOf("nº 3 ");
         const qsizetype from = sheet.lastIndexOf("<is>", text);
         sheet.replace(from, sheet.indexOf("</is>", text) + 5 - from, "<f>CONCATENATE(\"a\",\"b\")</f>");
     }},
    {"a date formula stored with an empty value, as a library that computes nothing writes it", false,
     2'000'000, uncomputedFormulaIn(1), instead5thDate("<c r=\"A5\" s=\"1\"><f>A4+1</f><v></v></c>")},
    {"an error formula stored with an empty value", false, 2'000'000, uncomputedFormulaIn(1),
     instead5thDate("<c r=\"A5\" t=\"e\"><f>1/0</f><v></v></c>")},
    {"a formula stored with its value", false, 2'000'000, QString(),
     [](QByteArray &sheet) {
         const qsizetype at = sheet.indexOf("<is>", sheet.indexOf("nº 3 ") - 60);
         sheet.insert(at, "<f>CONCATENATE(\"a\",\"b\")</f>");
     }},
    {"cell references in small letters, the fifth row's cells out of order", false, 2'000'000, QString(),
     [](QByteArray &sheet) {
         for (const char *column : {"A", "B", "C"})
             sheet.replace(QByteArray("<c r=\"") + column, QByteArray("<c r=\"") + char(column[0] + 32));
         const qsizetype b = sheet.indexOf("<c r=\"b5\""), c = sheet.indexOf("<c r=\"c5\"");
         const qsizetype end = sheet.indexOf("</c>", c) + 4;
         const QByteArray second = sheet.mid(b, c - b), third = sheet.mid(c, end - c);
         sheet.replace(b, end - b, third + second);
     }},
    // Taken as missing, the reference would put the cell under the next column's heading.
    {"a cell reference that is none", false, 2'000'000,
     QStringLiteral("A pasta de trabalho está danificada ou incompleta (referência de célula inválida: 5A)."),
     instead5thDate("<c r=\"5A\" s=\"1\"><v>45366</v></c>")},
    {"an element of an undeclared prefix", false, 2'000'000,
     QStringLiteral(
         "A pasta de trabalho está danificada ou incompleta (XML inválido: Namespace prefix 'p' not "
         "declared)."),
     [](QByteArray &sheet) {
         sheet.replace("</sheetData>", "<p:x/></sheetData>");
     }},
};

class LongSheet : public ::testing::TestWithParam<LongSheetCase> {};

// A long sheet read from `bytes` under a limit of `maxCells`: the rows `table` wrote, or the failure
// `expected`.
void expectLongSheetRead(const QByteArray &bytes, const ExportedTable &table, qsizetype maxCells,
                         const QString &expected) {
    WorkbookSelection selection;
    selection.headings = table.titles;
    WorkbookLimits limits;
    limits.maxCells = maxCells;
    try {
        const WorkbookTable read = WorkbookTable::fromBytes(bytes, selection, limits);
        EXPECT_TRUE(expected.isEmpty());
        ASSERT_EQ(read.rowCount(), table.rows.size());
        for (int row = 0; row < read.rowCount(); ++row) {
            const QVariantList &written = table.rows[row];
            ASSERT_EQ(read.date(row, 0), written[0].toDate()) << row;
            ASSERT_EQ(read.cell(row, 1).number(), written[1].toDouble()) << row;
            ASSERT_EQ(read.text(row, 2), written[2].toString()) << row;
        }
    } catch (const WorkbookError &error) {
        EXPECT_EQ(error.message(), expected);
    }
}

TEST_P(LongSheet, readsAsWhenTheSheetWasInflatedWhole) {
    const LongSheetCase &c = GetParam();
    const ExportedTable table = longTable();
    QByteArray bytes = writeXlsx(table, QStringLiteral("Plan1"));
    if (c.change)
        bytes = withSheetChanged(bytes, c.change);
    if (c.brokenChecksum)
        breakChecksum(bytes, "xl/worksheets/sheet1.xml");
    expectLongSheetRead(bytes, table, c.maxCells, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LongSheet, ::testing::ValuesIn(longSheetCases), CaseName());

// --- An OpenDocument sheet far longer than the pieces it is inflated in --------------------------------

QByteArray odsCell(const ExportedTable &table, int row, int column) {
    const QVariant &value = table.rows[row][column];
    if (value.typeId() == QMetaType::QDate)
        return "<table:table-cell office:value-type=\"date\" office:date-value=\"" +
               value.toDate().toString(Qt::ISODate).toUtf8() + "\"><text:p>" +
               value.toDate().toString(u"dd/MM/yyyy").toUtf8() + "</text:p></table:table-cell>";
    if (value.typeId() == QMetaType::Double)
        return "<table:table-cell office:value-type=\"float\" office:value=\"" +
               QByteArray::number(value.toDouble()) + "\"><text:p>" + QByteArray::number(value.toDouble()) +
               "</text:p></table:table-cell>";
    return "<table:table-cell office:value-type=\"string\"><text:p>" + value.toString().toUtf8() +
           "</text:p></table:table-cell>";
}

// content.xml of one table, Plan1, holding the long table under its titles.
QByteArray odsContent(const ExportedTable &table) {
    QByteArray xml =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
        R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
        R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">)"
        R"(<office:body><office:spreadsheet><table:table table:name="Plan1"><table:table-row>)";
    for (const QString &title : table.titles)
        xml += "<table:table-cell office:value-type=\"string\"><text:p>" + title.toUtf8() +
               "</text:p></table:table-cell>";
    xml += "</table:table-row>\n";
    for (int row = 0; row < table.rows.size(); ++row) {
        xml += "<table:table-row>";
        for (int column = 0; column < table.titles.size(); ++column)
            xml += odsCell(table, row, column);
        xml += "</table:table-row>\n";
    }
    return xml + "</table:table></office:spreadsheet></office:body></office:document-content>";
}

const QByteArray odsManifest =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
    R"(<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>)"
    R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>)"
    R"(</manifest:manifest>)";

// Puts `xml` after the table, where another sheet would be.
std::function<void(QByteArray &)> afterTheSheet(const QByteArray &xml) {
    return [xml](QByteArray &content) {
        content.replace("</table:table></office:spreadsheet>",
                        "</table:table>" + xml + "</office:spreadsheet>");
    };
}

// Puts `xml` at the end of the table, after the entries.
std::function<void(QByteArray &)> atTheSheetsEnd(const QByteArray &xml) {
    return [xml](QByteArray &content) {
        content.replace("</table:table></office:spreadsheet>", xml + "</table:table></office:spreadsheet>");
    };
}

struct LongOdsCase {
    const char *name;
    std::function<void(QByteArray &)> change; // of content.xml
    QString expected;                         // empty: the table reads whole
    qsizetype maxCells = 2'000'000;
    bool brokenChecksum = false;
    QByteArray manifest = odsManifest;
};

// Puts `cell` where entry 3's description is (the sheet's fifth row, third column).
std::function<void(QByteArray &)> instead3rdDescription(const char *cell) {
    return [cell](QByteArray &content) {
        const qsizetype text = content.indexOf("nº 3 ");
        const qsizetype from = content.lastIndexOf("<table:table-cell", text);
        content.replace(from, content.indexOf("</table:table-cell>", text) + 19 - from, cell);
    };
}

const LongOdsCase longOdsCases[] = {
    {"reads every cell", nullptr, QString()},
    // The tables after the sheet are looked through for another of its name in another case.
    {"broken XML after the sheet is told", afterTheSheet(brokenXml),
     QStringLiteral("A pasta de trabalho está danificada ou incompleta (XML inválido: Opening and ending tag "
                    "mismatch.).")},
    {"a table after the sheet named as it in another case",
     afterTheSheet("<table:table table:name=\"PLAN1\"></table:table>"),
     QStringLiteral("A pasta de trabalho tem duas planilhas de mesmo nome, \"Plan1\" e \"PLAN1\" (os "
                    "programas de planilha não distinguem maiúsculas de minúsculas): renomeie uma delas.")},
    {"badly encoded text after the sheet is told first", afterTheSheet(badlyEncoded), badlyEncodedContent},
    {"badly encoded text in the sheet is told first", inEntry(20, badlyEncoded), badlyEncodedContent},
    {"badly encoded text comes before the cells' bound passed earlier in the sheet",
     inEntry(2900, badlyEncoded), badlyEncodedContent, 1000},
    {"past the cells' bound", nullptr, tooLarge, 1000},
    {"whose checksum fails is refused once read to its end", nullptr, brokenArchive, 2'000'000, true},
    {"the archive's error comes before the cells' bound passed earlier in the part", nullptr, brokenArchive,
     1000, true},
    {"without the sheet",
     [](QByteArray &content) { content.replace("table:name=\"Plan1\"", "table:name=\"Dados\""); },
     missingSheet},
    {"cut short within the sheet", [](QByteArray &content) { content.truncate(content.indexOf("nº 2000 ")); },
     QStringLiteral(
         "A pasta de trabalho está danificada ou incompleta (XML inválido: Premature end of document.).")},
    {"a formula stored without its value (a program that computes nothing wrote it)",
     instead3rdDescription("<table:table-cell table:formula=\"of:=CONCATENATE(&quot;a&quot;)\"/>"),
     uncomputedFormulaIn(3)},
    {"a number formula stored without its value",
     instead3rdDescription("<table:table-cell table:formula=\"of:=1+1\" office:value-type=\"float\"/>"),
     uncomputedFormulaIn(3)},
    {"a row repeated a million times is refused at the cells' bound", atTheSheetsEnd(rowBomb), tooLarge,
     100'000},
    {"a row repeated a million times before broken XML is refused at the cells' bound",
     [](QByteArray &content) {
         atTheSheetsEnd(rowBomb)(content);
         afterTheSheet(brokenXml)(content);
     },
     tooLarge, 100'000},
    {"a manifest naming encryption data across the pieces it is read in", nullptr, encrypted, 2'000'000,
     false,
     [] {
         // The mark starts five bytes before the end of the first 64 KiB piece.
         QByteArray manifest = odsManifest;
         const qsizetype at = manifest.indexOf("<manifest:file-entry manifest:full-path=\"content.xml\"");
         const QByteArray padding(
             64 * 1024 - 5 - at - qsizetype(sizeof "<!---->" - 1) - qsizetype(sizeof "<manifest:" - 1), ' ');
         manifest.insert(at, "<!--" + padding + "--><manifest:encryption-data/>");
         return manifest;
     }()},
};

class LongOdsSheet : public ::testing::TestWithParam<LongOdsCase> {};

TEST_P(LongOdsSheet, readsAsWhenTheContentWasInflatedWhole) {
    const LongOdsCase &c = GetParam();
    const ExportedTable table = longTable();
    QByteArray content = odsContent(table);
    if (c.change)
        c.change(content);
    QByteArray bytes = zipped({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                               {"content.xml", content},
                               {"META-INF/manifest.xml", c.manifest}});
    if (c.brokenChecksum)
        breakChecksum(bytes, "content.xml");
    expectLongSheetRead(bytes, table, c.maxCells, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LongOdsSheet, ::testing::ValuesIn(longOdsCases), CaseName());

// A cell typed as a date or a number without a value (what some writers leave) is an error of its row, never
// a row without a date skipped without a word.
TEST(UnreadableCells, ADateOrANumberWithoutItsValueIsAnError) {
    const ExportedTable table = longTable();
    const auto readEntry3 = [&table](const QByteArray &bytes) {
        WorkbookSelection selection;
        selection.headings = table.titles;
        const WorkbookTable read = WorkbookTable::fromBytes(bytes, selection, {});
        EXPECT_EQ(read.rowCount(), table.rows.size());
        return std::make_pair(read.cell(3, 0).kind(), read.cell(3, 0).textValue());
    };
    const std::pair<CellKind, QString> unreadable{CellKind::Error, QStringLiteral("#VALOR!")};
    for (const char *cell : {"<c r=\"A5\" t=\"n\"><v> </v></c>", "<c r=\"A5\" t=\"d\"><v></v></c>"}) {
        SCOPED_TRACE(cell);
        EXPECT_EQ(
            readEntry3(withSheetChanged(writeXlsx(table, QStringLiteral("Plan1")), instead5thDate(cell))),
            unreadable);
    }
    for (const QByteArray &cell :
         {QByteArray(R"(<table:table-cell office:value-type="date" office:date-value="2024-02-30"/>)"),
          QByteArray(R"(<table:table-cell office:value-type="float" office:value="x"/>)")}) {
        SCOPED_TRACE(cell.toStdString());
        QByteArray content = odsContent(table);
        qsizetype at = -1;
        for (int date = 0; date < 4; ++date)
            at = content.indexOf("<table:table-cell office:value-type=\"date\"", at + 1);
        content.replace(at, content.indexOf("</table:table-cell>", at) + 19 - at, cell);
        EXPECT_EQ(readEntry3(zipped({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                                     {"content.xml", content},
                                     {"META-INF/manifest.xml", odsManifest}})),
                  unreadable);
    }
}

// LibreOffice stores a formula whose result is an empty text without a type and with an empty paragraph,
// other writers typed as a text: an empty cell, as the other formats store it. Without a type and with a
// text, the text may be a result from before the formula last changed, which nothing computed since: refused,
// as a formula without a paragraph.
TEST(UnreadableCells, AnOdsFormulaShowingAnEmptyTextIsEmpty) {
    const ExportedTable table = longTable();
    const auto read = [&table](const char *attributes, const char *paragraph) {
        QByteArray content = odsContent(table);
        const QByteArray cell = QByteArray("<table:table-cell table:formula=\"of:=IF([.A1]=1;&quot;&quot;;"
                                           "&quot;x&quot;)\"") +
                                attributes + '>' + paragraph + "</table:table-cell>";
        instead3rdDescription(cell.constData())(content);
        WorkbookSelection selection;
        selection.headings = table.titles;
        return WorkbookTable::fromBytes(
            zipped({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                    {"content.xml", content},
                    {"META-INF/manifest.xml", odsManifest}}),
            selection, {});
    };
    for (const char *attributes : {"", R"( office:value-type="string")"}) {
        SCOPED_TRACE(attributes);
        const WorkbookTable empty = read(attributes, "<text:p/>");
        ASSERT_EQ(empty.rowCount(), table.rows.size());
        EXPECT_TRUE(empty.cell(3, 2).isBlank());
        EXPECT_TRUE(empty.cell(3, 2).isEmptyFormula());
        EXPECT_THROW(read(attributes, ""), WorkbookError) << "no paragraph: never computed";
    }
    EXPECT_THROW(read("", "<text:p>12,50</text:p>"), WorkbookError);
}

// --- Files that are no workbook at all -------------------------------------------------------------

struct ForeignFileCase {
    const char *name;
    QByteArray bytes;
};

const ForeignFileCase foreignFileCases[] = {
    {"an empty file", QByteArray()},
    {"a CSV file named .xls", "Data;Valor\n15/03/2024;10,00\n"},
    {"an HTML table named .xls", "<html><body><table><tr><td>Data</td></tr></table></body></html>"},
    {"a zip archive of something else", QByteArray::fromHex("504b0506000000000000000000000000000000000000")},
    {"a compound file without a workbook stream",
     QByteArray::fromHex("d0cf11e0a1b11ae1") + QByteArray(504, '\0')},
};

class ForeignFile : public ::testing::TestWithParam<ForeignFileCase> {};

TEST_P(ForeignFile, isNotTakenForAWorkbook) {
    WorkbookSelection selection;
    selection.headings = failureHeadings;
    try {
        WorkbookTable::fromBytes(GetParam().bytes, selection);
        FAIL() << "the file was read";
    } catch (const WorkbookError &error) {
        const bool told = error.message() == WorkbookError::notAWorkbook().message() ||
                          error.message().startsWith(damagedPrefix);
        EXPECT_TRUE(told) << error.message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ForeignFile, ::testing::ValuesIn(foreignFileCases), CaseName());

TEST(WorkbookFile, thatDoesNotExistIsNamedInTheMessage) {
    try {
        WorkbookTable::read(QStringLiteral("/nonexistent/lancamentos.xls"), WorkbookSelection{});
        FAIL() << "the file was read";
    } catch (const WorkbookError &error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("Não foi possível ler o arquivo \"/nonexistent/lancamentos.xls\"."));
    }
}

// --- Shared strings split over CONTINUE records ----------------------------------------------------

// Enough distinct strings, some of them beyond Latin-1, for the string table to run over several records
// and split strings at their seams, in either width.
TEST(WorkbookSharedStrings, splitOverContinueRecordsReadWhole) {
    QJsonArray rows;
    rows.append(QJsonArray{"Data", "Descrição"});
    QStringList expected;
    for (int i = 0; i < 600; ++i) {
        const QString text =
            QStringLiteral("Lançamento %1 ").arg(i) + QString(20 + i % 37, i % 3 ? u'x' : u'€');
        rows.append(QJsonArray{QJsonObject{{"date", "2024-03-15"}}, text});
        expected.append(text);
    }
    test::WorkbookFixtures fixtures;
    const QString path = fixtures.add(
        {QStringLiteral("strings"), Format::Xls, QJsonDocument(rows).toJson(), QStringLiteral("Plan1"), {}});
    fixtures.write();

    WorkbookSelection selection;
    selection.headings = {"Data", "Descrição"};
    const WorkbookTable table = WorkbookTable::read(path, selection);
    QStringList texts;
    for (int row = 0; row < table.rowCount(); ++row)
        texts.append(table.text(row, 1));
    EXPECT_EQ(texts, expected);
}

// A part of some hundred kilobytes can list millions of empty strings, each held apart: no more are read
// than the cells a sheet may hold.
TEST(WorkbookSharedStrings, moreThanTheCellsASheetMayHoldAreRefused) {
    const QByteArray xlsx = writeXlsx(longTable(), QStringLiteral("Plan1"));
    const ZipArchive archive(xlsx, WorkbookLimits().maxPartBytes);
    QList<std::pair<const char *, QByteArray>> parts;
    for (const char *name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml",
                             "xl/_rels/workbook.xml.rels", "xl/styles.xml", "xl/worksheets/sheet1.xml"})
        parts.append({name, *archive.read(QString::fromLatin1(name))});
    parts[3].second.replace(
        "</Relationships>",
        "<Relationship Id=\"rIdS\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
    WorkbookLimits limits;
    limits.maxCells = 10'000; // the sheet's 9,003 cells fit
    parts.append(
        {"xl/sharedStrings.xml", "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                                     QByteArray("<si/>").repeated(limits.maxCells + 1) + "</sst>"});
    WorkbookSelection selection;
    selection.headings = longTable().titles;
    try {
        WorkbookTable::fromBytes(zipped(parts), selection, limits);
        ADD_FAILURE() << "read";
    } catch (const WorkbookError &error) {
        EXPECT_EQ(error.message(), tooLarge);
    }
}

TEST(WorkbookText, isReadAsASpreadsheetShowsItWithoutTheCharacterNul) {
    const QJsonArray rows{QJsonArray{"Descrição"}, QJsonArray{QStringLiteral("Dep") + QChar(0) + "ósito"},
                          QJsonArray{QString(QChar(0))}};
    test::WorkbookFixtures fixtures;
    const QString path = fixtures.add(
        {QStringLiteral("nul"), Format::Xls, QJsonDocument(rows).toJson(), QStringLiteral("Plan1"), {}});
    fixtures.write();

    WorkbookSelection selection;
    selection.headings = {"Descrição"};
    const WorkbookTable table = WorkbookTable::read(path, selection);
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.text(0, 0), QStringLiteral("Depósito"));
    EXPECT_EQ(table.text(1, 0), QString());
}

// --- A cell asked for as a date --------------------------------------------------------------------

struct DateTextCase {
    const char *name;
    QString text;
    QDate expected; // null: not a date
};

const DateTextCase dateTextCases[] = {
    {"day month and year with slashes", "15/03/2024", QDate(2024, 3, 15)},
    {"single digits", "5/3/2024", QDate(2024, 3, 5)},
    {"hyphens and a two-digit year of this century", "05-03-24", QDate(2024, 3, 5)},
    {"a two-digit year from 30 on is of the last century", "05.03.30", QDate(1930, 3, 5)},
    {"ISO order", "2024-03-05", QDate(2024, 3, 5)},
    {"a time of day after the date is ignored", " 15/03/2024 10:30:00 ", QDate(2024, 3, 15)},
    {"ISO date and time", "2024-03-15T00:00:00", QDate(2024, 3, 15)},
    {"no such day", "31/02/2024", QDate()},
    {"month and day the American way", "03/15/2024", QDate()},
    {"mixed separators", "15/03-2024", QDate()},
    {"a number", "1234.5", QDate()},
    {"words", "ontem", QDate()},
    {"a date followed by other text", "15/03/2024 pago", QDate()},
};

class DateText : public ::testing::TestWithParam<DateTextCase> {};

TEST_P(DateText, readsAsExpected) {
    EXPECT_EQ(dateFromText(GetParam().text).value_or(QDate()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DateText, ::testing::ValuesIn(dateTextCases), CaseName());

struct SerialCase {
    const char *name;
    double serial;
    DateSystem system;
    QDate expected;
};

const SerialCase serialCases[] = {
    {"the first day of the 1900 system", 1, DateSystem::excel1900(), QDate(1900, 1, 1)},
    {"the day before the phantom leap day", 59, DateSystem::excel1900(), QDate(1900, 2, 28)},
    {"the phantom 29 February 1900 is no date", 60, DateSystem::excel1900(), QDate()},
    {"the day after it", 61, DateSystem::excel1900(), QDate(1900, 3, 1)},
    {"a day of this century with its time dropped", 45366.75, DateSystem::excel1900(), QDate(2024, 3, 15)},
    {"serial 0 of the 1900 system is no date", 0, DateSystem::excel1900(), QDate()},
    {"serial 0 of the 1904 system", 0, DateSystem::excel1904(), QDate(1904, 1, 1)},
    {"the 1904 system counts four years later", 43904, DateSystem::excel1904(), QDate(2024, 3, 15)},
    {"a negative serial is no date", -1, DateSystem::excel1900(), QDate()},
    {"past 9999 is no date", 2958466, DateSystem::excel1900(), QDate()},
};

class SerialDate : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialDate, readsAsExpected) {
    EXPECT_EQ(dateFromSerial(GetParam().serial, GetParam().system).value_or(QDate()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialDate, ::testing::ValuesIn(serialCases), CaseName());

// date() over the cells of one workbook: dates, serial numbers, texts, and what is none of them.
TEST(WorkbookDate, isReadFromDatesNumbersAndTextsAndRefusedOtherwise) {
    test::WorkbookFixtures fixtures;
    const QString path =
        fixtures.add({QStringLiteral("dates"),
                      Format::Xlsx,
                      R"([["Data", "Outra"], [{"date": "2024-03-15"}, 45366], ["15/03/2024", "5-3-24"],
                                           [{"date": "2024-03-15"}, {"bool": true}], [{"date": "2024-03-15"}, "amanhã"]])",
                      QStringLiteral("Plan1"),
                      {}});
    fixtures.write();
    WorkbookSelection selection;
    selection.headings = {"Data", "Outra"};
    const WorkbookTable table = WorkbookTable::read(path, selection);

    EXPECT_EQ(table.date(0, 0), QDate(2024, 3, 15));
    EXPECT_EQ(table.date(0, 1), QDate(2024, 3, 15));
    EXPECT_EQ(table.date(1, 0), QDate(2024, 3, 15));
    EXPECT_EQ(table.date(1, 1), QDate(2024, 3, 5));
    for (const int row : {2, 3}) {
        try {
            table.date(row, 1);
            ADD_FAILURE() << "row " << row << " gave a date";
        } catch (const WorkbookError &error) {
            EXPECT_EQ(error.message(),
                      QStringLiteral("A célula da coluna \"Outra\" na linha %1 da planilha não contém "
                                     "uma data: \"%2\".")
                          .arg(row + 2)
                          .arg(row == 2 ? "VERDADEIRO" : "amanhã"));
        }
    }
}

// --- Numbers as text -------------------------------------------------------------------------------

struct NumberTextCase {
    const char *name;
    double number;
    const char *text;
};

const NumberTextCase numberTextCases[] = {
    {"an amount keeps only the digits it needs, with the decimal comma", 1234.5, "1234,5"},
    {"a whole number has no decimals", 100, "100"},
    {"a sum that binary cannot hold exactly reads as the sheet shows it", 0.1 + 0.2, "0,3"},
    {"a difference of two amounts shows what the sheet shows of its residue", 12345.67 - 12300,
     "45,6700000000001"},
    {"a third shows fifteen digits", 1.0 / 3, "0,333333333333333"},
    {"negative zero is zero", -0.0, "0"},
    {"a long code has no exponent", 123456789012345.0, "123456789012345"},
    {"past fifteen digits the exponent comes, as a sheet shows it", 1e22, "1E+22"},
    {"far below one too", 1.5e-7, "1,5E-07"},
};

class NumberText : public ::testing::TestWithParam<NumberTextCase> {};

TEST_P(NumberText, isWhatTheSheetShows) {
    EXPECT_EQ(numberText(GetParam().number), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberText, ::testing::ValuesIn(numberTextCases), CaseName());

// --- Cells under merges ----------------------------------------------------------------------------

using Places = std::map<std::pair<quint32, quint32>, QString>;

// What each place holds once the merges are taken as the sheet shows them, row 0 the headings and column
// `amounts` the amounts.
Places shownCells(const std::vector<SheetCells::Merge> &merges,
                  const std::vector<std::pair<quint32, quint32>> &at,
                  std::optional<quint32> amounts = std::nullopt) {
    SheetCells cells{WorkbookLimits{}};
    for (const auto &[row, column] : at)
        cells.add(row, column, WorkbookCell::fromText(QStringLiteral("%1,%2").arg(row).arg(column)));
    for (const SheetCells::Merge &merge : merges)
        cells.addMerge(merge);
    cells.hideCoveredCells();
    cells.fillMerges(0, amounts);
    Places shown;
    for (const PlacedCell &placed : cells.cells())
        shown[{placed.row, placed.column}] = placed.cell.textValue();
    return shown;
}

QString placeText(quint32 row, quint32 column) {
    return QStringLiteral("%1,%2").arg(row).arg(column);
}

// Of a merge over rows, the rows below its first that hold something of their own show its value beside
// them; the amounts' column, the heading row and rows of nothing else are not filled. A merge that runs
// backwards covers nothing; one written twice alike is one.
TEST(CellsUnderMerges, AMergeOverRowsFillsTheRowsThatHoldValuesButInTheAmountsColumn) {
    const Places shown =
        shownCells({{0, 5, 1, 5}, // a heading over two rows
                    {1, 0, 4, 0},
                    {1, 0, 4, 0},        // a date over rows 1-4, written twice
                    {1, 2, 2, 2},        // an amount over rows 1-2
                    {2, 5, 0, 3},        // backwards
                    {2, 1, 1048575, 1}}, // to the sheet's last row
                   {{0, 0}, {0, 5}, {1, 0}, {1, 2}, {1, 5}, {2, 1}, {2, 3}, {2, 4}, {4, 3}, {9, 3}}, 2);
    const Places expected{{{0, 0}, placeText(0, 0)},
                          {{0, 5}, placeText(0, 5)},
                          {{1, 0}, placeText(1, 0)},
                          {{1, 2}, placeText(1, 2)},
                          {{2, 1}, placeText(2, 1)},
                          {{2, 3}, placeText(2, 3)},
                          {{2, 4}, placeText(2, 4)},
                          {{4, 3}, placeText(4, 3)},
                          {{9, 3}, placeText(9, 3)},
                          // Row 3 holds nothing of its own, and row 2 no amount: neither is filled there.
                          {{2, 0}, placeText(1, 0)},
                          {{4, 0}, placeText(1, 0)},
                          {{4, 1}, placeText(2, 1)},
                          {{9, 1}, placeText(2, 1)}};
    EXPECT_EQ(shown, expected);
}

// No spreadsheet program writes merges that overlap: which of them the sheet shows cannot be told, and a row
// under both could be lost without a word.
TEST(CellsUnderMerges, MergesThatOverlapAreRefusedNamingThem) {
    const struct {
        const char *name;
        std::vector<SheetCells::Merge> merges;
        const char *named;
    } cases[] = {
        {"one inside another", {{0, 0, 10, 2}, {5, 0, 6, 0}}, "A1:C11 e A6:A7"},
        {"one below another's first rows", {{1, 0, 3, 0}, {2, 0, 4, 0}}, "A2:A4 e A3:A5"},
        {"side by side, sharing a column", {{3, 1, 3, 4}, {3, 4, 5, 6}}, "B4:E4 e E4:G6"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SheetCells cells{WorkbookLimits{}};
        for (const SheetCells::Merge &merge : c.merges)
            cells.addMerge(merge);
        try {
            cells.hideCoveredCells();
            ADD_FAILURE() << "accepted";
        } catch (const WorkbookError &error) {
            EXPECT_TRUE(error.message().contains(QString::fromLatin1(c.named)))
                << error.message().toStdString();
        }
    }
}

// Merges apart from one another at random, against the rule itself: a cell stays when no merge covers it but
// as its first cell.
TEST(CellsUnderMerges, MergesAtRandomHideWhatTheyCoverButTheirFirstCell) {
    std::mt19937 generator(53);
    const auto random = [&generator] {
        return static_cast<quint32>(generator());
    };
    for (int round = 0; round < 500; ++round) {
        std::vector<SheetCells::Merge> merges;
        std::set<std::pair<quint32, quint32>> taken;
        for (quint32 m = random() % 6; m > 0; --m) {
            const quint32 row = random() % 8, column = random() % 8;
            const SheetCells::Merge merge{row, column, row + random() % 3, column + random() % 4};
            bool apart = true;
            for (quint32 r = merge.firstRow; r <= merge.lastRow; ++r)
                for (quint32 c = merge.firstColumn; c <= merge.lastColumn; ++c)
                    apart = apart && !taken.count({r, c});
            if (!apart)
                continue;
            for (quint32 r = merge.firstRow; r <= merge.lastRow; ++r)
                for (quint32 c = merge.firstColumn; c <= merge.lastColumn; ++c)
                    taken.insert({r, c});
            merges.push_back(merge);
        }
        std::vector<std::pair<quint32, quint32>> at;
        for (quint32 row = 0; row < 10; ++row)
            for (quint32 column = 0; column < 12; ++column)
                if (random() % 2 == 0)
                    at.emplace_back(row, column);
        SheetCells cells{WorkbookLimits{}};
        Places expected;
        for (const auto &place : at) {
            const quint32 row = place.first, column = place.second;
            cells.add(row, column, WorkbookCell::fromText(placeText(row, column)));
            const bool covered = std::any_of(merges.begin(), merges.end(), [&](const SheetCells::Merge &m) {
                return row >= m.firstRow && row <= m.lastRow && column >= m.firstColumn &&
                       column <= m.lastColumn && !(row == m.firstRow && column == m.firstColumn);
            });
            if (!covered)
                expected[{row, column}] = placeText(row, column);
        }
        for (const SheetCells::Merge &merge : merges)
            cells.addMerge(merge);
        cells.hideCoveredCells();
        Places shown;
        for (const PlacedCell &placed : cells.cells())
            shown[{placed.row, placed.column}] = placed.cell.textValue();
        ASSERT_EQ(shown, expected) << "round " << round;
    }
}

} // namespace
} // namespace bco
