#include <map>

#include <gtest/gtest.h>

#include <QSqlDatabase>

#include "framework/data/database_url.h"
#include "framework/report/report_rows.h"
#include "framework/report/report_store.h"
#include "server/storage/migrations.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

const QString entriesTitle = QStringLiteral("Lançamentos por conta e data");
const QString summaryTitle = QStringLiteral("Resumo por tipo");

// The choices of the entries report as its form sends them: lists of chosen codes, each with its flag.
struct Choices {
    QString companies = QStringLiteral("'01','02','03'");
    QString accounts; // empty: every account
    QString types;    // empty: every type
    QString branches; // empty: every branch
    QString kind = QStringLiteral("T");
    QDate start{2024, 2, 1};
    QDate end{2024, 3, 15};
};

Choices with(void (*change)(Choices &)) {
    Choices choices;
    change(choices);
    return choices;
}

ReportParams paramsFor(const ReportDesign &design, const Choices &choices) {
    ReportParams params(design.parameterNames(SqlDialect::Generic));
    const auto list = [&params](const char *name, const char *flag, const QString &codes) {
        params.SetValue(QString::fromLatin1(name), codes);
        params.SetValue(QString::fromLatin1(flag), codes.isEmpty() ? QStringLiteral("T") : QString());
    };
    params.SetValue(QStringLiteral("P_CDEMPRESA"), choices.companies);
    params.SetValue(QStringLiteral("P_TCDEMPRESA"), QString());
    list("P_CDREDUCONT", "P_TCDREDUCONT", choices.accounts);
    list("P_CDTPCREDBANC", "P_TCDTPCREDBANC", choices.types);
    list("P_CDTPDEBIBANC", "P_TCDTPDEBIBANC", choices.types);
    list("P_CDFILIAL", "P_TCDFILIAL", choices.branches);
    params.SetValue(QStringLiteral("P_TIPO"), choices.kind);
    params.SetValue(QStringLiteral("P_DATAINI"), choices.start);
    params.SetValue(QStringLiteral("P_DATAFIM"), choices.end);
    params.SetValue(QStringLiteral("P_DTPERIINI"), choices.start.toString(QStringLiteral("dd/MM/yyyy")));
    params.SetValue(QStringLiteral("P_DTPERIFIM"), choices.end.toString(QStringLiteral("dd/MM/yyyy")));
    return params;
}

// Cents of a column over the rows, as the report shows them (two decimals).
qint64 cents(const ReportRows &rows, const char *field, int row = -1) {
    const int column = rows.FieldIndex(QString::fromLatin1(field));
    qint64 sum = 0;
    for (int r = row < 0 ? 0 : row; r < (row < 0 ? rows.RowCount() : row + 1); ++r)
        sum += std::llround(rows.Value(r, column).toDouble() * 100.0);
    return sum;
}

class ShippedReportDesigns : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        server = std::make_unique<TestServer>(GetParam());
        connection = QStringLiteral("designs-%1").arg(static_cast<int>(GetParam()));
        database = openDatabase(server->database().url(), connection);
    }
    void TearDown() override {
        database = QSqlDatabase();
        if (QSqlDatabase::contains(connection))
            QSqlDatabase::removeDatabase(connection);
    }

    ReportRows run(const QString &title, const Choices &choices) {
        const ReportDesign design = ReportStore(database).Load(QStringLiteral("BCO111"), title);
        return RunReportQuery(database, design, paramsFor(design, choices));
    }

    qint64 sum(const QString &sql) {
        const auto value = server->database().sql().scalar(sql);
        return value && !value->isNull() ? value->toLongLong() : 0;
    }

    std::unique_ptr<TestServer> server;
    QString connection;
    QSqlDatabase database;
};

TEST_P(ShippedReportDesigns, AreStoredForTheEntriesReport) {
    EXPECT_EQ(ReportStore(database).Titles(QStringLiteral("BCO111")),
              QStringList({entriesTitle, summaryTitle}));
}

