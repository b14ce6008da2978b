#include <gtest/gtest.h>

#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using ValuesInOrderTest = BackendTest;

// Many rows in one statement take their values as the statement names them, each kind as a named parameter
// would bind it, and a statement is used again for the next rows with nothing left of the last ones.
TEST_P(ValuesInOrderTest, BindsEachValueToItsPlaceAsANamedParameterWould) {
    TestDatabase database(GetParam(), false);
    Sql &sql = database.sql();
    sql.execute(QStringLiteral("CREATE TABLE LINHA (N BIGINT, T VARCHAR(20), D DATE)"));
    if (sql.dialect() != Dialect::Sqlite) {
        EXPECT_THROW(sql.executeInOrder(QStringLiteral("INSERT INTO LINHA (N) VALUES (?)"), {1}),
                     DatabaseError);
        return;
    }
    const QString two = QStringLiteral("INSERT INTO LINHA (N, T, D) VALUES (?, ?, ?), (?, ?, ?)");
    EXPECT_EQ(sql.executeInOrder(
                  two, {qint64(1), QStringLiteral("um"), QDate(2024, 3, 15), qint64(2), QVariant(), QDate()}),
              2);
    EXPECT_EQ(sql.executeInOrder(two, {qint64(3), QStringLiteral("três \"'"), QVariant(), qint64(4),
                                       QStringLiteral(""), QDate(2024, 2, 29)}),
              2);
    // Too few or too many values leave the statement as it was, for the next call to use.
    EXPECT_THROW(sql.executeInOrder(two, {qint64(5)}), DatabaseError);
    EXPECT_THROW(sql.executeInOrder(two, {1, 2, 3, 4, 5, 6, 7}), DatabaseError);
    EXPECT_EQ(sql.executeInOrder(two, {qint64(5), QStringLiteral("cinco"), QDate(1, 1, 1), qint64(6),
                                       QStringLiteral("seis"), QDate(9999, 12, 31)}),
              2);

    QStringList rows;
    sql.forEach(QStringLiteral("SELECT N, typeof(T), T, typeof(D), D FROM LINHA ORDER BY N"), {},
                [&rows](const SqlRow &row) {
                    QStringList fields;
                    for (int column = 0; column < 5; ++column)
                        fields.append(row.isNull(column) ? QStringLiteral("null")
                                                         : QString::fromUtf8(row.utf8(column)));
                    rows.append(fields.join(u'|'));
                });
    // A date that is none is NULL, as PostgreSQL stores it.
    EXPECT_EQ(rows, (QStringList{"1|text|um|text|2024-03-15", "2|null|null|null|null",
                                 QStringLiteral("3|text|três \"'|null|null"), "4|text||text|2024-02-29",
                                 "5|text|cinco|text|0001-01-01", "6|text|seis|text|9999-12-31"}));
}

// Rows copied into a table keep every value as a bound parameter would write it, the characters that
// COPY's text format gives a meaning included; a refused copy leaves the connection ready for the next
// statement.
TEST_P(ValuesInOrderTest, CopiesRowsWithEveryValueAsItWasGiven) {
    TestDatabase database(GetParam(), false);
    Sql &sql = database.sql();
    sql.execute(QStringLiteral("CREATE TABLE LINHA (N BIGINT NOT NULL, T VARCHAR(20), D DATE)"));
    const QStringList names{QStringLiteral("N"), QStringLiteral("T"), QStringLiteral("D")};
    const QVariantList rows{qint64(1),
                            QStringLiteral("a\\b\tc"),
                            QDate(2024, 3, 15),
                            qint64(2),
                            QStringLiteral("\\N"),
                            QDate(),
                            qint64(3),
                            QStringLiteral("linha\nnova\r"),
                            QVariant(),
                            qint64(-4),
                            QStringLiteral(""),
                            QDate(2024, 2, 29),
                            qint64(5),
                            QVariant(),
                            QDate(1, 1, 1),
                            qint64(6),
                            QStringLiteral("três \"'\u00e7"),
                            QDate(9999, 12, 31)};
    if (sql.dialect() != Dialect::Postgresql) {
        EXPECT_THROW(sql.copyRows(QStringLiteral("LINHA"), names, rows), DatabaseError);
        return;
    }
    EXPECT_EQ(sql.copyRows(QStringLiteral("LINHA"), names, rows), 6);
    EXPECT_THROW(sql.copyRows(QStringLiteral("LINHA"), names, QVariantList{qint64(7), QStringLiteral("x")}),
                 DatabaseError);
    EXPECT_THROW(sql.copyRows(QStringLiteral("LINHA"), names,
                              QVariantList{qint64(8), QStringLiteral("x"), QVariant(), QVariant(), QVariant(),
                                           QVariant()}),
                 DatabaseError);
    EXPECT_EQ(sql.copyRows(QStringLiteral("LINHA"), names, QVariantList{}), 0);

    QStringList stored;
    sql.forEach(QStringLiteral("SELECT N, T IS NULL, T, D IS NULL, D FROM LINHA ORDER BY N"), {},
                [&stored](const SqlRow &row) {
                    stored.append(QStringLiteral("%1|%2|%3|%4|%5")
                                      .arg(row.integer(0))
                                      .arg(QString::fromUtf8(row.utf8(1)), row.text(2),
                                           QString::fromUtf8(row.utf8(3)),
                                           row.date(4).toString(Qt::ISODate)));
                });
    EXPECT_EQ(stored, (QStringList{"-4|f||f|2024-02-29", "1|f|a\\b\tc|f|2024-03-15", "2|f|\\N|t|",
                                   "3|f|linha\nnova\r|t|", "5|t||f|0001-01-01",
                                   QStringLiteral("6|f|três \"'\u00e7|f|9999-12-31")}));
}

INSTANTIATE_TEST_SUITE_P(Databases, ValuesInOrderTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
