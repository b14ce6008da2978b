#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "framework/remote/net_connection.h"
#include "framework/ui/buttons.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/mask_edit.h"
#include "framework/ui/wait_animation.h"
#include "import/import_form.h"
#include "import/import_pass.h"
#include "server/methods/all_methods.h"
#include "statement_model/statement_packets.h"
#include "support/entry_form_stand_in.h"
#include "support/form_controls.h"
#include "support/form_test_environment.h"
#include "support/loopback_rpc_server.h"
#include "support/qt_printers.h"
#include "support/scripted_file_dialogs.h"
#include "support/second_operator.h"
#include "workbook_fixtures.h"

namespace bco::testing {
namespace {

using Cli_bco11104::TfrmImportLanc;
using test::Format;
using test::WorkbookRecipe;

// One error line as the operator reads it: the line, then the text.
using ErrorLine = std::pair<int, QString>;

// Every problem the pass can find, one row (or two) each, with an empty Data row in the middle that takes
// no line number; a supplier met again, and a supplier's code named as a customer's. The last row is right: a
// file with errors imports nothing, not even its good rows.
const char refusalRows[] = R"([
  ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", "Documento", "Cliente", "Fornecedor"],
  [{"date": "2024-03-15"}, "099", "0101", "C", "1", "Conta desconhecida", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "X", "1", "Forma errada", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "99", "Crédito sem tipo", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "d", "99", "Débito sem tipo", -5, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Valor zero", 0, "", null, null],
  [null, "001", "0101", "C", "1", "Linha sem data: não conta", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Valor que não é número", "12,34,5", "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Documento longo", 10, "12345678901", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Os dois", 10, "", "CLI0001", "FOR0001"],
  [{"date": "2024-03-15"}, "001", "0101", "D", "1", "Fornecedor desconhecido", 10, "", null, "FOR9999"],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Cliente desconhecido", 10, "", "CLI9999", null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Uma descrição de quarenta e um caracteres.", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0201", "C", "1", "Filial de outra empresa", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", 101, "C", "1", "Filial como número", 10, "", null, null],
  ["31/02/2024", "001", "0101", "C", "1", "Data que não existe", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Milhar ou decimal", "12.500", "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "D", "1", "Vírgula e três dígitos", " 1,234 ", "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "D", "1", "O mesmo fornecedor desconhecido", 10, "", null, "FOR9999"],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Fornecedor como cliente", 10, "", "FOR0001", null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "CNPJ na coluna do valor", 53411567000117, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "D", "1", "Valor grande demais", "10.000.000.000.000,00", "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", {"error": "#REF!"}, 10, "", null, null],
  [{"date": "2024-03-15"}, "004", "0201", "C", "1", "Certa", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C ", "1", "Ac\u0327a\u0303o e\u0301 a\u0301gil: lanc\u0327amento a\u0300 vista ja\u0301 pago", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Número além do centavo", 12.3456, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "O resto binário de 0,1 + 0,2", 0.30000000000000004, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "0,285 guardado como 0,28499999999999998", 0.285, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "12345,67 - 12300", 45.67000000000007, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "D", "0002", "Pagamento sem fornecedor", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "0002", "Recebimento sem cliente", 10, "", null, null],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Fornecedor de brancos", 10, "", "CLI0001", "  "],
  [{"date": "2024-03-15"}, "001", "0101", "D", "1", "Só um fornecedor de brancos", 10, "", null, " "]
])";

// Line 24 has no problem: its kind has a blank after it, and its description, 39 characters as the operator
// reads it, spells its accents as combining marks (46 characters as stored so). Nor have lines 26 and 28:
// what binary arithmetic leaves past the cent is no fraction of one; nor lines 31 and 32: a party of blanks
// names nobody.
const std::vector<ErrorLine> refusalLines = {
    {2, "Conta Corrente não cadastrada."},
    {3, "Forma de Lançamento Inválida. Informar \"C\" para Crédito ou \"D\" para Débito."},
    {4, "Tipo de Crédito não cadastrado."},
    {5, "Tipo de Débito não cadastrado."},
    {5, "Valor deve ser maior que zero."},
    {6, "Valor deve ser maior que zero."},
    {7, "Valor não é um número."},
    {8, "Tamanho máximo do documento permitido igual a dez caracteres."},
    {9, "Cliente e Fornecedor não podem estar ambos preenchidos para o mesmo lançamento."},
    {10, "Fornecedor não cadastrado."},
    {11, "Cliente não cadastrado."},
    {12, "Tamanho máximo da descrição permitido igual a quarenta caracteres."},
    {13, "Fillial não cadastrada ou não relacionada a empresa da conta corrente."},
    {14, "Fillial não cadastrada ou não relacionada a empresa da conta corrente."},
    {15, "Data inválida."},
    {16, "Valor ambíguo: \"12.500\" (use 12.500,00 ou 12,50)."},
    {17, "Valor ambíguo: \"1,234\" (use 1.234,00 ou 1,23)."},
    {18, "Fornecedor não cadastrado."},
    {19, "Cliente não cadastrado."},
    {20, "Valor maior que o maior valor de um lançamento (9.999.999.999.999,99)."},
    {21, "Valor maior que o maior valor de um lançamento (9.999.999.999.999,99)."},
    {22, "A coluna Descrição tem o erro #REF! de uma fórmula."},
    {25, "Valor com fração de centavo: \"12,3456\" (um lançamento tem no máximo duas casas decimais)."},
    {27, "Valor com fração de centavo: \"0,285\" (um lançamento tem no máximo duas casas decimais)."},
    {29, "Fornecedor deve ser informado para contabilização correta do documento."},
    {30, "Cliente deve ser informado para contabilização correta do documento."},
};

// A clean file as other programs write them: headings in another case and order, empty Data rows, dates as
// date cells and as text, amounts as numbers and as text in both conventions, a kind in lower case, a
// description over two lines of its cell, a description left to the type's name, a customer and a supplier
// by code.
const char cleanRows[] = R"([
  ["VALOR", "data", "CONTA CORRENTE", "forma", "Tipo", "filial", "descrição", "Documento", "Fornecedor", "Cliente"],
  [1234.56, {"date": "2024-03-15"}, "001", "c", "1", "0101", "Depósito\nimportado", "DOC1", null, null],
  null,
  ["1.234,56", "15/03/2024", "1", "C", "0002", "0101", "", "DOC2", null, "CLI0001"],
  [7, null, "001", "C", "1", "0101", "Sem data", "", null, null],
  ["1,234.56", {"date": "2024-03-14"}, "001", "D", "0002", "0102", "Pagamento importado", "", "FOR0001", null],
  ["150,5", {"date": "2024-03-14"}, "004", "d", "10", "0201", "Outros", "D-4", null, null]
])";

// A right row of account 001, then a wrong one.
const char lateRefusalRows[] = R"([
  ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", "Documento", "Cliente", "Fornecedor"],
  [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Certa", 10, "", null, null],
  [{"date": "2024-03-15"}, "099", "0101", "C", "1", "Conta desconhecida", 10, "", null, null]
])";

// The records the clean file gives, by line: account, kind, date, value, document, history, description.
struct Built {
    QString account, kind, date;
    double value;
    QString document, history, description, customer, supplier;
};
const std::vector<Built> cleanRecords = {
    {"001", "C", "15/03/2024", 1234.56, "DOC1", "Depósito importado (Importação via xls)",
     "Depósito importado", "", ""},
    {"001", "C", "15/03/2024", 1234.56, "DOC2", "Recebimento de cliente (Importação via x",
     "Recebimento de cliente", "CLI0001", ""},
    {"001", "D", "14/03/2024", 1234.56, "", "Pagamento importado (Importação via xls)", "Pagamento importado",
     "", "FOR0001"},
    {"004", "D", "14/03/2024", 150.5, "D-4", "Outros (Importação via xls)", "Outros", "", ""},
};

WorkbookRecipe recipe(const QString &name, const QByteArray &rows, Format format = Format::Xls) {
    WorkbookRecipe made;
    made.name = name;
    made.format = format;
    made.rows = rows;
    return made;
}

// `fees` equal bank fees of 15/03/2024 (document `feeDocument`), the first on line 2 and the others after
// `between` rows of `betweenDate`: of another day, they are checked in another batch than the first; of the
// same day, a day of more rows than one call of searches takes. The rows between are credits of their own
// values, or (`feesValue`) debits of the fees' value, without a document, told apart by their descriptions.
// The later fees spell a document led by zeros, as the entry form stores it: the same document.
QByteArray feeRows(int fees, int between, const QString &betweenDate = QStringLiteral("2024-03-14"),
                   const QString &feeDocument = QStringLiteral("TAR-9"), bool feesValue = false) {
    const auto feeOf = [](const QString &document) {
        return QStringLiteral(
                   R"([{"date": "2024-03-15"}, "001", "0101", "D", "1", "Tarifa", 12.5, "%1", null, null])")
            .arg(document)
            .toUtf8();
    };
    const QByteArray fee = feeOf(feeDocument);
    QByteArrayList rows{R"(["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", )"
                        R"("Documento", "Cliente", "Fornecedor"])",
                        fee};
    for (int i = 0; i < between; ++i)
        rows.append(QStringLiteral(R"([{"date": "%2"}, "001", "0101", "%3", "1", "Linha %1", %4, "", )"
                                   R"(null, null])")
                        .arg(i + 1)
                        .arg(betweenDate, feesValue ? QStringLiteral("D") : QStringLiteral("C"),
                             feesValue ? QStringLiteral("12.5") : QString::number(i + 1))
                        .toUtf8());
    for (int i = 1; i < fees; ++i)
        rows.append(feeOf(feeDocument.isEmpty() ? feeDocument : QStringLiteral("00") + feeDocument));
    return '[' + rows.join(",\n") + ']';
}

