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
    EXPECT_EQ(sql.executeInOrder(two, {qint64(5), QStringLiteral("cinco"), QDate(2024, 3, 1), qint64(6),
                                       QStringLiteral("seis"), QDate(2024, 3, 2)}),
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
    EXPECT_EQ(rows, (QStringList{"1|text|um|text|2024-03-15", "2|null|null|text|",
                                 QStringLiteral("3|text|três \"'|null|null"), "4|text||text|2024-02-29",
                                 "5|text|cinco|text|2024-03-01", "6|text|seis|text|2024-03-02"}));
}

INSTANTIATE_TEST_SUITE_P(Databases, ValuesInOrderTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
