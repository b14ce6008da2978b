#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDate>
#include <QTemporaryDir>

#include "server/storage/database.h"
#include "server/transport/dispatcher.h"
#include "server/transport/sessions.h"
#include "support/entry_requests.h"

namespace bco::server::testing {

using bco::testing::change;
using bco::testing::deletion;
using bco::testing::EntryRequest;
using bco::testing::insertedRow;
using bco::testing::Insertion;
using bco::testing::insertion;
using bco::testing::NumberDrawer;

enum class Backend { Sqlite, Postgresql };

// Both databases. The PostgreSQL cases run when BCO_TEST_POSTGRES_URL names a server the suite may create
// databases on, and are skipped otherwise: the list of tests stays the same whatever the environment was when
// CTest listed them.
std::vector<Backend> availableBackends();
std::string backendName(const ::testing::TestParamInfo<Backend> &info);

// The day the demo data of the tests is counted from: a Friday in the middle of a month.
inline const QDate demoDate{2024, 3, 15};

// A database of its own for one test: a file in a temporary folder, or a new PostgreSQL database dropped
// afterwards. Migrated to the newest schema, with the demo data unless asked otherwise.
class TestDatabase {
public:
    explicit TestDatabase(Backend backend, bool withDemo = true, int entries = 500);
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    Backend backend() const { return backend_; }
    const DatabaseUrl &url() const { return url_; }
    QString urlText() const { return urlText_; }
    ConnectionPool &pool() { return *pool_; }
    Sql &sql() { return pool_->forThisThread(); }

private:
    Backend backend_;
    QTemporaryDir folder_;
    DatabaseUrl url_;
    QString urlText_;
    QString postgresName_;
    std::unique_ptr<ConnectionPool> pool_;
};

// The dispatcher over a test database, with sessions open for the demo operators.
class TestServer {
public:
    explicit TestServer(Backend backend, bool withDemo = true);

    TestDatabase &database() { return database_; }
    Dispatcher &dispatcher() { return dispatcher_; }
    SessionStore &sessions() { return sessions_; }

    // A call as DEMO (every company), RESTRITO (company 01 only), or with the token given.
    CallOutcome call(const QString &method, VariantList args = {});
    CallOutcome callAs(const QString &token, const QString &method, VariantList args = {});
    // The payload of a call that must succeed (the test fails with the error otherwise).
    Variant answer(const QString &method, VariantList args = {});

    QString demoToken() const { return demoToken_; }
    QString restrictedToken() const { return restrictedToken_; }

private:
    TestDatabase database_;
    SessionStore sessions_;
    Dispatcher dispatcher_;
    QString demoToken_, restrictedToken_;
};

// Ends a PostgreSQL backend from outside, as a restarted server or a dropped network would, and waits (five
// seconds at most) until it has gone.
void terminateBackend(qint64 backendProcess);

// The sums of each account per day and per month (`monthly`): as the movements give them, and as the tables
// a balance reads keep them (rows whose sums are zero are left out of both). They must be equal whatever
// wrote the movements.
using Sums = std::map<std::pair<QString, QDate>, std::pair<qint64, qint64>>;
Sums sumsOfMovements(Sql &sql, bool monthly);
Sums keptSums(Sql &sql, bool monthly);

// A value of a packet's row by field name.
Variant field(const DataPacket &packet, int row, const char *name);

// Every row a query answers, each as its fields "NAME=value" joined by "|", in the order the query gives.
// Read through Qt's own driver, which tells the columns of `SELECT *`, so that a comparison of two readings
// covers every column, those a later migration adds included. Parameters the query does not name are left
// out.
QStringList rowsOf(Sql &sql, const QString &query, const SqlParams &params = {});

// The rows only `before` holds ("- row") and those only `after` holds ("+ row"): what a write changed.
QStringList differences(QStringList before, QStringList after);

// The insertion of `entry` with the numbers it lacks drawn through `server` as the operator of `token` (DEMO
// when empty).
Insertion insertion(TestServer &server, EntryRequest &entry, const QString &token = {});

// A test run once per database; fixtures that add a SetUp call this one first and stop when it skipped.
class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
};

// A test over the demo data of its own database, through the dispatcher, reading back what was written.
class DemoServerTest : public BackendTest {
protected:
    void SetUp() override;

    Sql &sql() { return server->database().sql(); }
    // The first column of the first row as a whole number; 0 when there is no row or it is null.
    qint64 number(const QString &query, const SqlParams &params = {});

    std::unique_ptr<TestServer> server;
};

} // namespace bco::server::testing