TEST_P(ShippedReportDesigns, EndEachAccountOnItsBalanceAndSumItsCreditsAndDebits) {
    const Choices choices;
    const ReportRows rows = run(entriesTitle, choices);
    ASSERT_GT(rows.RowCount(), 0);
    const int account = rows.FieldIndex(QStringLiteral("CDREDUCONT"));
    QStringList accounts;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const QString code = rows.Value(row, account).toString();
        const bool last = row + 1 == rows.RowCount() || rows.Value(row + 1, account).toString() != code;
        if (!last)
            continue;
        accounts << code;
        const Variant balance = server->answer(QStringLiteral("getSaldoDia"), {code, choices.end});
        EXPECT_EQ(cents(rows, "VRSALDO", row), std::llround(balance.toFloat() * 100.0)) << code.toStdString();
    }
    EXPECT_GT(accounts.size(), 3);
    EXPECT_EQ(cents(rows, "VRCREDITO"),
              sum(QStringLiteral("SELECT SUM(VRMOVICRED) FROM MOVCREDBANC WHERE DTMOVICRED BETWEEN "
                                 "'2024-02-01' AND '2024-03-15'")));
    EXPECT_EQ(cents(rows, "VRDEBITO"),
              sum(QStringLiteral("SELECT SUM(VRMOVIDEBI) FROM MOVDEBIBANC WHERE DTMOVIDEBI BETWEEN "
                                 "'2024-02-01' AND '2024-03-15'")));
}

// Each choice narrows both designs to what it names; the sums are those of the ledger for the same choice.
struct Narrowing {
    const char *name;
    Choices choices;
    const char *credits; // WHERE of MOVCREDBANC C joined to CONTCORR A; null: no credit may come
    const char *debits;
};

TEST_P(ShippedReportDesigns, ListOnlyWhatEachChoiceNames) {
    const Narrowing narrowings[] = {
        {"one company", with([](Choices &c) { c.companies = QStringLiteral("'02'"); }), "A.CDEMPRESA = '02'",
         "A.CDEMPRESA = '02'"},
        {"one account", with([](Choices &c) { c.accounts = QStringLiteral("'001'"); }),
         "C.CDREDUCONT = '001'", "C.CDREDUCONT = '001'"},
        {"credits only", with([](Choices &c) { c.kind = QStringLiteral("C"); }), "1 = 1", nullptr},
        {"debits only", with([](Choices &c) { c.kind = QStringLiteral("D"); }), nullptr, "1 = 1"},
        {"one credit and one debit type",
         with([](Choices &c) { c.types = QStringLiteral("'C0001','D0002'"); }), "C.CDTPCREDBANC = '0001'",
         "C.CDTPDEBIBANC = '0002'"},
        {"a debit type alone lists no credit", with([](Choices &c) { c.types = QStringLiteral("'D0001'"); }),
         nullptr, "C.CDTPDEBIBANC = '0001'"},
        {"one branch", with([](Choices &c) { c.branches = QStringLiteral("'0101'"); }), "C.CDFILIAL = '0101'",
         "C.CDFILIAL = '0101'"},
        {"a code found only whole", with([](Choices &c) { c.accounts = QStringLiteral("'00'"); }), nullptr,
         nullptr},
    };
    for (const Narrowing &narrowing : narrowings) {
        SCOPED_TRACE(narrowing.name);
        const auto expected = [&](const char *table, const char *value, const char *date, const char *where) {
            if (where == nullptr)
                return qint64(0);
            return sum(QStringLiteral("SELECT SUM(C.%1) FROM %2 C JOIN CONTCORR A ON A.CDREDUCONT = "
                                      "C.CDREDUCONT WHERE C.%3 BETWEEN '2024-02-01' AND '2024-03-15' AND %4")
                           .arg(QString::fromLatin1(value), QString::fromLatin1(table),
                                QString::fromLatin1(date), QString::fromLatin1(where)));
        };
        const qint64 credits = expected("MOVCREDBANC", "VRMOVICRED", "DTMOVICRED", narrowing.credits);
        const qint64 debits = expected("MOVDEBIBANC", "VRMOVIDEBI", "DTMOVIDEBI", narrowing.debits);
        if (narrowing.credits != nullptr || narrowing.debits != nullptr) {
            EXPECT_GT(credits + debits, 0) << "the demo data has no case for this choice";
        }
        for (const QString &title : {entriesTitle, summaryTitle}) {
            SCOPED_TRACE(title.toStdString());
            const ReportRows rows = run(title, narrowing.choices);
            EXPECT_EQ(cents(rows, "VRCREDITO"), credits);
            EXPECT_EQ(cents(rows, "VRDEBITO"), debits);
        }
    }
}

