#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTemporaryDir>

#include "entry_model/entry_records.h"
#include "entry_model/type_pick_list.h"
#include "framework/data/database_url.h"

using namespace Cli_bco11100;

namespace {

class EntryRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        db = bco::openDatabase(bco::DatabaseUrl::parse("sqlite:" + dir.filePath("records.db")),
                               "records_test");
        for (const char *sql : {
                 "CREATE TABLE EMPRESA (CDEMPRESA TEXT PRIMARY KEY, NMEMPRESA TEXT)",
                 "CREATE TABLE BANCO (CDBANCO TEXT PRIMARY KEY, CDPICTCONT TEXT, CDPICTAGEN TEXT, CDBANCCNAB "
                 "TEXT)",
                 "CREATE TABLE CONTCORR (CDREDUCONT TEXT PRIMARY KEY, CDBANCO TEXT, CDAGENCIA TEXT, "
                 "CDCONTCTBL TEXT,"
                 " CDCONTCORR TEXT, DSCONTCORR TEXT, IDTIPOCCORR TEXT, CDEMPRESA TEXT)",
                 "CREATE TABLE CONTCTBL (CDCONTCTBL TEXT PRIMARY KEY, IDTIPOCOME TEXT)",
                 "CREATE TABLE TPCREDBANC (CDTPCREDBANC TEXT PRIMARY KEY, CDCLASSFINA TEXT, CDHISTPADR TEXT,"
                 " CDCONTCTBL TEXT, DSTPCREDBANC TEXT, IDCTBLCRBANC TEXT)",
                 "CREATE TABLE TPDEBIBANC (CDTPDEBIBANC TEXT PRIMARY KEY, CDCLASSFINA TEXT, CDHISTPADR TEXT,"
                 " CDCONTCTBL TEXT, DSTPDEBIBANC TEXT, IDCTBLDBBANC TEXT)",
                 "INSERT INTO EMPRESA VALUES ('01', 'Comercial Ipê'), ('02', 'Indústria Jatobá')",
                 "INSERT INTO BANCO VALUES ('001', '9999999-9', '9999-9', '001'), ('341', '99999-9', '9999', "
                 "'341')",
                 "INSERT INTO CONTCORR VALUES ('002', '341', '0123', '1.1.2', '123456', 'Cobrança', 'C', "
                 "'02')",
                 "INSERT INTO CONTCORR VALUES ('001', '001', '12345', '1.1.1', '12345678', 'Movimento', 'C', "
                 "'01')",
                 "INSERT INTO CONTCORR VALUES ('003', '001', NULL, '1.1.3', '1', 'Sem agência', 'A', '01')",
                 "INSERT INTO CONTCTBL VALUES ('3.1', 'C'), ('4.1', 'F')",
                 "INSERT INTO TPCREDBANC VALUES ('0001', '101', '0010', '3.1', 'Recebimento', 'S')",
                 "INSERT INTO TPCREDBANC VALUES ('0002', '102', '0011', '3.1', 'Rendimento', 'N')",
                 "INSERT INTO TPDEBIBANC VALUES ('0005', '201', '0020', '4.1', 'Pagamento', 'S')",
             }) {
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(QString::fromUtf8(sql))) << sql;
        }
    }

    void TearDown() override {
        records.reset();
        db.close();
    }

    QTemporaryDir dir;
    QSqlDatabase db;
    std::unique_ptr<EntryRecords> records = std::make_unique<EntryRecords>([this] { return db; });
};

} // namespace

