#include <vector>

#include <gtest/gtest.h>

#include <QDate>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include "support/case_name.h"

#include "framework/data/database_url.h"
#include "framework/report/report_rows.h"

namespace bco {
namespace {

// Two rows of one field, the second under the first: what is read back of the second, and whether the
// layout takes them for one group, must be what QVariant says of the values appended.
struct PairCase {
    const char *name;
    QVariant above, below;
};

const PairCase pairCases[] = {
    {"a text repeated", QStringLiteral("Conta 001"), QStringLiteral("Conta 001")},
    {"texts that differ only in case", QStringLiteral("abc"), QStringLiteral("ABC")},
    {"an empty text under a null", QVariant(), QString(QLatin1StringView(""))},
    {"two nulls", QVariant(), QVariant()},
    {"a whole number under an equal real", 2.0, qlonglong{2}},
    {"reals a cent apart", 10.5, 10.51},
    {"a date under the same date", QDate(2024, 3, 15), QDate(2024, 3, 15)},
    {"a date under the day before", QDate(2024, 3, 15), QDate(2024, 3, 14)},
    {"a text that reads as a number", QStringLiteral("x"), QStringLiteral("12.5")},
    {"a 32-bit integer kept as it came", 7, 7},
    {"a boolean kept as it came", true, false},
};

class ReportRowsPairs : public ::testing::TestWithParam<PairCase> {};

TEST_P(ReportRowsPairs, readBackAndCompareAsTheValuesAppended) {
    const PairCase &c = GetParam();
    ReportRows rows(QStringList{QStringLiteral("F")});
    rows.Append({c.above});
    rows.Append({c.below});
    ASSERT_EQ(rows.RowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const QVariant &appended = row == 0 ? c.above : c.below;
        const QVariant read = rows.Value(row, 0);
        EXPECT_EQ(rows.IsNull(row, 0), appended.isNull()) << row;
        EXPECT_EQ(read.isNull(), appended.isNull()) << row;
        if (!appended.isNull()) {
            EXPECT_EQ(read.metaType(), appended.metaType()) << row;
            EXPECT_EQ(read, appended) << row;
        }
        EXPECT_EQ(rows.Number(row, 0), appended.toDouble()) << row;
    }
    EXPECT_EQ(rows.SameValue(1, 0, 0), c.above == c.below);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportRowsPairs, ::testing::ValuesIn(pairCases), CaseName());

// A report's query on SQLite is read from the connection's own handle; what it reads must be what Qt's
// driver gives for the same query and parameters, value by value, whatever the kind of each value: texts
// repeated down the rows, texts of a few values, more different texts than are remembered, empty texts and
// nulls, reals, integers and blobs; the parameters bound as a date, a text, a number and a null.
TEST(ReportRowsOnSqlite, ReadWhatQtsDriverReads) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSqlDatabase db =
        openDatabase(DatabaseUrl::parse(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("r.db"))),
                     QStringLiteral("report_rows_test"));
    QSqlQuery seed(db);
    ASSERT_TRUE(seed.exec(QStringLiteral("CREATE TABLE MOV (ID INTEGER, DT TEXT, CONTA TEXT, TIPO TEXT, "
                                         "HIST TEXT, VR NUMERIC, DOC BLOB, OBS TEXT)")));
    ASSERT_TRUE(db.transaction());
    ASSERT_TRUE(seed.prepare(QStringLiteral("INSERT INTO MOV VALUES (?, ?, ?, ?, ?, ?, ?, ?)")));
    const QString types[] = {QStringLiteral("Depósito"), QStringLiteral("Tarifa"), QStringLiteral("Pix")};
    for (int i = 0; i < 1500; ++i) {
        seed.bindValue(0, i);
        seed.bindValue(1, QDate(2024, 1, 1).addDays(i / 40).toString(Qt::ISODate));
        seed.bindValue(2, QStringLiteral("Conta %1 - Movimento").arg(i / 100));
        seed.bindValue(3, types[i % 3]);
        seed.bindValue(4, QStringLiteral("Histórico nº %1").arg(i));
        seed.bindValue(5, i % 7 == 0 ? QVariant() : QVariant(i % 2 == 0 ? i * 1.25 : double(i)));
        seed.bindValue(6, i % 11 == 0 ? QVariant(QByteArray("\x00\x01", 2))
                                      : QVariant(QMetaType::fromType<QByteArray>()));
        seed.bindValue(7, i % 5 == 0 ? QVariant(QMetaType::fromType<QString>())
                                     : QVariant(QString(QLatin1StringView(""))));
        ASSERT_TRUE(seed.exec()) << i;
    }
    ASSERT_TRUE(db.commit());

    const QString sql = QStringLiteral(
        "SELECT ID, DT, CONTA, TIPO, HIST, VR, VR * 2 AS DOBRO, DOC, OBS, :P_NUMERO + 0 AS NUMERO FROM MOV "
        "WHERE DT BETWEEN :P_INICIO AND :P_FIM AND TIPO <> :P_TIPO AND (:P_NULO IS NULL) ORDER BY ID");
    ReportDesign design;
    design.sql = QStringList{sql};
    design.columns.emplace_back().field = QStringLiteral("HIST");
    design.groups.emplace_back().field = QStringLiteral("CONTA");
    ReportParams params(design.parameterNames(SqlDialect::Generic));
    params.SetValue(QStringLiteral("P_NUMERO"), 3);
    params.SetValue(QStringLiteral("P_INICIO"), QDate(2024, 1, 3));
    params.SetValue(QStringLiteral("P_FIM"), QDate(2024, 2, 1));
    params.SetValue(QStringLiteral("P_TIPO"), QStringLiteral("Pix"));
    const ReportRows rows = RunReportQuery(db, design, params);

    QSqlQuery query(db);
    ASSERT_TRUE(query.prepare(sql));
    query.bindValue(QStringLiteral(":P_NUMERO"), qlonglong{3});
    query.bindValue(QStringLiteral(":P_INICIO"), QStringLiteral("2024-01-03"));
    query.bindValue(QStringLiteral(":P_FIM"), QStringLiteral("2024-02-01"));
    query.bindValue(QStringLiteral(":P_TIPO"), QStringLiteral("Pix"));
    query.bindValue(QStringLiteral(":P_NULO"), QVariant(QMetaType::fromType<QString>()));
    ASSERT_TRUE(query.exec());
    QStringList fields;
    for (int i = 0; i < query.record().count(); ++i)
        fields << query.record().fieldName(i).toUpper();
    EXPECT_EQ(rows.Fields(), fields);
    int row = 0;
    for (; query.next(); ++row) {
        ASSERT_LT(row, rows.RowCount());
        for (int field = 0; field < fields.size(); ++field) {
            const QVariant expected = query.value(field);
            const QVariant read = rows.Value(row, field);
            ASSERT_EQ(read.isNull(), expected.isNull()) << row << ' ' << fields[field].toStdString();
            if (!expected.isNull()) {
                ASSERT_EQ(read.metaType(), expected.metaType()) << row << ' ' << fields[field].toStdString();
                ASSERT_EQ(read, expected) << row << ' ' << fields[field].toStdString();
            }
        }
    }
    EXPECT_EQ(row, rows.RowCount());
    EXPECT_GT(row, 600);
}

} // namespace
} // namespace bco