// The balance of a row is the account's after that movement as the books hold it, counting the movements the
// choices leave out; each account ends on its balance at the end of the period.
TEST_P(ShippedReportDesigns, ShowTheBooksBalanceWhateverTheChoicesLeaveOut) {
    const ReportRows all = run(entriesTitle, Choices());
    const auto key = [](const ReportRows &rows, int row) {
        return rows.Value(row, rows.FieldIndex(QStringLiteral("CDREDUCONT"))).toString() + u'|' +
               rows.Value(row, rows.FieldIndex(QStringLiteral("NRMOVBANC"))).toString();
    };
    std::map<QString, qint64> booksBalance;
    for (int row = 0; row < all.RowCount(); ++row)
        booksBalance[key(all, row)] = cents(all, "VRSALDO", row);
    const std::pair<const char *, Choices> narrowings[] = {
        {"credits only", with([](Choices &c) { c.kind = QStringLiteral("C"); })},
        {"one branch", with([](Choices &c) { c.branches = QStringLiteral("'0101'"); })},
        {"two types", with([](Choices &c) { c.types = QStringLiteral("'C0002','D0001'"); })},
    };
    for (const auto &[name, choices] : narrowings) {
        SCOPED_TRACE(name);
        const ReportRows rows = run(entriesTitle, choices);
        ASSERT_GT(rows.RowCount(), 0);
        ASSERT_LT(rows.RowCount(), all.RowCount());
        const int account = rows.FieldIndex(QStringLiteral("CDREDUCONT"));
        for (int row = 0; row < rows.RowCount(); ++row) {
            EXPECT_EQ(cents(rows, "VRSALDO", row), booksBalance.at(key(rows, row)))
                << key(rows, row).toStdString();
            const QString code = rows.Value(row, account).toString();
            if (row + 1 == rows.RowCount() || rows.Value(row + 1, account).toString() != code) {
                const Variant balance = server->answer(QStringLiteral("getSaldoDia"), {code, choices.end});
                EXPECT_EQ(cents(rows, "VRSALDOFIM", row), std::llround(balance.toFloat() * 100.0))
                    << code.toStdString();
            }
        }
    }
}

// A database migrated before the shipped designs changed holds their old text; an operator saved one of them
// and a copy under a new title meanwhile. The migration brings the other up to date and leaves the
// operator's designs as they were, each still running.
TEST_P(ShippedReportDesigns, AreBroughtUpToDateUnlessAnOperatorSavedThem) {
    Sql &sql = server->database().sql();
    const auto stored = [&sql](const QString &title) {
        return sql
            .scalar(
                QStringLiteral("SELECT DSMODELO FROM MODELOREL WHERE CDRELATORIO = 'BCO111' AND NMTITULO = "
                               ":title"),
                {{QStringLiteral("title"), title}})
            .value_or(QVariant())
            .toString();
    };
    const QString code = QStringLiteral("BCO111");
    const QString copyTitle = QStringLiteral("Cópia de antes");
    const QString shipped = stored(entriesTitle);
    ReportDesign old = ReportStore(database).Load(code, entriesTitle);
    old.pageCompany.clear();
    old.groups.erase(old.groups.begin());
    const QString oldText = QString::fromUtf8(old.toJson());
    sql.execute(QStringLiteral("UPDATE MODELOREL SET DSMODELO = :design WHERE CDRELATORIO = 'BCO111' AND "
                               "NMTITULO = :title"),
                {{QStringLiteral("design"), oldText}, {QStringLiteral("title"), entriesTitle}});
    ReportDesign edited = ReportStore(database).Load(code, summaryTitle);
    edited.totalCaption = QStringLiteral("Total do operador");
    ReportStore(database).Save(code, summaryTitle, edited, QStringLiteral("DEMO"), demoDate);
    ReportStore(database).Save(code, copyTitle, old, QStringLiteral("DEMO"), demoDate);
    const QString editedText = stored(summaryTitle);

    sql.execute(QStringLiteral("DELETE FROM schema_version WHERE version = 8"));
    migrate(sql);
    EXPECT_EQ(stored(entriesTitle), shipped);
    EXPECT_EQ(stored(summaryTitle), editedText);
    EXPECT_EQ(stored(copyTitle), oldText);
    EXPECT_GT(run(copyTitle, Choices()).RowCount(), 0);
}

// A save over a design read earlier stores it only while the title still holds what was read, on either
// database: a stale one changes nothing and says so; a title emptied since takes the design anew.
TEST_P(ShippedReportDesigns, ASaveOverWhatWasReadKeepsWhatAnotherSavedSince) {
    const ReportStore store(database);
    const QString code = QStringLiteral("BCO111");
    const StoredDesign read = store.Read(code, summaryTitle);
    ReportDesign mine = read.design;
    mine.totalCaption = QStringLiteral("Meu");
    ASSERT_TRUE(store.SaveOver(code, summaryTitle, mine, read.text, QStringLiteral("DEMO"), demoDate));
    ReportDesign stale = read.design;
    stale.totalCaption = QStringLiteral("Velho");
    EXPECT_FALSE(store.SaveOver(code, summaryTitle, stale, read.text, QStringLiteral("SUPERV"), demoDate));
    EXPECT_EQ(store.Load(code, summaryTitle).totalCaption, "Meu");
    EXPECT_EQ(store.LastSaved(code, summaryTitle)->operatorCode, "DEMO");
    EXPECT_EQ(store.LastSaved(code, summaryTitle)->date, demoDate);
    EXPECT_TRUE(
        store.SaveOver(code, QStringLiteral("Novo"), stale, read.text, QStringLiteral("SUPERV"), demoDate));
    EXPECT_EQ(store.Load(code, QStringLiteral("Novo")).totalCaption, "Velho");
    EXPECT_FALSE(store.LastSaved(code, QStringLiteral("Nenhum")).has_value());
}