// `count` rows of one error each: a kind that is none.
QByteArray wrongKindRows(int count) {
    QByteArrayList rows{R"(["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", )"
                        R"("Documento", "Cliente", "Fornecedor"])"};
    for (int i = 0; i < count; ++i)
        rows.append(QStringLiteral(R"([{"date": "2024-03-15"}, "001", "0101", "X", "1", "Linha %1", 10, "", )"
                                   R"(null, null])")
                        .arg(i + 1)
                        .toUtf8());
    return '[' + rows.join(",\n") + ']';
}

// The workbooks of the suite, written once for all its processes.
class Workbooks {
public:
    static Workbooks &get() {
        static Workbooks workbooks;
        return workbooks;
    }
    QString path(const QString &name) const { return fixtures_.path(name); }

private:
    Workbooks()
        : fixtures_(QStringLiteral(BCO_IMPORT_FIXTURES)) {
        for (const Format format : {Format::Xls, Format::Xlsx, Format::Ods})
            fixtures_.add(recipe(QStringLiteral("limpo"), cleanRows, format));
        fixtures_.add(recipe(QStringLiteral("erros"), refusalRows));
        fixtures_.add(recipe(QStringLiteral("erro-no-fim"), lateRefusalRows));
        WorkbookRecipe locked = recipe(QStringLiteral("protegido"), cleanRows);
        locked.options.insert(QStringLiteral("xls"), QJsonObject{{QStringLiteral("filepass"), true}});
        fixtures_.add(locked);
        fixtures_.add(recipe(QStringLiteral("sem-valor"), R"([
          ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Documento", "Cliente", "Fornecedor"],
          [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Sem valor", "", null, null]])"));
        fixtures_.add(recipe(QStringLiteral("sem-linhas"), R"([
          ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", "Documento", "Cliente", "Fornecedor"],
          [null, "001", "0101", "C", "1", "Sem data", 10, "", null, null]])"));
        fixtures_.add(recipe(QStringLiteral("outra-empresa"), R"([
          ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", "Documento", "Cliente", "Fornecedor"],
          [{"date": "2024-03-15"}, "004", "0201", "C", "1", "Conta da empresa 02", 10, "", null, null],
          [{"date": "2024-03-15"}, "001", "0101", "X", "1", "Forma errada", 10, "", null, null],
          [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Certa", 10, "", null, null]])"));
        fixtures_.add(recipe(QStringLiteral("tarifa"), feeRows(1, 0)));
        fixtures_.add(recipe(QStringLiteral("estorno"), R"([
          ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", "Documento", "Cliente", "Fornecedor"],
          [{"date": "2024-03-15"}, "001", "0101", "D", "1", "Tarifa", 12.5, "TAR-9", null, null],
          [{"date": "2024-03-15"}, "001", "0101", "C", "1", "Tarifa", 12.5, "TAR-9", null, null]])"));
        fixtures_.add(
            recipe(QStringLiteral("tarifas-iguais"), feeRows(3, Cli_bco11104::ImportPass::BatchRows + 50)));
        fixtures_.add(recipe(QStringLiteral("tarifa-sem-documento"), feeRows(1, 0, {}, QString())));
        fixtures_.add(recipe(QStringLiteral("tarifas-do-mesmo-valor-num-dia-cheio"),
                             feeRows(2, Cli_bco11104::ImportPass::MostSearchesPerCall,
                                     QStringLiteral("2024-03-15"), QString(), true),
                             Format::Xlsx));
        fixtures_.add(
            recipe(QStringLiteral("tarifas-num-dia-cheio"),
                   feeRows(2, Cli_bco11104::ImportPass::MostSearchesPerCall, QStringLiteral("2024-03-15")),
                   Format::Xlsx));
        fixtures_.add(recipe(QStringLiteral("erros-demais"),
                             wrongKindRows(Cli_bco11104::ImportPass::MostListedErrors + 5), Format::Xlsx));
        WorkbookRecipe otherSheet = recipe(QStringLiteral("sem-aba"), cleanRows);
        otherSheet.sheet = QStringLiteral("Dados");
        fixtures_.add(otherSheet);
        fixtures_.write();
        // A download cut short, and a text file named as a workbook.
        QFile whole(path(QStringLiteral("limpo.xls")));
        whole.open(QIODevice::ReadOnly);
        QFile truncated(path(QStringLiteral("truncado.xls")));
        truncated.open(QIODevice::WriteOnly);
        truncated.write(whole.readAll().left(whole.size() / 2));
        QFile text(path(QStringLiteral("texto.xls")));
        text.open(QIODevice::WriteOnly);
        text.write("Data;Conta Corrente;Valor\n15/03/2024;001;10\n");
    }

    test::WorkbookFixtures fixtures_;
};

// The import form opened as the host opens it, against the real server.
class ImportForm : public ::testing::Test {
protected:
    explicit ImportForm(FormTestOptions options = {})
        : env(std::move(options)) {}

    void SetUp() override {
        env.context().loadScreen = [this](const QString &code, const Variant &parameters) {
            screens.push_back({code, parameters});
        };
        Cli_bco11104::CriaImportacao(entryForm.Finder());
        form = Cli_bco11104::frmImportLanc;
        ASSERT_FALSE(form.isNull());
        QApplication::setActiveWindow(form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    void TearDown() override {
        if (!form.isNull())
            form->Close();
        releaseDeferred();
        EXPECT_FALSE(ShowAviActive()) << "the wait animation was left on";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass was left on";
    }

    template <class Widget = QWidget> Widget *control(const char *name) const {
        return controlOf<Widget>(*form, name);
    }

    // The operator picks the workbook in the file dialog; leaving the file panel runs the pass.
    void choose(const QString &path) {
        files.choose(path);
        control<TBtnPesquisa>("btpArqOrig")->click();
    }

    std::vector<ErrorLine> errorLines() const {
        std::vector<ErrorLine> lines;
        ClientDataSet &errors = form->records.cdsErro;
        for (errors.First(); !errors.Eof(); errors.Next())
            lines.emplace_back(errors.FieldByName(u"NRLINHA").AsInteger(),
                               errors.FieldByName(u"DSERRO").AsString());
        return lines;
    }

    // Each error line's number and its row in the sheet, where the operator finds it.
    std::vector<std::pair<int, int>> sheetRows() const {
        std::vector<std::pair<int, int>> rows;
        ClientDataSet &errors = form->records.cdsErro;
        for (errors.First(); !errors.Eof(); errors.Next())
            rows.emplace_back(errors.FieldByName(u"NRLINHA").AsInteger(),
                              errors.FieldByName(u"NRLINHAPLAN").AsInteger());
        return rows;
    }
    QString summary() const { return control<QLabel>("lblResumo")->text(); }

    bool importEnabled() const { return form->sbtImportExport->isEnabled(); }

    // Another operator sends the checked file's credits, and its debits too when asked, as the form would.
    void importAsAnotherOperator(bool debitsToo) {
        SecondOperator other(env.server());
        const auto send = [&](const char *method, bco::ClientDataSet &records) {
            other.call(QString::fromLatin1(method), {form->records.entry.cdsMovBanc.GetDelta(),
                                                     records.GetDelta(), QStringLiteral("SUPERV")});
        };
        send("setInsertImportCred", form->records.entry.cdsCredito);
        if (debitsToo)
            send("setInsertImportDeb", form->records.entry.cdsDebito);
    }

    qint64 importedMovements() {
        QSqlQuery query(env.database());
        query.exec(
            QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE DSHISMBANC LIKE '%Importação via%'"));
        query.next();
        return query.value(0).toLongLong();
    }

    struct OpenedScreen {
        QString code;
        Variant parameters;
    };

    FormTestEnvironment env;
    // The entry form whose list an import refreshes, as the form's opener finds it.
    EntryFormStandIn entryForm;
    ScriptedFileDialogs files;
    QPointer<TfrmImportLanc> form;
    std::vector<OpenedScreen> screens;
};

TEST_F(ImportForm, EveryProblemOfTheFileIsListedByItsLineInTheOrderOfTheChecks) {
    choose(Workbooks::get().path(QStringLiteral("erros.xls")));
    EXPECT_EQ(errorLines(), refusalLines);
    // The row without a date takes no line number but keeps its row: the rows after it are one further on.
    std::vector<std::pair<int, int>> expectedRows;
    for (const auto &[line, text] : refusalLines)
        expectedRows.emplace_back(line, line < 7 ? line : line + 1);
    EXPECT_EQ(sheetRows(), expectedRows);
    EXPECT_EQ(control<TNewDBGrid>("dgbErros")->ShownContents().titles,
              (QStringList{"Linha", "Linha na Planilha", "Descrição do Erro"}));
    EXPECT_EQ(summary(), QString()) << "nothing will be imported";
    EXPECT_FALSE(importEnabled());
    EXPECT_TRUE(form->records.entry.cdsMovBanc.IsEmpty()) << "the first row is wrong: nothing is built";
    EXPECT_EQ(env.dialogs.keys(), QStringList()) << "no message: the list says it all";
    EXPECT_TRUE(control("dgbErros")->isEnabled());
    EXPECT_EQ(control<QProgressBar>("pgbProgresso")->maximum(), 31);
}

// A file of more wrong rows than anyone reads lists the first, and tells how many more there are from which
// line on, rather than holding millions of lines.
TEST_F(ImportForm, ErrorsPastTheMostListedAreCountedInOneLastLine) {
    choose(Workbooks::get().path(QStringLiteral("erros-demais.xlsx")));
    const std::vector<ErrorLine> lines = errorLines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(Cli_bco11104::ImportPass::MostListedErrors) + 1);
    EXPECT_EQ(lines.front().first, 2);
    EXPECT_EQ(lines[lines.size() - 2].first, Cli_bco11104::ImportPass::MostListedErrors + 1);
    EXPECT_EQ(lines.back(), ErrorLine(Cli_bco11104::ImportPass::MostListedErrors + 2,
                                      QStringLiteral("Mais 5 erro(s) desta linha em diante: corrija os "
                                                     "listados e verifique o arquivo de novo.")));
    EXPECT_FALSE(importEnabled());
}

TEST_F(ImportForm, TheFileIsCheckedBeforeThePassRuns) {
    struct Case {
        const char *name;
        QString path;
        QString error;
    };
    const QString folder = QFileInfo(Workbooks::get().path(QStringLiteral("limpo.xls"))).absolutePath();
    const Case cases[] = {
        {"no file named", QString(), "Arquivo origem deve ser informado."},
        {"a folder that does not exist", folder + QStringLiteral("/nada/limpo.xls"), "Diretório não existe."},
        {"a file that does not exist", folder + QStringLiteral("/nada.xls"), "Arquivo não existe."},
        {"a folder where the file should be", folder,
         "O caminho informado não é um arquivo: escolha a pasta de trabalho dos lançamentos."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        env.dialogs.clearShown();
        if (c.path.isEmpty())
            files.cancel();
        else
            files.choose(c.path);
        control<TBtnPesquisa>("btpArqOrig")->click();
        EXPECT_EQ(env.dialogs.errors(), QStringList{c.error});
        EXPECT_EQ(QApplication::focusWidget(), control("medArqOrig"));
        EXPECT_FALSE(control("dgbErros")->isEnabled());
    }
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    EXPECT_EQ(QDir::currentPath(), folder) << "the workbook's folder is the current one";
}

TEST_F(ImportForm, TabFromTheTypedPathRunsThePassAndGoesOnToTheList) {
    struct Case {
        const char *name;
        QString path;
        QStringList errors;
        bool clean;  // told it may be imported
        bool listed; // the list opened with the focus
    };
    const QString folder = QFileInfo(Workbooks::get().path(QStringLiteral("limpo.xls"))).absolutePath();
    const Case cases[] = {
        {"a file that does not exist",
         folder + QStringLiteral("/nada.xls"),
         {"Arquivo não existe."},
         false,
         false},
        {"a file with errors", Workbooks::get().path(QStringLiteral("erros.xls")), {}, false, true},
        {"a clean file", Workbooks::get().path(QStringLiteral("limpo.xls")), {}, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        env.dialogs.clearShown();
        control<QWidget>("dgbErros")->setEnabled(false);
        auto *path = control<TMaskEdit>("medArqOrig");
        path->setFocus();
        path->SetText(c.path);
        QTest::keyClick(path, Qt::Key_Tab);
        EXPECT_EQ(env.dialogs.errors(), c.errors);
        EXPECT_EQ(env.dialogs.keys().contains(QStringLiteral("ARQ_OK")), c.clean);
        EXPECT_EQ(control("dgbErros")->isEnabled(), c.listed);
        EXPECT_EQ(QApplication::focusWidget(), c.listed ? control("dgbErros") : control("medArqOrig"));
    }
    EXPECT_TRUE(importEnabled());
}

TEST_F(ImportForm, ACleanFileIsImportedWholeAndASecondImportIsRefusedRowByRow) {
    const QString path = Workbooks::get().path(QStringLiteral("limpo.xls"));
    choose(path);
    EXPECT_EQ(errorLines(), std::vector<ErrorLine>());
    EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("ARQ_OK")});
    ASSERT_TRUE(importEnabled());
    EXPECT_EQ(summary(),
              QStringLiteral("A importar: 2 crédito(s) somando 2.469,12 e 2 débito(s) somando 1.385,06."));
    ClientDataSet &movements = form->records.entry.cdsMovBanc;
    ASSERT_EQ(movements.RecordCount(), static_cast<int>(cleanRecords.size()));
    int credits = 0;
    for (size_t i = 0; i < cleanRecords.size(); ++i) {
        SCOPED_TRACE(i);
        const Built &b = cleanRecords[i];
        movements.SetRecNo(static_cast<int>(i) + 1);
        EXPECT_EQ(movements.FieldByName(u"CDREDUCONT").AsString(), b.account);
        EXPECT_EQ(movements.FieldByName(u"IDMOVBANC").AsString(), b.kind);
        EXPECT_EQ(movements.FieldByName(u"DTMOVBANC").AsDateTime().toString(u"dd/MM/yyyy"), b.date);
        EXPECT_DOUBLE_EQ(movements.FieldByName(u"VRMOVBANC").AsFloat(), b.value);
        EXPECT_EQ(movements.FieldByName(u"NRDOCMBANC").AsString(), b.document);
        EXPECT_EQ(movements.FieldByName(u"DSHISMBANC").AsString(), b.history);
        EXPECT_EQ(movements.FieldByName(u"DESCTIPO").AsString(), b.description);
        ClientDataSet &record =
            b.kind == u"C" ? form->records.entry.cdsCredito : form->records.entry.cdsDebito;
        record.SetRecNo(b.kind == u"C" ? ++credits : static_cast<int>(i) + 1 - credits);
        EXPECT_EQ(record.FieldByName(u"NRMOVBANC").AsString(),
                  movements.FieldByName(u"NRMOVBANC").AsString());
        EXPECT_EQ(record.FieldByName(u"CDCLIENTE").AsString(), b.customer);
        EXPECT_EQ(record.FieldByName(u"CDFORNECED").AsString(), b.supplier);
    }

    env.dialogs.clearShown();
    // "Importar" from the keyboard, wherever the focus is.
    QTest::keySequence(control("dgbErros"), QKeySequence(Qt::CTRL | Qt::Key_Return));
    EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("Importacao_OK")});
    EXPECT_EQ(importedMovements(), 4);
    EXPECT_FALSE(importEnabled());
    EXPECT_EQ(control<QProgressBar>("pgbProgresso")->value(), 0);
    EXPECT_TRUE(screens.empty());
    EXPECT_EQ(entryForm.refreshes, 1) << "the entry form found lists what was imported";
    EXPECT_EQ(summary(), QStringLiteral("Importados: 2 crédito(s) e 2 débito(s)."));

    choose(path);
    EXPECT_EQ(errorLines(), (std::vector<ErrorLine>{{2, "Lançamento já cadastrado."},
                                                    {3, "Lançamento já cadastrado."},
                                                    {4, "Lançamento já cadastrado."},
                                                    {5, "Lançamento já cadastrado."}}));
    // Empty rows and a row without a date lie between them in the sheet.
    EXPECT_EQ(sheetRows(), (std::vector<std::pair<int, int>>{{2, 2}, {3, 4}, {4, 6}, {5, 7}}));
    EXPECT_EQ(summary(), QString());
    EXPECT_FALSE(importEnabled());
}

// The books hold one of the file's three equal fees: one row of the file is its repetition, not every one,
// however far apart the equal rows lie.
TEST_F(ImportForm, OneMovementTheBooksHoldIsTheRepetitionOfOneRowOnly) {
    choose(Workbooks::get().path(QStringLiteral("tarifa.xls")));
    ASSERT_TRUE(importEnabled());
    QTest::keySequence(control("dgbErros"), QKeySequence(Qt::CTRL | Qt::Key_Return));
    ASSERT_EQ(importedMovements(), 1);

    choose(Workbooks::get().path(QStringLiteral("tarifas-iguais.xls")));
    EXPECT_EQ(errorLines(), (std::vector<ErrorLine>{{2, "Lançamento já cadastrado."}}));
    // Nor when the equal rows lie in a day of more rows than one call of searches takes, among them rows of
    // the same value and no document.
    choose(Workbooks::get().path(QStringLiteral("tarifas-num-dia-cheio.xlsx")));
    EXPECT_EQ(errorLines(), (std::vector<ErrorLine>{{2, "Lançamento já cadastrado."}}));
    choose(Workbooks::get().path(QStringLiteral("tarifa-sem-documento.xls")));
    ASSERT_TRUE(importEnabled());
    QTest::keySequence(control("dgbErros"), QKeySequence(Qt::CTRL | Qt::Key_Return));
    choose(Workbooks::get().path(QStringLiteral("tarifas-do-mesmo-valor-num-dia-cheio.xlsx")));
    EXPECT_EQ(errorLines(), (std::vector<ErrorLine>{{2, "Lançamento já cadastrado."}}));
    // Nor is a credit that reverses the debit the books hold its repetition.
    choose(Workbooks::get().path(QStringLiteral("estorno.xls")));
    EXPECT_EQ(errorLines(), (std::vector<ErrorLine>{{2, "Lançamento já cadastrado."}}));
}

// Another operator imports the whole file between the check and "Importar": nothing is written twice, and
// the operator is not told of a success.
TEST_F(ImportForm, AFileAnotherOperatorImportedWholeMeanwhileIsNoSuccess) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    importAsAnotherOperator(true);
    const qint64 written = importedMovements();
    ASSERT_GT(written, 0);
    env.dialogs.clearShown();
    QTest::keySequence(control("dgbErros"), QKeySequence(Qt::CTRL | Qt::Key_Return));
    EXPECT_EQ(env.dialogs.texts(),
              QStringList{"Nada foi importado: todos os lançamentos do arquivo já estavam incluídos."});
    EXPECT_EQ(importedMovements(), written);
}

// Opened from the host's menu with no entry form open, the import refreshes nothing and still imports.
TEST_F(ImportForm, EntriesAnotherOperatorImportedMeanwhileAreWrittenOnceAndToldApart) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    // Between the check and "Importar", another operator sends the same credits.
    importAsAnotherOperator(false);
    ASSERT_EQ(importedMovements(), 2);