TEST_F(EntryRecordsTest, AccountQueryListsEveryAccountOrOneThroughTheBanksPictures) {
    bco::LocalQuery &accounts = records->qryConta;
    accounts.ParamByName("P_CDREDUCONT").Clear();
    accounts.Open();
    ASSERT_EQ(accounts.RecordCount(), 3);
    EXPECT_EQ(accounts.FieldByName(u"CDREDUCONT").AsString(), QStringLiteral("001"));
    EXPECT_EQ(accounts.FieldByName(u"CDMASKCONTA").AsString(), QStringLiteral("1234567-8"));
    EXPECT_EQ(accounts.FieldByName(u"CDMASKAGEN").AsString(), QStringLiteral("1234-5"));
    EXPECT_EQ(accounts.FieldByName(u"CDAGENCIA").DisplayText(QLocale()), QStringLiteral("1234-5"));
    EXPECT_TRUE(accounts.FieldByName(u"CDBANCCNAB").IsNull()) << "the generic text does not select it";

    accounts.Last();
    EXPECT_EQ(accounts.FieldByName(u"CDAGENCIA").DisplayText(QLocale()), QString())
        << "no agency shows nothing";

    accounts.ParamByName("P_CDREDUCONT").SetAsString("002");
    accounts.Open();
    ASSERT_EQ(accounts.RecordCount(), 1);
    EXPECT_EQ(accounts.FieldByName(u"CDMASKCONTA").AsString(), QStringLiteral("12345-6"));
    EXPECT_EQ(accounts.FieldByName(u"CDMASKAGEN").AsString(), QStringLiteral("0123"));
    EXPECT_EQ(accounts.FieldByName(u"NMEMPRESA").AsString(), QStringLiteral("Indústria Jatobá"));
}

TEST_F(EntryRecordsTest, TypeQueriesFindAllTypesOrOne) {
    bco::LocalQuery &credits = records->qryLancCred;
    credits.ParamByName("P_TIPO").SetAsString("");
    credits.Open();
    EXPECT_EQ(credits.RecordCount(), 2);
    credits.ParamByName("P_TIPO").SetAsString("0002");
    credits.Open();
    ASSERT_EQ(credits.RecordCount(), 1);
    EXPECT_EQ(credits.FieldByName(u"DSTPCREDBANC").AsString(), QStringLiteral("Rendimento"));
    EXPECT_EQ(credits.FieldByName(u"IDTIPOCOME").AsString(), QStringLiteral("C"));

    bco::LocalQuery &debits = records->qryLancDeb;
    debits.ParamByName("P_TIPO").Clear();
    debits.Open();
    ASSERT_EQ(debits.RecordCount(), 1);
    EXPECT_EQ(debits.FieldByName(u"IDCTBLDBBANC").AsString(), QStringLiteral("S"));
}

TEST_F(EntryRecordsTest, InsertionResultsKeepTheirIndexOrder) {
    bco::ClientDataSet &results = records->cdsResult;
    results.CreateDataSet();
    for (const char *kind : {"03", "01", "02"}) {
        results.Append();
        results.FieldByName(u"IDTPRESULT").SetAsString(QString::fromLatin1(kind));
        results.Post();
    }
    QStringList order;
    for (results.First(); !results.Eof(); results.Next())
        order << results.FieldByName(u"IDTPRESULT").AsString();
    EXPECT_EQ(order, QStringList({"01", "02", "03"}));
}

TEST_F(EntryRecordsTest, TaxNumbersShowThroughTheirPersonKind) {
    bco::ClientDataSet &customers = records->cdsCliente;
    customers.CreateDataSet();
    customers.Append();
    customers.FieldByName(u"NRINSJURCLIE").SetAsString("12345678000195");
    customers.FieldByName(u"IDTPIJURCLIE").SetAsString("J");
    customers.Post();
    EXPECT_EQ(customers.FieldByName(u"NRINSJURCLIE").DisplayText(QLocale()),
              QStringLiteral("12.345.678/0001-95"));
}

// The filter's and the report's pick lists of one kind of type: every type of the kind, keyed by its kind
// letter and code as the list of chosen codes sends it, in code order.
TEST_F(EntryRecordsTest, TypeListQueriesKeyEveryTypeOfTheirKindByItsLetterAndCode) {
    bco::LocalQuery credits, debits;
    DeclareTypeListQueries(credits, debits, [this] { return db; });
    const struct Case {
        const char *name;
        bco::LocalQuery &query;
        QStringList keys, names;
    } cases[] = {
        {"credits", credits, {"C0001", "C0002"}, {"Recebimento", "Rendimento"}},
        {"debits", debits, {"D0005"}, {"Pagamento"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.query.Open();
        QStringList keys, names;
        for (c.query.First(); !c.query.Eof(); c.query.Next()) {
            keys << c.query.FieldByName(u"TIPCOD").AsString();
            names << c.query.Fields().at(2)->AsString();
        }
        EXPECT_EQ(keys, c.keys);
        EXPECT_EQ(names, c.names);
        EXPECT_FALSE(c.query.FieldByName(u"TIPCOD").Visible()) << "the key is for the list, not for the eye";
    }
}
