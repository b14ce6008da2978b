#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTemporaryDir>

#include "framework/data/database_url.h"
#include "framework/data/local_query.h"

using namespace bco;

namespace {

class LocalQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        db = openDatabase(DatabaseUrl::parse("sqlite:" + dir.filePath("local.db")), "local_query_test");
        for (const char *sql : {
                 "CREATE TABLE CENTCUST (CDCENTCUST TEXT PRIMARY KEY, NMCENTCUST TEXT)",
                 "CREATE TABLE CENTCUSTFIL (CDCENTCUST TEXT, CDFILIAL TEXT)",
                 "CREATE TABLE MOV (NRMOV TEXT, DTMOV TEXT, VRMOV NUMERIC)",
                 "INSERT INTO CENTCUST VALUES ('0001', 'Administração'), ('0002', 'Vendas'), ('0003', "
                 "'Fábrica')",
                 "INSERT INTO CENTCUSTFIL VALUES ('0001', '0001'), ('0002', '0001'), ('0003', '0002')",
                 "INSERT INTO MOV VALUES ('1', '2024-03-15', 10.5), ('2', NULL, 3)",
             }) {
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(QString::fromUtf8(sql))) << sql;
        }
        costCentres.setObjectName("qryCentCustFil");
        costCentres.SetConnection([this] { return db; });
        costCentres.SQL = QStringList{"SELECT CF.CDCENTCUST, CC.NMCENTCUST",
                                      " FROM CENTCUST CC, CENTCUSTFIL CF",
                                      "WHERE",
                                      "   ((CF.CDCENTCUST = :P_CDCENTCUST) OR (:P_TCDCENTCUST = 'T')) AND",
                                      "   CC.CDCENTCUST = CF.CDCENTCUST AND",
                                      "   CF.CDFILIAL = :P_CDFILIAL",
                                      "ORDER BY",
                                      "   CF.CDCENTCUST"};
        costCentres.AddFields({{.name = "CDCENTCUST", .size = 4, .required = true, .label = "Código"},
                               {.name = "NMCENTCUST", .size = 40, .label = "Nome"}});
    }

    void TearDown() override {
        costCentres.Close();
        db.close();
    }

    QStringList codes(LocalQuery &query, const char *field) {
        QStringList result;
        for (query.First(); !query.Eof(); query.Next())
            result << query.FieldByName(QString::fromUtf8(field)).AsString();
        return result;
    }

    QTemporaryDir dir;
    QSqlDatabase db;
    LocalQuery costCentres;
};

} // namespace

TEST_F(LocalQueryTest, ARepeatedParameterIsBoundEverywhereItStands) {
    costCentres.ParamByName("P_CDCENTCUST").SetAsString("0002");
    costCentres.ParamByName("P_TCDCENTCUST").SetAsString("T");
    costCentres.ParamByName("p_cdfilial").SetAsString("0001");
    costCentres.Open();
    EXPECT_EQ(codes(costCentres, "CDCENTCUST"), QStringList({"0001", "0002"}))
        << "\"T\" lists the whole branch";

    costCentres.ParamByName("P_TCDCENTCUST").Clear();
    costCentres.Open();
    EXPECT_EQ(codes(costCentres, "CDCENTCUST"), QStringList({"0002"}));
    EXPECT_EQ(costCentres.FieldByName(u"NMCENTCUST").AsString(), QStringLiteral("Vendas"));
    EXPECT_EQ(costCentres.FieldByName(u"CDCENTCUST").DisplayLabel(), QStringLiteral("Código"));

    costCentres.ParamByName("P_CDCENTCUST").SetAsString("0009");
    costCentres.Open();
    EXPECT_TRUE(costCentres.IsEmpty());
}

TEST_F(LocalQueryTest, DeclaredKindsWinOverWhatTheDatabaseStored) {
    LocalQuery movements;
    movements.SetConnection([this] { return db; });
    movements.SQL = QStringList{"SELECT NRMOV, DTMOV, VRMOV FROM MOV ORDER BY NRMOV"};
    movements.AddFields({{.name = "NRMOV", .size = 10},
                         {.name = "DTMOV", .kind = FieldKind::Date},
                         {.name = "VRMOV", .kind = FieldKind::Float}});
    movements.Open();
    EXPECT_EQ(movements.FieldByName(u"DTMOV").AsDateTime(), QDate(2024, 3, 15));
    EXPECT_DOUBLE_EQ(movements.FieldByName(u"VRMOV").AsFloat(), 10.5);
    movements.Next();
    EXPECT_TRUE(movements.FieldByName(u"DTMOV").IsNull());
    EXPECT_DOUBLE_EQ(movements.FieldByName(u"VRMOV").AsFloat(), 3.0);
}

TEST_F(LocalQueryTest, RunsTheTextOfTheConnectionsDialect) {
    LocalQuery query;
    query.SQL = QStringList{"SELECT 'generic' AS WHICH"};
    query.SQL_ORACLE = QStringList{"SELECT 'oracle' AS WHICH FROM DUAL"};
    query.SQL_IB = QStringList{};
    EXPECT_EQ(query.TextFor(SqlDialect::Oracle), QStringLiteral("SELECT 'oracle' AS WHICH FROM DUAL"));
    EXPECT_EQ(query.TextFor(SqlDialect::InterBase), QStringLiteral("SELECT 'generic' AS WHICH"))
        << "a dialect without a text of its own runs the generic one";
    query.SetConnection([this] { return db; });
    query.Open();
    EXPECT_EQ(query.FieldByName(u"WHICH").AsString(), QStringLiteral("generic"));
}

TEST_F(LocalQueryTest, RefusesUnknownParametersAndReportsDatabaseErrors) {
    EXPECT_THROW(costCentres.ParamByName("P_NOPE"), DataSetError);

    LocalQuery broken;
    broken.setObjectName("qryBroken");
    broken.SetConnection([this] { return db; });
    broken.SQL = QStringList{"SELECT * FROM NO_SUCH_TABLE"};
    try {
        broken.Open();
        FAIL() << "a query over a missing table opened";
    } catch (const DataSetError &error) {
        EXPECT_NE(std::string(error.what()).find("qryBroken"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(broken.Active());

    LocalQuery unconnected;
    unconnected.SQL = QStringList{"SELECT 1"};
    EXPECT_THROW(unconnected.Open(), DataSetError);
}
