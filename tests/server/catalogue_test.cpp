#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "framework/data/variant.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using CatalogueTest = BackendTest;
using Kind = Column::Kind;

// The packet's number and key, then the three values the catalogue fills.
const Columns columns = {{QStringLiteral("N"), Kind::Integer, 0},
                         {QStringLiteral("K"), Kind::Text, 10},
                         {QStringLiteral("D"), Kind::Date, 0},
                         {QStringLiteral("V"), Kind::Cents, 0},
                         {QStringLiteral("T"), Kind::Text, 20}};

struct Values {
    Variant date, amount, text;
};

// What a join would give for each key: B as read first, AB found without values, X only by the look-up.
const std::map<QString, Values> expected = {
    {QStringLiteral("A"), {QDate(2024, 3, 1), 1.0, QStringLiteral("a")}},
    {QStringLiteral("B"), {QDate(2024, 3, 2), 2.0, QStringLiteral("b")}},
    {QStringLiteral("C"), {QDate(2024, 3, 3), 3.0, QStringLiteral("c")}},
    {QStringLiteral("AB"), {Variant(), Variant(), Variant()}},
    {QStringLiteral("X"), {QDate(2024, 3, 24), 24.0, QStringLiteral("looked up")}},
};

// A packet's rows take their values from a catalogue as a join with it would, in whatever order the rows name
// the keys and the catalogue's query gives them: repeated keys, keys read twice, keys only its look-up finds,
// keys found nowhere and null keys; a required catalogue leaves out the rows a join would leave out.
TEST_P(CatalogueTest, FillsEachRowAsAJoinWithTheCatalogueWould) {
    TestDatabase database(GetParam(), false);
    Sql &sql = database.sql();
    sql.execute(QStringLiteral("CREATE TABLE CATALOGO (K VARCHAR(10), D DATE, V BIGINT, T VARCHAR(20))"));
    sql.execute(QStringLiteral("CREATE TABLE EXTRA (K VARCHAR(10), D DATE, V BIGINT, T VARCHAR(20))"));
    sql.execute(QStringLiteral("CREATE TABLE LINHA (N INTEGER, K VARCHAR(10))"));
    // Out of key order, B twice, and a row without a key.
    for (const char *row : {"'C', '2024-03-03', 300, 'c'", "'A', '2024-03-01', 100, 'a'",
                            "'B', '2024-03-02', 200, 'b'", "'B', '2024-03-09', 900, 'second b'",
                            "'AB', NULL, NULL, NULL", "NULL, '2024-03-05', 500, 'no key'"})
        sql.execute(QStringLiteral("INSERT INTO CATALOGO VALUES (%1)").arg(QString::fromLatin1(row)));
    sql.execute(QStringLiteral("INSERT INTO EXTRA VALUES ('X', '2024-03-24', 2400, 'looked up')"));

    struct Case {
        const char *name;
        std::vector<std::optional<QString>> keys;
    } cases[] = {
        {"keys in their order", {"A", "AB", "B", "C"}},
        {"keys against their order", {"C", "B", "AB", "A"}},
        {"a key repeated and skipped back to", {"A", "C", "A", "A", "B"}},
        {"a key only the look-up finds, twice", {"X", "A", "X"}},
        {"keys found nowhere and a null key", {"Z", std::nullopt, "A", "Z"}},
    };
    for (const Case &c : cases) {
        for (const bool required : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (required ? ", required" : ", optional"));
            sql.execute(QStringLiteral("DELETE FROM LINHA"));
            for (size_t n = 0; n < c.keys.size(); ++n)
                sql.execute(QStringLiteral("INSERT INTO LINHA (N, K) VALUES (:n, :k)"),
                            {{QStringLiteral("n"), static_cast<qint64>(n)},
                             {QStringLiteral("k"), c.keys[n] ? QVariant(*c.keys[n]) : QVariant()}});
            Catalogue catalogue =
                sql.catalogue(QStringLiteral("SELECT K, D, V, T FROM CATALOGO"), {}, columns, 1, {2, 3, 4},
                              required, QStringLiteral("SELECT K, D, V, T FROM EXTRA WHERE K = :chave"));
            const DataPacket packet =
                sql.packet(QStringLiteral("SELECT N, K FROM LINHA ORDER BY N"), {}, columns, {&catalogue});

            int row = 0;
            for (size_t n = 0; n < c.keys.size(); ++n) {
                const auto found = c.keys[n] ? expected.find(*c.keys[n]) : expected.end();
                if (required && found == expected.end())
                    continue;
                SCOPED_TRACE(c.keys[n].value_or(QStringLiteral("(null)")).toStdString());
                ASSERT_LT(row, packet.rowCount());
                EXPECT_EQ(packet.value(row, 0), Variant(static_cast<qint64>(n)));
                const Values none;
                const Values &values = found != expected.end() ? found->second : none;
                EXPECT_EQ(packet.value(row, 2), values.date);
                EXPECT_EQ(packet.value(row, 3), values.amount);
                EXPECT_EQ(packet.value(row, 4), values.text);
                ++row;
            }
            EXPECT_EQ(packet.rowCount(), row);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, CatalogueTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