    env.dialogs.clearShown();
    QTest::keySequence(control("dgbErros"), QKeySequence(Qt::CTRL | Qt::Key_Return));
    EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("Importacao_OK")});
    EXPECT_EQ(summary(),
              QStringLiteral("Importados: 0 crédito(s) e 2 débito(s). Já estavam incluídos e não foram "
                             "gravados de novo: 2 crédito(s) e 0 débito(s)."));

    QSqlQuery query(env.database());
    query.exec(QStringLiteral("SELECT IDMOVBANC, CDOPERADOR, COUNT(*) FROM MOVBANCARIO WHERE DSHISMBANC LIKE "
                              "'%Importação via%' GROUP BY IDMOVBANC, CDOPERADOR ORDER BY IDMOVBANC"));
    QStringList written;
    while (query.next())
        written << QStringLiteral("%1 %2 %3")
                       .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
    EXPECT_EQ(written, (QStringList{"C SUPERV 2", "D DEMO 2"}))
        << "each entry once, by whoever wrote it first";
}

// The debits' call meets accounting errors once the credits' call was written: the accounting screen shows
// the errors, and the form and the entry list tell the credits that are in the books.
TEST_F(ImportForm, CreditsWrittenBeforeTheDebitsWereRefusedAreToldAndListed) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    // Meanwhile the ledger account of the file's debit types, which its credits do not use, stops taking
    // entries.
    env.execute(
        QStringLiteral("UPDATE CONTCTBL SET IDACEITALANC = 'N' WHERE CDCONTCTBL IN (SELECT CDCONTCTBL "
                       "FROM TPDEBIBANC WHERE CDTPDEBIBANC IN ('0002', '0010'))"));
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].code, QStringLiteral("CTB10200"));
    EXPECT_EQ(env.dialogs.keys(), QStringList());
    EXPECT_EQ(importedMovements(), 2);
    EXPECT_EQ(entryForm.refreshes, 1) << "the entry form lists the credits";
    EXPECT_EQ(summary(),
              QStringLiteral("Importados: 2 crédito(s). Os débitos não foram importados: corrija o "
                             "que a tela de contabilização aponta e importe só os débitos (os "
                             "créditos já estão gravados)."));
    EXPECT_TRUE(importEnabled());
    env.dialogs.answer(QStringLiteral("Debitos_Pendentes"), MsgButton::Yes); // closed with the debits unsent
}

