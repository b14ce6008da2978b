#include <map>

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTemporaryDir>

#include "server/demo/demo_data.h"
#include "server/storage/migrations.h"
#include "server_test_support.h"
#include "support/form_test_server.h"

namespace bco::server::testing {
namespace {

qint64 count(Sql &sql, const QString &query) {
    const auto value = sql.scalar(query);
    return value ? value->toLongLong() : -1;
}

using SchemaTest = BackendTest;

TEST_P(SchemaTest, MigratingAgainChangesNothing) {
    TestDatabase database(GetParam(), false);
    const qint64 applied = count(database.sql(), QStringLiteral("SELECT COUNT(*) FROM schema_version"));
    EXPECT_EQ(migrate(database.sql()), latestSchemaVersion());
    EXPECT_EQ(count(database.sql(), QStringLiteral("SELECT COUNT(*) FROM schema_version")), applied);
    EXPECT_EQ(applied, knownSchemaVersions().size());
}

// The sums a balance reads must always equal the sums of the movements themselves, whatever writes them.
TEST_P(SchemaTest, BalanceSumsFollowEveryChangeOfTheMovements) {
    TestDatabase database(GetParam(), true, 200);
    Sql &sql = database.sql();
    const auto expectInStep = [&](const char *step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(keptSums(sql, false), sumsOfMovements(sql, false));
        EXPECT_EQ(keptSums(sql, true), sumsOfMovements(sql, true));
    };
    expectInStep("demo data");
    sql.execute(
        QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, VRMOVBANC, "
                       "IDORIGMBANC) VALUES ('001', '9000000001', :data, 'C', 12345, 'C')"),
        {{QStringLiteral("data"), QDate(2030, 1, 31)}});
    expectInStep("inserted");
    // Ninety movements of one statement over two accounts, both directions and forty days of three months,
    // the first of them a day that already has its sums.
    const QString day = sql.dialect() == Dialect::Sqlite
                            ? QStringLiteral("date('2030-01-31', '+' || (i % 40) || ' days')")
                            : QStringLiteral("DATE '2030-01-31' + i % 40");
    sql.execute(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 89) "
                       "INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, VRMOVBANC, "
                       "IDORIGMBANC) SELECT CASE WHEN i % 2 = 0 THEN '001' ELSE '002' END, "
                       "CAST(9100000000 + i AS VARCHAR(10)), %1, CASE WHEN i % 3 = 0 THEN 'D' ELSE 'C' END, "
                       "1000 + i, 'C' FROM n")
            .arg(day));
    expectInStep("many inserted by one statement");
    sql.execute(QStringLiteral("DELETE FROM MOVBANCARIO WHERE NRMOVBANC LIKE '91%'"));
    expectInStep("many deleted by one statement");
    sql.execute(QStringLiteral(
        "UPDATE MOVBANCARIO SET VRMOVBANC = 100, IDMOVBANC = 'D' WHERE NRMOVBANC = '9000000001'"));
    expectInStep("value and direction changed");
    sql.execute(QStringLiteral("UPDATE MOVBANCARIO SET DTMOVBANC = :data WHERE NRMOVBANC = '9000000001'"),
                {{QStringLiteral("data"), QDate(2030, 2, 1)}});
    expectInStep("moved to the next month");
    sql.execute(QStringLiteral("UPDATE MOVBANCARIO SET CDREDUCONT = '002' WHERE NRMOVBANC = '9000000001'"));
    expectInStep("moved to another account");
    sql.execute(QStringLiteral("DELETE FROM MOVBANCARIO WHERE NRMOVBANC = '9000000001'"));
    expectInStep("deleted");
}