// A design is text an operator writes and another runs on the connection to the books: a query that would
// write is refused, and the connection reads the shipped designs as before.
TEST_P(ShippedReportDesigns, RunOnlyQueriesThatRead) {
    const QString untouched =
        QStringLiteral("SELECT COUNT(*) FROM MOVCREDBANC WHERE DSMOVICRED = 'gravado pelo relatório'");
    const QString written = QStringLiteral("UPDATE MOVCREDBANC SET DSMOVICRED = 'gravado pelo relatório'");
    const QString oneStatement = QStringLiteral("um único comando SELECT");
    const QString readOnly = QStringLiteral("deve apenas ler os dados (SELECT): nada foi gravado");
    const struct {
        const char *name;
        QString query;
        QString refusal; // empty: whatever the database answers, as long as nothing is written
    } cases[] = {
        {"a write that returns rows", written + QStringLiteral(" RETURNING CDREDUCONT"), readOnly},
        {"a write inside a WITH",
         QStringLiteral("WITH W AS (%1 RETURNING CDREDUCONT) SELECT CDREDUCONT FROM W").arg(written),
         {}},
        {"a second statement", QStringLiteral("SELECT 1 AS X; %1").arg(written), oneStatement},
        {"a ';' inside a literal, a quoted name and comments, which reads",
         QStringLiteral("SELECT 'a;b' AS \"X;Y\" /* c; d */ -- f;\n;\n-- fim;"),
         QStringLiteral("não tem o campo")},
        {"a second statement behind a comment", QStringLiteral("SELECT 1 AS X; /* nada */ %1").arg(written),
         oneStatement},
        {"a second statement behind an escape string's quote",
         QStringLiteral("SELECT E'\\'' AS X; COMMIT; %1; --'").arg(written), oneStatement},
        {"a second statement behind a backslash a server may take for an escape",
         QStringLiteral("SELECT 'a\\' AS X; %1; --'").arg(written), oneStatement},
        {"a second statement on a line a carriage return alone begins",
         QStringLiteral("SELECT 1 AS X -- fim\r; %1").arg(written), oneStatement},
        {"a second statement behind a dollar-quoted quote",
         QStringLiteral("SELECT $$'$$ AS X; %1; --'").arg(written), oneStatement},
    };
    ReportDesign hostile = ReportStore(database).Load(QStringLiteral("BCO111"), summaryTitle);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        hostile.sql = QStringList{c.query};
        try {
            RunReportQuery(database, hostile, ReportParams(hostile.parameterNames(SqlDialect::Generic)));
            ADD_FAILURE() << "the query ran";
        } catch (const ReportDesignError &error) {
            const QString message = QString::fromStdString(error.what());
            EXPECT_TRUE(message.startsWith(u"A consulta do relatório")) << error.what();
            if (!c.refusal.isEmpty()) {
                EXPECT_TRUE(message.contains(c.refusal)) << error.what();
            }
        }
        EXPECT_EQ(sum(untouched), 0);
    }

    // One statement ending in ';' reads as ever, and the connection is left outside any transaction.
    ReportDesign summary = ReportStore(database).Load(QStringLiteral("BCO111"), summaryTitle);
    summary.sql.last() += u';';
    EXPECT_GT(RunReportQuery(database, summary, paramsFor(summary, Choices())).RowCount(), 0);
    EXPECT_GT(run(entriesTitle, Choices()).RowCount(), 0);
    EXPECT_TRUE(ReportStore(database).SaveOver(QStringLiteral("BCO111"), QStringLiteral("Depois"), summary,
                                               QString(), QStringLiteral("DEMO"), demoDate));
}

INSTANTIATE_TEST_SUITE_P(Databases, ShippedReportDesigns, ::testing::ValuesIn(availableBackends()),
                         backendName);

} // namespace
} // namespace bco::server::testing