// The credits' call meets accounting errors: nothing is written, and the form says so beside the accounting
// screen that shows why.
TEST_F(ImportForm, CreditsThatCannotBeAccountedWriteNothingAndTheFormSaysSo) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    env.execute(
        QStringLiteral("UPDATE CONTCTBL SET IDACEITALANC = 'N' WHERE CDCONTCTBL IN (SELECT CDCONTCTBL "
                       "FROM TPCREDBANC)"));
    form->sbtImportExport->click();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].code, QStringLiteral("CTB10200"));
    EXPECT_EQ(importedMovements(), 0);
    EXPECT_EQ(summary(), QStringLiteral("Nada foi importado: corrija o que a tela de contabilização aponta e "
                                        "importe de novo."));
}

// The entry list's reload failing after the import wrote (the server out of reach by then) takes nothing from
// what the form tells of the import: written whole, or its credits without the debits.
class ReloadFailing : public ImportForm {
protected:
    void importWith(const char *meddling) {
        entryForm.onRefresh = [] {
            throw std::runtime_error("O servidor de aplicação não responde.");
        };
        choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
        ASSERT_TRUE(importEnabled());
        if (meddling != nullptr)
            env.execute(QString::fromUtf8(meddling));
        env.dialogs.clearShown();
        form->sbtImportExport->click();
        EXPECT_TRUE(env.dialogs.texts().join(u'|').contains(u"não responde"));
    }
};

TEST_F(ReloadFailing, AnImportWrittenWholeIsTold) {
    importWith(nullptr);
    EXPECT_EQ(importedMovements(), 4);
    EXPECT_EQ(summary(), QStringLiteral("Importados: 2 crédito(s) e 2 débito(s)."));
    EXPECT_EQ(env.dialogs.keys().count(QStringLiteral("Importacao_OK")), 1);
    EXPECT_FALSE(importEnabled());
}

TEST_F(ReloadFailing, CreditsWrittenBeforeTheDebitsWereRefusedAreTold) {
    importWith("INSERT INTO ORCATPDEBI (CDEMPRESA, CDTPDEBIBANC, CDCENTCUST, NRANO, NRMES, VRORCADO) VALUES "
               "('01', '0002', '0001', 2024, 3, 1)");
    EXPECT_EQ(importedMovements(), 2);
    EXPECT_TRUE(summary().startsWith(u"Importados: 2 crédito(s). A importação dos débitos falhou: "))
        << summary().toStdString();
    EXPECT_TRUE(env.dialogs.errors().contains(summary())) << "the box says the credits are in";
    EXPECT_TRUE(importEnabled()) << "the debits are left to send";
    env.dialogs.answer(QStringLiteral("Debitos_Pendentes"), MsgButton::Yes);
}

// The credits' call runs on the server and its answer is lost on the way back: the form cannot tell what was
// written and says so, rather than that nothing was; "Importar" again skips what is in the books.
class LostAnswer : public ImportForm {
protected:
    void SetUp() override {
        relay.relayTo(env.server().port());
        relay.loseNextAnswerOf(QStringLiteral("setInsertImportCred"));
        env.context().serverPort = relay.port();
        ImportForm::SetUp();
    }
    test::LoopbackRpcServer relay;
};

TEST_F(LostAnswer, CreditsWhoseAnswerWasLostAreToldAsPerhapsWrittenAndTheRetryWritesNothingTwice) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    EXPECT_EQ(importedMovements(), 2) << "the server wrote the file's two credits";
    EXPECT_TRUE(
        summary().startsWith(u"Não se sabe se os créditos foram gravados: a chamada ao servidor falhou "
                             u"depois de enviada."))
        << summary().toStdString();
    ASSERT_EQ(env.dialogs.errors().size(), 1);
    EXPECT_TRUE(env.dialogs.errors()[0].contains(u"a resposta não pôde ser lida"));
    EXPECT_FALSE(env.dialogs.errors()[0].contains(u"--server-tls"))
        << "a server that answered the calls before speaks the protocol asked";
    EXPECT_TRUE(env.dialogs.errors()[0].endsWith(QStringLiteral(". ") + summary()));
    EXPECT_TRUE(screens.empty()) << "no accounting to mend";
    EXPECT_EQ(entryForm.refreshes, 1) << "the entry form lists what is in the books";
    ASSERT_TRUE(importEnabled());

    env.dialogs.clearShown();
    form->sbtImportExport->click();
    EXPECT_EQ(importedMovements(), 4);
    EXPECT_EQ(summary(), QStringLiteral("Importados: 0 crédito(s) e 2 débito(s). Já estavam incluídos e não "
                                        "foram gravados de novo: 2 crédito(s) e 0 débito(s)."));
}

// Another operator closes the file's month between the check and "Importar": the refusal names the line, and
// the line beside the list no longer promises an import but asks for a new check.
TEST_F(ImportForm, ADayClosedAfterTheCheckWritesNothingAndTheFormAsksForANewCheck) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    env.execute(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'F' WHERE CDEMPRESA = '01'"));
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    ASSERT_EQ(env.dialogs.errors().size(), 1);
    EXPECT_TRUE(env.dialogs.errors()[0].startsWith(u"Linha 2 do arquivo: "))
        << env.dialogs.errors()[0].toStdString();
    EXPECT_TRUE(env.dialogs.errors()[0].contains(u"fora do período contábil"));
    EXPECT_EQ(importedMovements(), 0);
    EXPECT_EQ(summary(), QStringLiteral("Nada foi importado. Corrija o que a mensagem apontou e verifique o "
                                        "arquivo de novo (saia do campo do arquivo) antes de importá-lo."));
    EXPECT_FALSE(importEnabled());
}

// Between the check and "Importar", another operator leaves the month's budget of the file's debit type
// nothing to take: the debits' call is refused once the credits' call was written. The form tells both; sent
// again, once the budget allows it, the import sends only the debits, so that a credit the other operator
// deleted meanwhile is not written again.
TEST_F(ImportForm, DebitsRefusedAfterTheCreditsWereWrittenAreToldAndTheRetrySendsOnlyThem) {
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    ASSERT_TRUE(importEnabled());
    env.execute(QStringLiteral("INSERT INTO ORCATPDEBI (CDEMPRESA, CDTPDEBIBANC, CDCENTCUST, NRANO, NRMES, "
                               "VRORCADO) VALUES ('01', '0002', '0001', 2024, 3, 1)"));
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    ASSERT_EQ(env.dialogs.errors().size(), 1) << env.dialogs.texts().join(u'|').toStdString();
    const QString told = env.dialogs.errors()[0];
    EXPECT_TRUE(told.contains(u"supera o valor orçado")) << told.toStdString();
    EXPECT_TRUE(told.contains(u"falhou: Linha 4 do arquivo: "))
        << "named as the operator finds it in the file";
    EXPECT_TRUE(screens.empty()) << "no accounting to mend";
    EXPECT_EQ(importedMovements(), 2);
    EXPECT_EQ(entryForm.refreshes, 1) << "the entry form lists the credits";
    EXPECT_EQ(summary(), told) << "the box says what the line does: the credits are in";
    EXPECT_TRUE(summary().startsWith(u"Importados: 2 crédito(s). A importação dos débitos falhou: "));
    EXPECT_TRUE(summary().endsWith(u"Corrija o que impediu os débitos e importe de novo: só os débitos são "
                                   u"enviados (os créditos já estão gravados)."));
    EXPECT_TRUE(importEnabled());
    // The same file checked again is not read anew: its written credits would be errors, repetitions of
    // themselves, and the debits could not be sent. Closing the screen asks first.
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    EXPECT_TRUE(importEnabled());
    EXPECT_EQ(errorLines(), std::vector<ErrorLine>());
    env.dialogs.answer(QStringLiteral("Debitos_Pendentes"), MsgButton::No);
    EXPECT_FALSE(form->CanClose());

    QSqlQuery credit(env.database());
    credit.exec(QStringLiteral("SELECT CDREDUCONT, NRMOVBANC FROM MOVBANCARIO WHERE IDMOVBANC = 'C' AND "
                               "DSHISMBANC LIKE '%Importação via%' ORDER BY NRMOVBANC"));
    ASSERT_TRUE(credit.next());
    const QString account = credit.value(0).toString(), movement = credit.value(1).toString();
    credit.finish();
    SecondOperator(env.server()).deleteEntry(account, movement);
    env.execute(QStringLiteral("DELETE FROM ORCATPDEBI WHERE CDTPDEBIBANC = '0002' AND NRANO = 2024"));
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("Importacao_OK")});
    EXPECT_EQ(importedMovements(), 3) << "the deleted credit stays deleted";
    EXPECT_EQ(summary(), QStringLiteral("Importados: 2 crédito(s) e 2 débito(s)."));
    EXPECT_TRUE(form->CanClose()) << "nothing left to send, nothing to ask";
}