// A call that only reads sees the database as its first statement saw it, whatever another connection
// commits meanwhile: the entry list reads its entries and their movements in separate statements.
TEST_P(SchemaTest, AReadingTransactionSeesOneStateOfTheDatabase) {
    TestDatabase database(GetParam(), true, 50);
    Sql &reader = database.sql();
    ConnectionPool otherServer(database.url());
    Sql &writer = otherServer.forThisThread();
    const QString document = QStringLiteral(
        "SELECT NRDOCMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = (SELECT MIN(NRMOVBANC) "
        "FROM MOVBANCARIO WHERE CDREDUCONT = '001')");
    const auto read = [&] {
        return reader.scalar(document).value_or(QVariant()).toString();
    };

    reader.begin(false);
    const QString seen = read();
    writer.begin(true);
    writer.execute(
        QStringLiteral("UPDATE MOVBANCARIO SET NRDOCMBANC = 'OUTRO' WHERE CDREDUCONT = '001' AND "
                       "NRMOVBANC = (SELECT MIN(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '001')"));
    writer.commit();
    EXPECT_EQ(read(), seen) << "within the reading transaction";
    reader.commit();
    EXPECT_EQ(read(), QStringLiteral("OUTRO")) << "after it";
}

TEST_P(SchemaTest, RefusesAMovementWithoutDirectionOrWithANegativeValue) {
    TestDatabase database(GetParam(), false);
    Sql &sql = database.sql();
    for (const char *values : {"'X', 100", "'C', -100"}) {
        SCOPED_TRACE(values);
        EXPECT_THROW(
            sql.execute(QStringLiteral(
                            "INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, "
                            "IDMOVBANC, VRMOVBANC, IDORIGMBANC) VALUES ('001', '1', '2024-01-01', %1, 'C')")
                            .arg(QString::fromLatin1(values))),
            DatabaseError);
    }
}

TEST_P(SchemaTest, DemoDataGoesOnlyIntoAnEmptyDatabase) {
    TestDatabase database(GetParam(), true, 50);
    DemoOptions options;
    options.processingDate = demoDate;
    options.entries = 50;
    EXPECT_THROW(loadDemoData(database.sql(), options), std::runtime_error);
}

// Every rule of the forms needs its case in the demo data; each count says one case is there.
struct DemoCase {
    const char *name;
    const char *query;
};

