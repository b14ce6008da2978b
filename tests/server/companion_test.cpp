#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "server_test_support.h"

namespace bco::server::testing {
namespace {

const QString firstDocument = QStringLiteral(
    "SELECT NRDOCMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = (SELECT MIN(NRMOVBANC) FROM "
    "MOVBANCARIO WHERE CDREDUCONT = '001')");

QString documentSeenBy(Sql &sql) {
    return sql.scalar(firstDocument).value_or(QVariant()).toString();
}

// Another writer of the database commits a new document number for the account's first movement.
void commitDocument(Sql &writer, const QString &document) {
    writer.begin(true);
    writer.execute(
        QStringLiteral("UPDATE MOVBANCARIO SET NRDOCMBANC = :documento WHERE CDREDUCONT = '001' AND "
                       "NRMOVBANC = (SELECT MIN(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '001')"),
        {{QStringLiteral("documento"), document}});
    writer.commit();
}

// What the companion's connection reads, on the companion's thread.
QString documentSeenBy(Companion &companion) {
    QString seen;
    companion.start([&](Sql &own) { seen = documentSeenBy(own); });
    companion.finish();
    return seen;
}

class CompanionTest : public BackendTest {};

// What is committed before the call's first read is seen by both connections; what is committed after, by
// neither; and the writer that commits after is not held up by the joining.
TEST_P(CompanionTest, SeesWhatTheCallSeesWhateverIsCommittedMeanwhile) {
    TestDatabase database(GetParam(), true, 50);
    Sql &call = database.sql();
    ConnectionPool otherServer(database.url());
    Sql &writer = otherServer.forThisThread();

    call.begin(false);
    commitDocument(writer, QStringLiteral("ANTES"));
    const auto companion = database.pool().companionFor(call);
    ASSERT_NE(companion, nullptr);
    commitDocument(writer, QStringLiteral("DEPOIS"));
    EXPECT_EQ(documentSeenBy(call), QStringLiteral("ANTES"));
    EXPECT_EQ(documentSeenBy(*companion), QStringLiteral("ANTES"));
    commitDocument(writer, QStringLiteral("DEPOIS2"));
    EXPECT_EQ(documentSeenBy(*companion), QStringLiteral("ANTES")) << "the companion's second read";
    call.commit();
}

// Whether a companion joins a call in each state the call and the database may be in; where none can, the
// call reads alone, and nothing is left held.
TEST_P(CompanionTest, JoinsOnlyWhereTheSnapshotCanBeShared) {
    const bool sqlite = GetParam() == Backend::Sqlite;
    TestDatabase database(GetParam(), true, 50);
    Sql &call = database.sql();
    ConnectionPool otherServer(database.url());
    Sql &otherWriter = otherServer.forThisThread();

    struct Case {
        const char *name;
        std::function<void()> before, after;
        bool joinsOnSqlite, joinsOnPostgresql;
    };
    std::promise<void> holding, done;
    std::thread sameServerWriter;
    const Case cases[] = {
        {"no transaction", [] {}, [] {}, false, false},
        {"a writing transaction", [&] { call.begin(true); }, [&] { call.rollback(); }, false, false},
        {"a reading transaction that has not read", [&] { call.begin(false); }, [&] { call.commit(); }, true,
         true},
        // SQLite fixed the snapshot at the first read, and cannot hand it over.
        {"a reading transaction that has read",
         [&] {
             call.begin(false);
             documentSeenBy(call);
         },
         [&] { call.commit(); }, false, true},
        {"a writer of this server inside its transaction",
         [&] {
             holding = std::promise<void>();
             sameServerWriter = std::thread([&, waiting = done.get_future()]() mutable {
                 Sql &own = database.pool().forThisThread();
                 own.begin(true);
                 holding.set_value();
                 waiting.wait();
                 own.rollback();
             });
             holding.get_future().wait();
             call.begin(false);
         },
         [&] {
             call.commit();
             done.set_value();
             sameServerWriter.join();
             done = std::promise<void>();
         },
         false, true},
        {"a writer of another process inside its transaction",
         [&] {
             otherWriter.begin(true);
             call.begin(false);
         },
         [&] {
             call.commit();
             otherWriter.rollback();
         },
         false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        const bool joined = database.pool().companionFor(call) != nullptr;
        c.after();
        EXPECT_EQ(joined, sqlite ? c.joinsOnSqlite : c.joinsOnPostgresql);
        // The gate let go: another writer has the database at once, and what it wrote is there.
        const QString document = QString::fromLatin1(c.name).left(10);
        commitDocument(otherWriter, document);
        EXPECT_EQ(documentSeenBy(call), document);
    }
}

// A companion is lent again once given back, many more times than there are companions; what its work threw
// reaches the caller, and leaves the companion fit for the next call.
TEST_P(CompanionTest, IsLentAgainAfterItsWorkEndedOrFailed) {
    TestDatabase database(GetParam(), true, 50);
    Sql &call = database.sql();
    const int loans = 3 * static_cast<int>(std::max(1U, std::thread::hardware_concurrency())) + 1;
    for (int loan = 0; loan < loans; ++loan) {
        SCOPED_TRACE(loan);
        call.begin(false);
        const auto companion = database.pool().companionFor(call);
        ASSERT_NE(companion, nullptr);
        if (loan % 2 == 0) {
            EXPECT_FALSE(documentSeenBy(*companion).isEmpty());
        } else {
            companion->start([](Sql &own) { own.scalar(QStringLiteral("SELECT * FROM TABELA_QUE_NAO_HA")); });
            EXPECT_THROW(companion->finish(), DatabaseError);
        }
        call.commit();
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, CompanionTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