// Another program saves the file between the check and "Importar": the rows checked are not what the file
// now says, and nothing is written.
TEST_F(ImportForm, AFileSavedAgainSinceItWasCheckedIsNotImported) {
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("mudado.xls"));
    ASSERT_TRUE(QFile::copy(Workbooks::get().path(QStringLiteral("limpo.xls")), path));
    choose(path);
    ASSERT_TRUE(importEnabled());
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(Workbooks::get().path(QStringLiteral("erro-no-fim.xls")), path));
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    EXPECT_EQ(
        env.dialogs.errors(),
        QStringList{"O arquivo foi alterado depois de verificado: nada foi importado. Verifique-o de novo "
                    "(saia do campo do arquivo) antes de importá-lo."});
    EXPECT_EQ(importedMovements(), 0);
    EXPECT_FALSE(importEnabled());
}

TEST_F(ImportForm, WithoutAnEntryFormToFindTheImportRefreshesNothing) {
    Cli_bco11104::CriaImportacao([]() -> Cli_bco11100::EntryFormServices * { return nullptr; });
    ASSERT_EQ(Cli_bco11104::frmImportLanc.data(), form.data()) << "the one import form is brought forward";
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("Importacao_OK")});
    EXPECT_EQ(importedMovements(), 4);
    EXPECT_EQ(entryForm.refreshes, 0);
}

TEST_F(ImportForm, EveryFormatGivesTheSameRecords) {
    std::vector<std::vector<QString>> built;
    for (const char *name : {"limpo.xls", "limpo.xlsx", "limpo.ods"}) {
        SCOPED_TRACE(name);
        choose(Workbooks::get().path(QString::fromLatin1(name)));
        EXPECT_EQ(errorLines(), std::vector<ErrorLine>());
        std::vector<QString> rows;
        ClientDataSet &movements = form->records.entry.cdsMovBanc;
        for (movements.First(); !movements.Eof(); movements.Next())
            rows.push_back(movements.FieldByName(u"DTMOVBANC").AsString() + u'|' +
                           movements.FieldByName(u"VRMOVBANC").AsString() + u'|' +
                           movements.FieldByName(u"DSHISMBANC").AsString());
        built.push_back(rows);
    }
    EXPECT_EQ(built[1], built[0]);
    EXPECT_EQ(built[2], built[0]);
}