const DemoCase demoCases[] = {
    {"three companies", "SELECT CASE WHEN COUNT(*) = 3 THEN 1 ELSE 0 END FROM EMPRESA"},
    {"a company without a default cost centre", "SELECT COUNT(*) FROM EMPRESA WHERE CDCENTCUST IS NULL"},
    {"a branch without a default cost centre", "SELECT COUNT(*) FROM FILIAL WHERE CDCENTCUST IS NULL"},
    {"banks with different account pictures", "SELECT COUNT(DISTINCT CDPICTCONT) - 1 FROM BANCO"},
    {"several accounts in each company",
     "SELECT MIN(N) - 1 FROM (SELECT COUNT(*) N FROM CONTCORR GROUP BY CDEMPRESA) C"},
    {"an accounted credit type of customer kind",
     "SELECT COUNT(*) FROM TPCREDBANC T JOIN CONTCTBL C ON C.CDCONTCTBL = T.CDCONTCTBL "
     "WHERE T.IDCTBLCRBANC = 'S' AND C.IDTIPOCOME = 'C'"},
    {"an accounted debit type of supplier kind",
     "SELECT COUNT(*) FROM TPDEBIBANC T JOIN CONTCTBL C ON C.CDCONTCTBL = T.CDCONTCTBL "
     "WHERE T.IDCTBLDBBANC = 'S' AND C.IDTIPOCOME = 'F'"},
    {"a type that is not accounted although of customer kind",
     "SELECT COUNT(*) FROM TPCREDBANC T JOIN CONTCTBL C ON C.CDCONTCTBL = T.CDCONTCTBL "
     "WHERE T.IDCTBLCRBANC = 'N' AND C.IDTIPOCOME = 'C'"},
    {"customers who are individuals", "SELECT COUNT(*) FROM CLIENTE WHERE IDTPIJURCLIE = 'F'"},
    {"suppliers who are companies", "SELECT COUNT(*) FROM FORNECED WHERE IDTPIJURFORN = 'J'"},
    {"a movement reconciled alone",
     "SELECT COUNT(*) FROM (SELECT 1 X FROM MOVBANCARIO WHERE CDSEQUEXBA IS NOT NULL "
     "GROUP BY CDREDUCONT, CDSEQUEXBA, NRSEQMOVREBA HAVING COUNT(*) = 1) G"},
    {"movements reconciled together",
     "SELECT COUNT(*) FROM (SELECT 1 X FROM MOVBANCARIO WHERE CDSEQUEXBA IS NOT NULL "
     "GROUP BY CDREDUCONT, CDSEQUEXBA, NRSEQMOVREBA HAVING COUNT(*) > 1) G"},
    {"a reversal of a reconciled movement",
     "SELECT COUNT(*) FROM MOVBANCARIO R JOIN MOVBANCARIO O ON O.CDREDUCONT = R.CDREDUCONT "
     "AND O.NRMOVBANC = R.NRMOVBANCORIG WHERE O.CDSEQUEXBA IS NOT NULL"},
    {"a reversal of a movement not reconciled",
     "SELECT COUNT(*) FROM MOVBANCARIO R JOIN MOVBANCARIO O ON O.CDREDUCONT = R.CDREDUCONT "
     "AND O.NRMOVBANC = R.NRMOVBANCORIG WHERE O.CDSEQUEXBA IS NULL"},
    {"a credit of discounted slips", "SELECT COUNT(DISTINCT NRMOVICRED) FROM BOLETODESC"},
    {"loan movements", "SELECT COUNT(*) FROM MOVBANCARIO WHERE NRSEQUENCIALEMP IS NOT NULL"},
    {"compensated movements", "SELECT COUNT(*) FROM MOVBANCARIO WHERE NRCOMPENSACAO IS NOT NULL"},
    {"debits paid by cheque",
     "SELECT COUNT(*) FROM MOVDEBIBANC D JOIN CHEQUE C ON C.CDREDUCONT = D.CDREDUCONT "
     "AND C.NRCHEQUE = D.NRCHEQUE"},
    {"an open customer advance",
     "SELECT COUNT(*) FROM ADIANTCLI A WHERE NOT EXISTS (SELECT 1 FROM ADIANTCLIUSO U WHERE U.CDFILIAL = "
     "A.CDFILIAL AND U.NRLANCTONF = A.NRLANCTONF AND U.NRPARCELAREC = A.NRPARCELAREC)"},
    {"a customer advance partly used",
     "SELECT COUNT(*) FROM ADIANTCLI A JOIN ADIANTCLIUSO U ON U.CDFILIAL = A.CDFILIAL AND "
     "U.NRLANCTONF = A.NRLANCTONF AND U.NRPARCELAREC = A.NRPARCELAREC WHERE U.VRUTILIZADO < A.VRORIGINAL"},
    {"a supplier advance used up",
     "SELECT COUNT(*) FROM ADIANTFOR A JOIN ADIANTFORUSO U ON U.CDFILIAL = A.CDFILIAL AND "
     "U.NRLANCTONF = A.NRLANCTONF AND U.NRPARCELAPAG = A.NRPARCELAPAG WHERE U.VRUTILIZADO = A.VRORIGINAL"},
    {"customer returned invoices", "SELECT COUNT(*) FROM NFDEVCLI"},
    {"supplier returned invoices", "SELECT COUNT(*) FROM NFDEVFOR"},
    {"a closed accounting period", "SELECT COUNT(*) FROM PERIODOCTB WHERE IDSITUPERI = 'F'"},
    {"a blocked date", "SELECT COUNT(*) FROM PARAMGERAL WHERE CDMODULO = 'BCO_' AND DTBLOQATE IS NOT NULL"},
    {"a budget per debit type", "SELECT COUNT(*) FROM ORCATPDEBI"},
    {"accounting for accounted entries", "SELECT COUNT(*) FROM RATEIOCTB"},
    {"an entry without a typed branch", "SELECT COUNT(*) FROM MOVCREDBANC WHERE CDFILILANCRE IS NULL"},
};

TEST_P(SchemaTest, DemoDataHoldsACaseOfEveryRule) {
    TestDatabase database(GetParam());
    for (const DemoCase &c : demoCases) {
        SCOPED_TRACE(c.name);
        EXPECT_GT(count(database.sql(), QString::fromLatin1(c.query)), 0);
    }
}