TEST_F(ImportForm, AWorkbookThatCannotBeReadIsToldAndNothingIsWritten) {
    struct Case {
        const char *file;
        QString error;
    };
    const Case cases[] = {
        {"truncado.xls", "A pasta de trabalho está danificada ou incompleta"},
        {"protegido.xls",
         "A pasta de trabalho está protegida por senha. Salve-a sem senha e tente novamente."},
        {"texto.xls", "O arquivo não é uma pasta de trabalho do Excel"},
        {"sem-aba.xls", "A planilha \"Plan1\" não foi encontrada na pasta de trabalho."},
        {"sem-valor.xls", "A coluna \"Valor\" não foi encontrada na linha de títulos da planilha \"Plan1\"."},
        {"sem-linhas.xls",
         "O arquivo não tem lançamentos: nenhuma linha abaixo da linha de títulos tem a Data preenchida."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        env.dialogs.clearShown();
        choose(Workbooks::get().path(QString::fromLatin1(c.file)));
        ASSERT_EQ(env.dialogs.errors().size(), 1);
        EXPECT_TRUE(env.dialogs.errors().front().startsWith(c.error))
            << env.dialogs.errors().front().toStdString();
        EXPECT_EQ(errorLines(), std::vector<ErrorLine>());
        EXPECT_FALSE(importEnabled());
        const auto *progress = control<QProgressBar>("pgbProgresso");
        EXPECT_GT(progress->maximum(), 0) << "a bar of no range is drawn busy";
    }
    EXPECT_EQ(importedMovements(), 0);
}

// A day the import's write would be refused on is its rows' error in the check, so that a file checked clean
// is one the import writes.
TEST_F(ImportForm, ARowOnADayTheServerWouldRefuseIsItsErrorInTheCheck) {
    const QString blocked =
        QStringLiteral("Operação bloqueada! Data deve ser maior ou igual a data de processamento.");
    const QString outside = QStringLiteral("Data do lançamento fora do período contábil.");
    const struct {
        const char *name;
        const char *closing, *reopening;
        std::vector<ErrorLine> expected;
    } cases[] = {
        {"the 14th blocked to the operator",
         "UPDATE PARAMGERAL SET IDBLOQDATA = 'S', DTBLOQATE = '2024-03-14' WHERE TRIM(CDMODULO) = 'BCO_'",
         "UPDATE PARAMGERAL SET DTBLOQATE = NULL WHERE TRIM(CDMODULO) = 'BCO_'",
         {{4, blocked}, {5, blocked}}},
        {"company 02's period closed",
         "UPDATE PERIODOCTB SET IDSITUPERI = 'F' WHERE CDEMPRESA = '02'",
         "UPDATE PERIODOCTB SET IDSITUPERI = 'A' WHERE CDEMPRESA = '02'",
         {{5, outside}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        env.execute(QString::fromUtf8(c.closing));
        choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
        EXPECT_EQ(errorLines(), c.expected);
        EXPECT_FALSE(importEnabled());
        env.execute(QString::fromUtf8(c.reopening));
    }
    EXPECT_EQ(importedMovements(), 0);
}

TEST_F(ImportForm, TypingIntoThePathEmptiesTheListAndClosesTheImport) {
    choose(Workbooks::get().path(QStringLiteral("erros.xls")));
    ASSERT_FALSE(errorLines().empty());
    auto *path = control<TMaskEdit>("medArqOrig");
    path->setFocus();
    QTest::keyClick(path, Qt::Key_End);
    QTest::keyClicks(path, QStringLiteral("x"));
    EXPECT_EQ(errorLines(), std::vector<ErrorLine>());
    EXPECT_FALSE(importEnabled());
}

TEST_F(ImportForm, CtrlDeleteLeavesTheErrorLineInPlace) {
    choose(Workbooks::get().path(QStringLiteral("erros.xls")));
    auto *grid = control<TNewDBGrid>("dgbErros");
    grid->setFocus();
    env.dialogs.clearShown();
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(errorLines().size(), refusalLines.size());
    EXPECT_EQ(env.dialogs.texts(), QStringList());
}

// The import of an operator of company 01 alone.
class RestrictedImport : public ImportForm {
protected:
    RestrictedImport()
        : ImportForm({.operatorCode = QStringLiteral("RESTRITO")}) {}
};

TEST_F(RestrictedImport, AnAccountOfAnotherCompanyIsItsRowsErrorAndThePassGoesOn) {
    choose(Workbooks::get().path(QStringLiteral("outra-empresa.xls")));
    EXPECT_EQ(env.dialogs.errors(), QStringList()) << "the server refused nothing";
    EXPECT_EQ(errorLines(),
              (std::vector<ErrorLine>{
                  {2, "Operador não relacionado a empresa da conta corrente informada."},
                  {3, "Forma de Lançamento Inválida. Informar \"C\" para Crédito ou \"D\" para Débito."}}));
    EXPECT_FALSE(importEnabled());
}

// bco-import over the same files, in a session of the test's server.
class CommandLine : public ImportForm {
protected:
    explicit CommandLine(FormTestOptions options = {})
        : ImportForm(std::move(options)) {}

    struct Run {
        int exitCode;
        QString out, err;
    };

    // Runs bco-import in a session of the test's server, or of whatever listens on `port` for it.
    Run run(const QStringList &arguments, int port = 0) {
        QTemporaryDir config;
        QFile ini(config.filePath(QStringLiteral("bco-host.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.close();
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BCO_PASSWORD"), QStringLiteral("demo"));
        process.setProcessEnvironment(environment);
        QStringList session{
            QStringLiteral("--config"),      ini.fileName(),
            QStringLiteral("--operator"),    QStringLiteral("DEMO"),
            QStringLiteral("--branch"),      QStringLiteral("0101"),
            QStringLiteral("--server-host"), env.server().host(),
            QStringLiteral("--server-port"), QString::number(port ? port : env.server().port()),
            QStringLiteral("--database"),    QStringLiteral("sqlite:") + env.databasePath()};
        if (const TransportSecurity security = env.server().clientSecurity(); security.tls)
            session << QStringLiteral("--server-tls") << QStringLiteral("--server-ca") << security.caFile;
        process.start(QStringLiteral(BCO_IMPORT_PATH), session + arguments);
        // The server answers from this process's thread pool; the program only has to be waited for.
        if (!process.waitForFinished(60000))
            ADD_FAILURE() << "bco-import did not end";
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Another client draws the next number of each of account 001's series.
    std::vector<qint64> drawNumbers() {
        NetConnection other;
        Ondrima::PrepareConnection(other);
        std::vector<qint64> numbers;
        for (const char *method : {"getPrxMovBancario", "getPrxMovCredBanc", "getPrxMovDebBanc"}) {
            const RemoteResult drawn =
                other.Call(QString::fromLatin1(method), {QStringLiteral("001"), QStringLiteral("1")});
            EXPECT_TRUE(drawn.ok()) << method << ": " << drawn.errorMessage().toStdString();
            numbers.push_back(drawn.payload().toText().toLongLong());
        }
        return numbers;
    }
};

TEST_F(CommandLine, GivesTheFormsErrorListAndImportsACleanFileOnce) {
    const QString refusals = Workbooks::get().path(QStringLiteral("erros.xls"));
    choose(refusals);
    QStringList formLines;
    for (const auto &[line, text] : errorLines())
        formLines << QStringLiteral("%1\t%2").arg(line).arg(text);

    const Run checked = run({QStringLiteral("--check"), refusals});
    EXPECT_EQ(checked.exitCode, 1) << checked.err.toStdString();
    EXPECT_EQ(checked.out.split(u'\n', Qt::SkipEmptyParts), formLines);
    // Imported, a file whose wrong row comes after a right one takes no number for the right one.
    const std::vector<qint64> beforeRefused = drawNumbers();
    const Run lateRefusal = run({Workbooks::get().path(QStringLiteral("erro-no-fim.xls"))});
    EXPECT_EQ(lateRefusal.exitCode, 1) << lateRefusal.err.toStdString();
    EXPECT_EQ(lateRefusal.out.trimmed(), QStringLiteral("3\tConta Corrente não cadastrada."));
    std::vector<qint64> nextAfterRefused;
    for (const qint64 number : beforeRefused)
        nextAfterRefused.push_back(number + 1);
    EXPECT_EQ(drawNumbers(), nextAfterRefused) << "a file with errors drew numbers";

    const QString clean = Workbooks::get().path(QStringLiteral("limpo.ods"));
    const std::vector<qint64> numbersBefore = drawNumbers();
    const Run onlyChecked = run({QStringLiteral("--check"), clean});
    EXPECT_EQ(onlyChecked.exitCode, 0) << onlyChecked.err.toStdString();
    EXPECT_EQ(onlyChecked.out.trimmed(), QStringLiteral("Arquivo sem erros: 2 crédito(s) e 2 débito(s)."));
    EXPECT_EQ(importedMovements(), 0);
    std::vector<qint64> followers;
    for (const qint64 number : numbersBefore)
        followers.push_back(number + 1);
    EXPECT_EQ(drawNumbers(), followers) << "the check drew no number of account 001";
    const Run imported = run({clean});
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_EQ(imported.out.trimmed(), QStringLiteral("Importados 2 crédito(s) e 2 débito(s)."));
    EXPECT_EQ(importedMovements(), 4);
    const Run again = run({clean});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out.split(u'\n', Qt::SkipEmptyParts).size(), 4) << again.out.toStdString();

    struct Refused {
        const char *name;
        QStringList arguments;
        const char *error;
    };
    const Refused refused[] = {
        {"a file that is no workbook",
         {Workbooks::get().path(QStringLiteral("texto.xls"))},
         "não é uma pasta"},
        {"a file that is not there", {QStringLiteral("/nada/nada.xls")}, "Arquivo não existe"},
        {"a folder", {QStringLiteral("/tmp")}, "/tmp não é um arquivo"},
        {"a password on the command line",
         {QStringLiteral("--password"), QStringLiteral("demo"), clean},
         "password"},
    };
    for (const Refused &r : refused) {
        SCOPED_TRACE(r.name);
        const Run result = run(r.arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.contains(QString::fromUtf8(r.error))) << result.err.toStdString();
    }
    EXPECT_EQ(importedMovements(), 4);
}

// Each account draws its own movement numbers: the server names a refused entry by its number and its
// account, which the line of the file is told by even where the same number was drawn for two accounts.
TEST_F(CommandLine, ARefusalOfANumberTwoAccountsDrewNamesItsLine) {
    env.execute(QStringLiteral("INSERT INTO ORCATPDEBI (CDEMPRESA, CDTPDEBIBANC, CDCENTCUST, NRANO, NRMES, "
                               "VRORCADO) VALUES ('01', '0002', '0001', 2024, 3, 1)"));
    env.execute(QStringLiteral("DELETE FROM NUMERACAO WHERE IDTIPONUM = 'MB' AND CDCHAVE IN ('001', '004')"));
    env.execute(
        QStringLiteral("INSERT INTO NUMERACAO (IDTIPONUM, CDCHAVE, NRULTIMO) VALUES ('MB', '001', 5000), "
                       "('MB', '004', 5002)"));
    const Run refused = run({Workbooks::get().path(QStringLiteral("limpo.ods"))});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.startsWith(u"Linha 4 do arquivo: Lançamento não foi incluído pois supera"))
        << refused.err.toStdString();
}

// The debits refused after the credits were written: a script learns that the credits are in, and once the
// cause is mended sends the file's debits alone (its credits would now be errors, as repetitions).
TEST_F(CommandLine, DebitsRefusedAfterTheCreditsWereWrittenTellTheCreditsWrittenAndGoAloneLater) {
    env.execute(QStringLiteral("INSERT INTO ORCATPDEBI (CDEMPRESA, CDTPDEBIBANC, CDCENTCUST, NRANO, NRMES, "
                               "VRORCADO) VALUES ('01', '0002', '0001', 2024, 3, 1)"));
    const QString file = Workbooks::get().path(QStringLiteral("limpo.ods"));
    const Run refused = run({file});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.out.trimmed(),
              QStringLiteral("Importados 2 crédito(s); os débitos não foram importados: corrigido o que os "
                             "impediu, importe o mesmo arquivo com --kind D, que envia só os débitos."));
    EXPECT_TRUE(refused.err.contains(u"supera o valor orçado")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.startsWith(u"Linha 4 do arquivo: ")) << refused.err.toStdString();
    EXPECT_EQ(importedMovements(), 2);

    env.execute(QStringLiteral("DELETE FROM ORCATPDEBI WHERE CDTPDEBIBANC = '0002' AND VRORCADO = 1"));
    EXPECT_EQ(run({file}).exitCode, 1) << "the credits written are repetitions now";
    EXPECT_EQ(run({QStringLiteral("--kind"), QStringLiteral("x"), file}).exitCode, 2);
    const Run debits = run({QStringLiteral("--kind"), QStringLiteral("d"), file});
    EXPECT_EQ(debits.exitCode, 0) << debits.out.toStdString() << debits.err.toStdString();
    EXPECT_EQ(debits.out.trimmed(), QStringLiteral("Importados 0 crédito(s) e 2 débito(s)."));
    EXPECT_EQ(importedMovements(), 4);
}

// The debits' call runs and its answer is lost: the credits are told on the standard output as written, the
// debits as perhaps written, and the program does not take the file for refused whole.
TEST_F(CommandLine, DebitsWhoseAnswerWasLostAreToldAsPerhapsWritten) {
    test::LoopbackRpcServer relay;
    relay.relayTo(env.server().port());
    relay.loseNextAnswerOf(QStringLiteral("setInsertImportDeb"));
    const Run lost = run({Workbooks::get().path(QStringLiteral("limpo.ods"))}, relay.port());
    EXPECT_EQ(lost.exitCode, 2);
    EXPECT_EQ(lost.out.trimmed(), QStringLiteral("Importados 2 crédito(s)."));
    EXPECT_TRUE(lost.err.contains(u"a resposta não pôde ser lida")) << lost.err.toStdString();
    EXPECT_FALSE(lost.err.contains(u"--server-tls")) << lost.err.toStdString();
    EXPECT_TRUE(
        lost.err.trimmed().endsWith(u"Não se sabe se os débitos foram gravados: a chamada ao servidor "
                                    u"falhou depois de enviada. Confira a lista de lançamentos da conta: "
                                    u"o que não estiver lá pode ser importado de novo (os débitos "
                                    u"sozinhos, com --kind D)."))
        << lost.err.toStdString();
    EXPECT_EQ(importedMovements(), 4);
}

// A session over TLS: every connection of the import, the form's and the one that draws the numbers, and
// bco-import's, speaks HTTPS to a server that serves nothing else.
class ImportOverTls : public CommandLine {
protected:
    ImportOverTls()
        : CommandLine({.tls = true}) {}
};

TEST_F(ImportOverTls, ACleanFileIsCheckedAndImported) {
    const Run checked = run({QStringLiteral("--check"), Workbooks::get().path(QStringLiteral("limpo.ods"))});
    EXPECT_EQ(checked.exitCode, 0) << checked.err.toStdString();
    choose(Workbooks::get().path(QStringLiteral("limpo.xls")));
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(errorLines(), std::vector<ErrorLine>());
    ASSERT_TRUE(importEnabled());
    form->sbtImportExport->click();
    EXPECT_EQ(env.dialogs.keys(), (QStringList{QStringLiteral("ARQ_OK"), QStringLiteral("Importacao_OK")}));
    EXPECT_EQ(importedMovements(), 4);
}

// A line of a statement of March 2024 as the bank writes it in OFX.
struct OfxLine {
    int day;
    const char *amount; // signed, a comma before the cents as Brazilian banks write it
    const char *id;
    const char *document;
    const char *memo;
};

// An OFX 1.x statement of account `number` of `bank`, agency `agency` (none named when `bank` is empty) from
// the 11th to the 13th of March 2024, closing at `closingCents`.
QByteArray ofxOf(const QString &bank, const QString &agency, const QString &number,
                 const QList<OfxLine> &lines, qint64 closingCents) {
    QByteArray text = "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\nENCODING:USASCII\n"
                      "CHARSET:1252\nCOMPRESSION:NONE\nOLDFILEUID:NONE\nNEWFILEUID:NONE\n\n<OFX>\n"
                      "<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO</STATUS>\n"
                      "<STMTRS><CURDEF>BRL\n";
    if (!bank.isEmpty())
        text += QStringLiteral("<BANKACCTFROM><BANKID>%1<BRANCHID>%2<ACCTID>%3-%4<ACCTTYPE>CHECKING"
                               "</BANKACCTFROM>\n")
                    .arg(bank, agency, number.chopped(1), number.right(1))
                    .toLatin1();
    text += "<BANKTRANLIST><DTSTART>20240311<DTEND>20240313\n";
    for (const OfxLine &line : lines)
        text += QStringLiteral(
                    "<STMTTRN><TRNTYPE>%1<DTPOSTED>%2<TRNAMT>%3<FITID>%4<CHECKNUM>%5<MEMO>%6</STMTTRN>\n")
                    .arg(line.amount[0] == '-' ? "DEBIT" : "CREDIT",
                         QDate(2024, 3, line.day).toString(u"yyyyMMdd") + QStringLiteral("120000[-3:BRT]"),
                         QLatin1String(line.amount), QLatin1String(line.id), QLatin1String(line.document),
                         QLatin1String(line.memo))
                    .toLatin1();
    text += QStringLiteral("</BANKTRANLIST><LEDGERBAL><BALAMT>%1<DTASOF>20240313</LEDGERBAL></STMTRS>\n"
                           "</STMTTRNRS></BANKMSGSRSV1></OFX>\n")
                .arg(closingCents / 100.0, 0, 'f', 2)
                .toLatin1();
    return text;
}

// The application server seen through a relay, which lets another operator act just before the first
// reconciliation a program sends reaches the server.
class RelayedServer {
public:
    RelayedServer(const InProcessServer &server, std::function<void()> beforeFirstReconciliation)
        : before_(std::move(beforeFirstReconciliation)) {
        relay_.relayTo(server.port());
        relay_.beforeRelaying([this](const QString &method) {
            if (method == u"SetConciliacao" && !acted_) {
                acted_ = true;
                before_();
            }
        });
    }
    int port() const { return relay_.port(); }
    // How many calls of the method went through.
    int calls(const QString &method) const {
        int count = 0;
        for (const auto &call : relay_.calls())
            count += call.method.compare(method, Qt::CaseInsensitive) == 0 ? 1 : 0;
        return count;
    }

private:
    std::function<void()> before_;
    test::LoopbackRpcServer relay_;
    bool acted_ = false;
};

// bco-import --statement over statements of account 001 whose lines stand for entries the test includes
// through the server as another client would.
class StatementCommandLine : public CommandLine {
protected:
    explicit StatementCommandLine(FormTestOptions options = {})
        : CommandLine(std::move(options)) {}

    void SetUp() override {
        CommandLine::SetUp();
        QSqlQuery query(env.database());
        query.exec(
            QStringLiteral("SELECT CDBANCO, CDAGENCIA, CDCONTCORR FROM CONTCORR WHERE CDREDUCONT = '001'"));
        ASSERT_TRUE(query.next());
        bank = query.value(0).toString();
        agency = query.value(1).toString();
        number = query.value(2).toString();
    }

    void include(EntryRequest &entry) {
        SecondOperator books(env.server(), QStringLiteral("DEMO"));
        const Insertion call = insertion(entry, [&](const QString &method, const QString &account) {
            return books.call(method, {account, QStringLiteral("1")}).toText();
        });
        books.call(call.method, call.args);
    }

    QString file(const QString &name, const QByteArray &content) {
        const QString path = folder.filePath(name);
        QFile written(path);
        written.open(QIODevice::WriteOnly);
        written.write(content);
        return path;
    }

    QString sql(const QString &query) { return rows::value(env.database(), query).toString(); }

    // The reconciliation of a movement of account 001: its state, statement and line.
    QString reconciliationOf(const EntryRequest &entry) {
        return rows::reconciliationOf(env.database(), entry.movement);
    }

    QString bank, agency, number;
    QTemporaryDir folder;
};

// A bank that numbers each day's lines from 1: the next day's file holds a line under the id of one already
// stored. It is stored, and told among the lines left to reconcile, rather than taken for the one held.
TEST_F(StatementCommandLine, ALineUnderTheIdOfAnotherDaysLineIsStoredAndTold) {
    const QString lines = QStringLiteral("SELECT COUNT(*) FROM MOVEXTRATO WHERE CDREDUCONT = '001'");
    const QString before = sql(lines);
    const Run first =
        run({"--statement", file(QStringLiteral("dia11.ofx"),
                                 ofxOf(bank, agency, number, {{11, "10,00", "1", "", "DEPOSITO"}}, 0))});
    EXPECT_NE(first.exitCode, 2) << first.err.toStdString();
    const Run second =
        run({"--statement", file(QStringLiteral("dia12.ofx"),
                                 ofxOf(bank, agency, number, {{12, "-25,00", "1", "", "TARIFA"}}, 0))});
    EXPECT_NE(second.exitCode, 2) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(QStringLiteral("12/03/2024\t-25,00\tTARIFA")))
        << second.out.toStdString();
    EXPECT_EQ(sql(lines).toInt(), before.toInt() + 2);
}

// A line an earlier file stored is told by its line in the file given, where the operator looks for it.
TEST_F(StatementCommandLine, ALineHeldFromAnEarlierFileIsToldByItsLineInTheFileGiven) {
    const Run first =
        run({"--statement",
             file(QStringLiteral("antes.ofx"),
                  ofxOf(bank, agency, number,
                        {{11, "10,00", "A1", "", "DEPOSITO"}, {11, "-3,00", "A2", "", "TARIFA"}}, 0))});
    EXPECT_NE(first.exitCode, 2) << first.err.toStdString();
    const QByteArray later = ofxOf(bank, agency, number,
                                   {{12, "7,00", "A3", "", "PIX"},
                                    {11, "-3,00", "A2", "", "TARIFA"},
                                    {11, "10,00", "A1", "", "DEPOSITO"}},
                                   0);
    const Run second = run({"--statement", file(QStringLiteral("depois.ofx"), later)});
    EXPECT_NE(second.exitCode, 2) << second.err.toStdString();
    const auto lineOf = [&](const char *memo) {
        return later.left(later.indexOf(memo)).count('\n') + 1;
    };
    for (const QString &told : {QStringLiteral("%1\t11/03/2024\t10,00\tDEPOSITO").arg(lineOf("DEPOSITO")),
                                QStringLiteral("%1\t11/03/2024\t-3,00\tTARIFA").arg(lineOf("TARIFA")),
                                QStringLiteral("%1\t12/03/2024\t7,00\tPIX").arg(lineOf("PIX"))})
        EXPECT_TRUE(second.out.contains(told)) << told.toStdString() << "\n" << second.out.toStdString();
}

// The reconciliation's call runs and its answer is lost: the program does not say it was not written, and the
// lines it lists after it say what is reconciled.
TEST_F(StatementCommandLine, AReconciliationWhoseAnswerWasLostIsNotToldAsUnwritten) {
    EntryRequest cheque{.kind = 'C',
                        .date = QDate(2024, 3, 11),
                        .value = 1234.57,
                        .description = QStringLiteral("Cheque depositado"),
                        .document = QStringLiteral("501")};
    include(cheque);
    test::LoopbackRpcServer relay;
    relay.relayTo(env.server().port());
    relay.loseNextAnswerOf(QStringLiteral("SetConciliacao"));
    const QString statement =
        file(QStringLiteral("extrato.ofx"),
             ofxOf(bank, agency, number, {{11, "1234,57", "F1", "501", "DEPOSITO"}}, 0));
    const Run reconciled = run({"--statement", statement, "--reconcile"}, relay.port());
    EXPECT_TRUE(reconciled.err.contains(u"Não se sabe se a conciliação foi gravada: a chamada ao servidor "
                                        u"falhou depois de enviada"))
        << reconciled.err.toStdString();
    EXPECT_FALSE(reconciled.err.contains(u"não foi gravada")) << reconciled.err.toStdString();
    EXPECT_TRUE(reconciliationOf(cheque).startsWith(u"1 ")) << "the call ran";
}

TEST_F(StatementCommandLine, StoresTheStatementReconcilesWhatIsCertainAndTellsWhatIsLeft) {
    auto entryOf = [](char kind, int day, double value, const char *description, const char *document = "") {
        return EntryRequest{.kind = kind,
                            .date = QDate(2024, 3, day),
                            .value = value,
                            .description = QString::fromUtf8(description),
                            .document = QString::fromUtf8(document)};
    };
    EntryRequest cheque = entryOf('C', 11, 1234.57, "Cheque depositado", "501");
    EntryRequest payment = entryOf('D', 13, 321.09, "Pagamento dois dias depois");
    EntryRequest first = entryOf('C', 12, 100.03, "Cheque 1 do depósito");
    EntryRequest second = entryOf('C', 12, 200.05, "Cheque 2 do depósito");
    EntryRequest third = entryOf('C', 12, 300.07, "Cheque 3 do depósito");
    EntryRequest transfer = entryOf('C', 12, 77.77, "Transferência recebida");
    for (EntryRequest *entry : {&cheque, &payment, &first, &second, &third, &transfer})
        include(*entry);
    const qint64 books = std::llround(SecondOperator(env.server(), QStringLiteral("DEMO"))
                                          .call(QStringLiteral("getSaldoDia"), {"001", QDate(2024, 3, 13)})
                                          .toFloat() *
                                      100);
    // The bank took a fee the books do not hold yet.
    const qint64 closing = books - 1234;
    const QList<OfxLine> lines{{11, "1234,57", "F1", "501", "DEPOSITO CHEQUE"},
                               {11, "-321,09", "F2", "", "PAGAMENTO"},
                               {12, "600,15", "F3", "", "DEPOSITO 3 CHEQUES"},
                               {12, "77,77", "F4", "", "TED RECEBIDA"},
                               {13, "-12,34", "F5", "", "TARIFA PACOTE"},
                               // A notice of no amount, which nothing pairs and nothing needs to.
                               {13, "0,00", "F6", "", "AVISO"}};
    const QString statement =
        file(QStringLiteral("extrato.ofx"), ofxOf(bank, agency, number, lines, closing));
    // The sentence groups the thousands, as the screens do.
    const auto reais = [](qint64 cents) {
        return QStringLiteral("%1%2,%3")
            .arg(cents < 0 ? "-" : "")
            .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(std::abs(cents) / 100))
            .arg(std::abs(cents) % 100, 2, 10, QLatin1Char('0'));
    };

    struct Refused {
        const char *name;
        QStringList arguments;
        const char *error;
    };
    const QByteArray whole = ofxOf(bank, agency, number, lines, closing);
    const QString statementsBefore = sql(QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC"));
    const Refused refused[] = {
        {"a file cut short",
         {"--statement", file(QStringLiteral("cortado.ofx"), whole.left(whole.size() / 2))},
         "parece incompleto"},
        {"a file that names no account, without --account",
         {"--statement", file(QStringLiteral("sem-conta.ofx"), ofxOf({}, {}, {}, lines, closing))},
         "informe a conta corrente com --account"},
        {"a file of an account the operator has not",
         {"--statement",
          file(QStringLiteral("outra.ofx"), ofxOf(bank, QStringLiteral("9999"), number, lines, closing))},
         "Nenhuma conta corrente"},
        {"the file of one account chosen for another",
         {"--statement", statement, "--account", "002"},
         "e não da conta corrente 002"},
        {"--reconcile without a statement", {"--reconcile", statement}, "valem só com --statement"},
    };
    for (const Refused &r : refused) {
        SCOPED_TRACE(r.name);
        const Run result = run(r.arguments);
        EXPECT_EQ(result.exitCode, 2) << result.out.toStdString();
        EXPECT_TRUE(result.err.contains(QString::fromUtf8(r.error))) << result.err.toStdString();
        EXPECT_EQ(sql(QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC")), statementsBefore);
    }

    const QString difference =
        QStringLiteral("Diferença do saldo final em 13/03/2024: -12,34 (banco %1, livros %2)")
            .arg(reais(closing), reais(books));
    const Run stored = run({"--statement", statement});
    EXPECT_EQ(stored.exitCode, 1) << stored.err.toStdString();
    EXPECT_EQ(
        stored.out.split(u'\n', Qt::SkipEmptyParts),
        (QStringList{"16\t11/03/2024\t1234,57\tDEPOSITO CHEQUE", "17\t11/03/2024\t-321,09\tPAGAMENTO",
                     "18\t12/03/2024\t600,15\tDEPOSITO 3 CHEQUES", "19\t12/03/2024\t77,77\tTED RECEBIDA",
                     "20\t13/03/2024\t-12,34\tTARIFA PACOTE", difference}));
    const QString held =
        sql(QStringLiteral("SELECT MAX(CDSEQUEXBA) FROM EXTRATOBANC WHERE CDREDUCONT = '001'"));
    ASSERT_FALSE(held.isEmpty());

    // Another operator reconciles the transfer between the proposals the program reads and its
    // reconciliation, which the server then refuses whole: the program asks again and reconciles the rest.
    RelayedServer relayed(env.server(), [&] {
        SecondOperator other(env.server(), QStringLiteral("RESTRITO"));
        const DataPacket proposals =
            other.call(QStringLiteral("GetSugestoesConciliacao"), {"001", held}).packet();
        for (int row = 0; row < proposals.rowCount(); ++row) {
            if (proposals.value(row, u"NRMOVBANC").toText() != transfer.movement)
                continue;
            other.call(
                QStringLiteral("SetConciliacao"),
                {"001", pairingPacket({{held, proposals.value(row, u"NRSEQMOVREBA").toText(),
                                        proposals.value(row, u"NRVERSAOLINHA").toText(), transfer.movement,
                                        proposals.value(row, u"NRVERSAO").toText()}})});
        }
    });
    const Run reconciled = run({"--statement", statement, "--reconcile"}, relayed.port());
    EXPECT_EQ(reconciled.exitCode, 1) << reconciled.err.toStdString();
    EXPECT_EQ(reconciled.out.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{"20\t13/03/2024\t-12,34\tTARIFA PACOTE", difference}));
    EXPECT_TRUE(reconciled.err.contains(u"já foi importado")) << reconciled.err.toStdString();
    EXPECT_TRUE(reconciled.err.contains(u"3 linha(s) conciliada(s).")) << reconciled.err.toStdString();
    EXPECT_EQ(relayed.calls(QStringLiteral("SetConciliacao")), 2)
        << "the refused reconciliation and the next";
    const struct {
        const EntryRequest &entry;
        const char *line;
    } expected[] = {{cheque, "0000000001"}, {payment, "0000000002"}, {first, "0000000003"},
                    {second, "0000000003"}, {third, "0000000003"},   {transfer, "0000000004"}};
    for (const auto &e : expected)
        EXPECT_EQ(reconciliationOf(e.entry), QStringLiteral("1 %1 %2").arg(held, QLatin1String(e.line)))
            << e.entry.description.toStdString();
    EXPECT_EQ(sql(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'SetConciliacao' AND "
                                 "CDOPERADOR = 'RESTRITO'")),
              u"1");

    // The fee, once an operator includes it, is reconciled too, and the balances agree.
    EntryRequest fee = entryOf('D', 13, 12.34, "Tarifa do pacote");
    include(fee);
    const Run agreed = run({"--statement", statement, "--reconcile"});
    EXPECT_EQ(agreed.exitCode, 0) << agreed.err.toStdString();
    EXPECT_EQ(agreed.out.trimmed(),
              QStringLiteral("Diferença do saldo final em 13/03/2024: 0,00 (banco %1, livros %1)")
                  .arg(reais(closing)));
    EXPECT_EQ(reconciliationOf(fee), QStringLiteral("1 %1 0000000005").arg(held));
    EXPECT_EQ(sql(QStringLiteral("SELECT COUNT(*) FROM MOVEXTRATO WHERE CDSEQUEXBA = '%1'").arg(held)), u"6")
        << "the notice among them";
    EXPECT_EQ(sql(QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC")).toInt(), statementsBefore.toInt() + 1);
}

// The statements scripts/run writes beside the demo database, made from its movements.
class DemoStatements : public StatementCommandLine {
protected:
    DemoStatements()
        : StatementCommandLine({.demoEntries = 3000}) {}
};

TEST_F(DemoStatements, LeaveOnlyTheirFeesUntilAnOperatorIncludesThem) {
    QProcess writer;
    writer.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(BCO_DEMO_STATEMENT_WRITER), env.databasePath(), folder.path()});
    ASSERT_TRUE(writer.waitForFinished(60000));
    ASSERT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
    static const QRegularExpression feeLine(
        QStringLiteral("^\\d+\t(\\d\\d/\\d\\d/\\d{4})\t-(\\d+),(\\d\\d)\tTARIFA PACOTE DE SERVIÇOS.*$"));
    qint64 feesLeft = 0;
    for (const char *name : {"extrato-demo.ret", "extrato-demo.ofx"}) {
        SCOPED_TRACE(name);
        const QString path = folder.filePath(QString::fromLatin1(name));
        const Run left = run({"--statement", path, "--reconcile"});
        EXPECT_EQ(left.exitCode, 1) << left.err.toStdString();
        const QStringList out = left.out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(out.size(), 2) << left.out.toStdString();
        const QRegularExpressionMatch fee = feeLine.match(out[0]);
        ASSERT_TRUE(fee.hasMatch()) << out[0].toStdString();
        const qint64 cents = fee.captured(2).toLongLong() * 100 + fee.captured(3).toLongLong();
        feesLeft += cents;
        EXPECT_TRUE(out[1].contains(QStringLiteral(": -%1,%2 (banco ")
                                        .arg(feesLeft / 100)
                                        .arg(feesLeft % 100, 2, 10, QLatin1Char('0'))))
            << out[1].toStdString();

        EntryRequest included{.kind = 'D',
                              .date = QDate::fromString(fee.captured(1), QStringLiteral("dd/MM/yyyy")),
                              .value = cents / 100.0,
                              .description = QStringLiteral("Tarifa do pacote")};
        include(included);
        feesLeft -= cents;
        const Run agreed = run({"--statement", path, "--reconcile"});
        EXPECT_EQ(agreed.exitCode, 0) << agreed.out.toStdString() << agreed.err.toStdString();
        EXPECT_TRUE(reconciliationOf(included).startsWith(u"1 ")) << reconciliationOf(included).toStdString();
    }
}

} // namespace
} // namespace bco::testing