TEST_P(SchemaTest, DemoDataKeepsEveryMovementWithExactlyOneCreditOrDebit) {
    TestDatabase database(GetParam());
    EXPECT_EQ(
        count(
            database.sql(),
            QStringLiteral(
                "SELECT COUNT(*) FROM MOVBANCARIO M WHERE (SELECT COUNT(*) FROM MOVCREDBANC C "
                "WHERE C.CDREDUCONT = M.CDREDUCONT AND C.NRMOVBANC = M.NRMOVBANC) + (SELECT COUNT(*) "
                "FROM MOVDEBIBANC D WHERE D.CDREDUCONT = M.CDREDUCONT AND D.NRMOVBANC = M.NRMOVBANC) <> 1")),
        0);
    EXPECT_EQ(
        count(database.sql(),
              QStringLiteral(
                  "SELECT COUNT(*) FROM MOVBANCARIO M JOIN MOVCREDBANC C ON C.CDREDUCONT = M.CDREDUCONT "
                  "AND C.NRMOVBANC = M.NRMOVBANC WHERE M.VRMOVBANC <> C.VRMOVICRED OR M.IDMOVBANC <> 'C'")),
        0);
}

// The demo's statements are as a bank sends them: each has lines, its lines take its opening balance to its
// closing one, and it opens where the account's previous statement closed (the first, at the account's
// opening balance).
TEST_P(SchemaTest, DemoStatementsAddUpAndTakeOverOneFromAnother) {
    TestDatabase database(GetParam());
    ASSERT_GT(count(database.sql(), QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC")), 1);
    EXPECT_EQ(count(database.sql(),
                    QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC E WHERE NOT EXISTS (SELECT 1 FROM "
                                   "MOVEXTRATO L WHERE L.CDREDUCONT = E.CDREDUCONT AND L.CDSEQUEXBA = "
                                   "E.CDSEQUEXBA)")),
              0);
    EXPECT_EQ(
        count(database.sql(),
              QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC E WHERE ABS(E.VRSALDFINA - E.VRSALDINIC - "
                             "(SELECT SUM(CASE WHEN L.IDMOVEXTR = 'C' THEN L.VRMOVEXTR ELSE -L.VRMOVEXTR "
                             "END) FROM MOVEXTRATO L WHERE L.CDREDUCONT = E.CDREDUCONT AND L.CDSEQUEXBA = "
                             "E.CDSEQUEXBA)) > 0.001")),
        0);
    EXPECT_EQ(
        count(database.sql(),
              QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC E JOIN CONTCORR C ON C.CDREDUCONT = "
                             "E.CDREDUCONT WHERE ABS(E.VRSALDINIC - COALESCE((SELECT P.VRSALDFINA FROM "
                             "EXTRATOBANC P WHERE P.CDREDUCONT = E.CDREDUCONT AND P.CDSEQUEXBA = (SELECT "
                             "MAX(X.CDSEQUEXBA) FROM EXTRATOBANC X WHERE X.CDREDUCONT = E.CDREDUCONT AND "
                             "X.CDSEQUEXBA < E.CDSEQUEXBA)), C.VRSALDINIC)) > 0.001")),
        0);
}

QByteArray fingerprint(Sql &sql) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    sql.forEach(QStringLiteral("SELECT CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, VRMOVBANC, DSHISMBANC, "
                               "CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO ORDER BY CDREDUCONT, NRMOVBANC"),
                {}, [&](const SqlRow &row) {
                    for (int i = 0; i < 8; ++i)
                        hash.addData(row.utf8(i).toByteArray() + '|');
                });
    sql.forEach(QStringLiteral("SELECT CDCLIENTE, NRINSJURCLIE FROM CLIENTE ORDER BY CDCLIENTE"), {},
                [&](const SqlRow &row) { hash.addData(row.utf8(1).toByteArray()); });
    return hash.result();
}

// Built here rather than through TestDatabase, whose databases are copies of one.
TEST(DemoData, IsTheSameForTheSameOptions) {
    const QTemporaryDir folder;
    const auto fingerprintOfNew = [&](const QString &name) {
        ConnectionPool pool(DatabaseUrl::parse(QStringLiteral("sqlite:") + folder.filePath(name)));
        bco::testing::buildDemoDatabase(pool, demoDate, 300);
        return fingerprint(pool.forThisThread()).toHex();
    };
    EXPECT_EQ(fingerprintOfNew(QStringLiteral("first.db")), fingerprintOfNew(QStringLiteral("second.db")));
}

INSTANTIATE_TEST_SUITE_P(Databases, SchemaTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
