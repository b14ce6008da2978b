#include "server_test_support.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include "server/methods/all_methods.h"
#include "support/form_test_server.h"

namespace bco::server::testing {

namespace {

QString postgresUrl() {
    return qEnvironmentVariable("BCO_TEST_POSTGRES_URL");
}

// Runs one statement on the PostgreSQL server of the suite, outside any database the tests use.
void administer(const QString &statement) {
    const QString name = QStringLiteral("bco-test-admin-%1").arg(QRandomGenerator::global()->generate64());
    {
        QSqlDatabase admin = openDatabase(DatabaseUrl::parse(postgresUrl()), name);
        QSqlQuery query(admin);
        if (!query.exec(statement))
            throw std::runtime_error(("cannot " + statement + ": " + query.lastError().text()).toStdString());
    }
    QSqlDatabase::removeDatabase(name);
}

QString newPostgresName(const char *prefix) {
    return QStringLiteral("%1_%2")
        .arg(QLatin1String(prefix))
        .arg(QRandomGenerator::global()->generate64(), 0, 16);
}

// A PostgreSQL database for each kind of test database, built once per test program and copied for each
// test (CREATE DATABASE … TEMPLATE copies its files): migrating and loading the demo row by row take most of
// a short case's time on PostgreSQL, where every statement is a round trip. SQLite files are copied the same
// way, by the form tests' own cache. The templates are dropped when the program's tests end.
class PostgresTemplates : public ::testing::Environment {
public:
    QString nameFor(bool withDemo, int entries) {
        const std::lock_guard lock(mutex_);
        const std::pair key{withDemo, withDemo ? entries : 0};
        if (const auto found = built_.find(key); found != built_.end())
            return found->second;
        const QString name = newPostgresName("bco_tpl");
        administer(QStringLiteral("CREATE DATABASE ") + name);
        QUrl parsed(postgresUrl());
        parsed.setPath(u'/' + name);
        try {
            // No connection may be left open on a template, or copying it fails: the pool closes them all.
            ConnectionPool pool(DatabaseUrl::parse(parsed.toString()));
            bco::testing::buildDemoDatabase(pool, demoDate, withDemo ? entries : -1);
        } catch (...) {
            // Half built, it would be every later test's database.
            administer(QStringLiteral("DROP DATABASE IF EXISTS ") + name + QStringLiteral(" WITH (FORCE)"));
            throw;
        }
        built_.emplace(key, name);
        return name;
    }

    void TearDown() override {
        const std::lock_guard lock(mutex_);
        for (const auto &[key, name] : built_)
            administer(QStringLiteral("DROP DATABASE IF EXISTS ") + name + QStringLiteral(" WITH (FORCE)"));
        built_.clear();
    }

private:
    std::mutex mutex_;
    std::map<std::pair<bool, int>, QString> built_;
};

// gtest owns and tears down the environment once every test has run, while the application object that Qt's
// database drivers need still exists.
PostgresTemplates &postgresTemplates() {
    static PostgresTemplates *const templates = [] {
        auto *environment = new PostgresTemplates;
        ::testing::AddGlobalTestEnvironment(environment);
        return environment;
    }();
    return *templates;
}

} // namespace

std::vector<Backend> availableBackends() {
    return {Backend::Sqlite, Backend::Postgresql};
}

void BackendTest::SetUp() {
    if (GetParam() == Backend::Postgresql && postgresUrl().isEmpty())
        GTEST_SKIP() << "no PostgreSQL server: set BCO_TEST_POSTGRES_URL (scripts/test starts one)";
}

void DemoServerTest::SetUp() {
    BackendTest::SetUp();
    if (!IsSkipped())
        server = std::make_unique<TestServer>(GetParam());
}

qint64 DemoServerTest::number(const QString &query, const SqlParams &params) {
    const auto value = sql().scalar(query, params);
    return value && !value->isNull() ? value->toLongLong() : 0;
}

std::string backendName(const ::testing::TestParamInfo<Backend> &info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgresql";
}

TestDatabase::TestDatabase(Backend backend, bool withDemo, int entries)
    : backend_(backend) {
    if (backend == Backend::Sqlite) {
        const QString path = folder_.filePath(QStringLiteral("bco.db"));
        bco::testing::createDatabase(path, demoDate, withDemo ? entries : -1);
        urlText_ = QStringLiteral("sqlite:") + path;
    } else {
        const QString from = postgresTemplates().nameFor(withDemo, entries);
        postgresName_ = newPostgresName("bco_t");
        administer(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(postgresName_, from));
        QUrl parsed(postgresUrl());
        parsed.setPath(u'/' + postgresName_);
        urlText_ = parsed.toString();
    }
    url_ = DatabaseUrl::parse(urlText_);
    pool_ = std::make_unique<ConnectionPool>(url_);
}

TestDatabase::~TestDatabase() {
    pool_.reset();
    if (!postgresName_.isEmpty()) {
        try {
            administer(QStringLiteral("DROP DATABASE ") + postgresName_ + QStringLiteral(" WITH (FORCE)"));
        } catch (const std::exception &error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TestServer::TestServer(Backend backend, bool withDemo)
    : database_(backend, withDemo)
    , dispatcher_(database_.pool(), sessions_, allMethods()) {
    if (withDemo) {
        demoToken_ = sessions_.open(database_.sql(), QStringLiteral("DEMO"));
        restrictedToken_ = sessions_.open(database_.sql(), QStringLiteral("RESTRITO"));
    }
}

CallOutcome TestServer::call(const QString &method, VariantList args) {
    return dispatcher_.call(method, std::move(args), demoToken_);
}

CallOutcome TestServer::callAs(const QString &token, const QString &method, VariantList args) {
    return dispatcher_.call(method, std::move(args), token);
}

Variant TestServer::answer(const QString &method, VariantList args) {
    const CallOutcome outcome = call(method, std::move(args));
    EXPECT_TRUE(outcome.ok()) << method.toStdString() << ": " << outcome.error.toStdString();
    return outcome.result;
}

void terminateBackend(qint64 backendProcess) {
    administer(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(backendProcess));
}

Sums sumsOfMovements(Sql &sql, bool monthly) {
    Sums sums;
    sql.forEach(QStringLiteral("SELECT CDREDUCONT, DTMOVBANC, IDMOVBANC, VRMOVBANC FROM MOVBANCARIO"), {},
                [&](const SqlRow &row) {
                    QDate date = row.date(1);
                    if (monthly)
                        date = QDate(date.year(), date.month(), 1);
                    auto &sum = sums[{row.text(0), date}];
                    (row.text(2) == u"C" ? sum.first : sum.second) += row.integer(3);
                });
    std::erase_if(sums, [](const auto &entry) { return entry.second == std::pair<qint64, qint64>(0, 0); });
    return sums;
}

Sums keptSums(Sql &sql, bool monthly) {
    Sums sums;
    sql.forEach(monthly ? QStringLiteral("SELECT CDREDUCONT, DTMES, VRCREDITO, VRDEBITO FROM SALDOMENSAL")
                        : QStringLiteral("SELECT CDREDUCONT, DTSALDO, VRCREDITO, VRDEBITO FROM SALDODIARIO"),
                {}, [&](const SqlRow &row) {
                    if (row.integer(2) != 0 || row.integer(3) != 0)
                        sums[{row.text(0), row.date(1)}] = {row.integer(2), row.integer(3)};
                });
    return sums;
}

QStringList rowsOf(Sql &sql, const QString &query, const SqlParams &params) {
    QSqlQuery reading(sql.database());
    if (!reading.prepare(query))
        throw std::runtime_error(
            ("cannot prepare " + query + ": " + reading.lastError().text()).toStdString());
    for (const auto &[name, value] : params) {
        if (query.contains(u':' + name))
            reading.bindValue(u':' + name, value);
    }
    if (!reading.exec())
        throw std::runtime_error(("cannot run " + query + ": " + reading.lastError().text()).toStdString());
    QStringList rows;
    while (reading.next()) {
        const QSqlRecord record = reading.record();
        QStringList fields;
        for (int i = 0; i < record.count(); ++i)
            fields.append(record.fieldName(i).toUpper() + u'=' +
                          (record.isNull(i) ? QStringLiteral("<null>") : record.value(i).toString()));
        rows.append(fields.join(u'|'));
    }
    return rows;
}

QStringList differences(QStringList before, QStringList after) {
    before.sort();
    after.sort();
    QStringList changed;
    std::set_difference(before.cbegin(), before.cend(), after.cbegin(), after.cend(),
                        std::back_inserter(changed));
    for (QString &row : changed)
        row.prepend(QStringLiteral("- "));
    QStringList added;
    std::set_difference(after.cbegin(), after.cend(), before.cbegin(), before.cend(),
                        std::back_inserter(added));
    for (const QString &row : added)
        changed.append(QStringLiteral("+ ") + row);
    return changed;
}

Variant field(const DataPacket &packet, int row, const char *name) {
    const int index = packet.fieldIndex(QString::fromLatin1(name));
    if (index < 0) {
        ADD_FAILURE() << "the packet has no field " << name;
        return {};
    }
    return packet.value(row, index);
}

Insertion insertion(TestServer &server, EntryRequest &entry, const QString &token) {
    const QString as = token.isEmpty() ? server.demoToken() : token;
    return insertion(entry, [&](const QString &method, const QString &account) {
        const CallOutcome outcome = server.callAs(as, method, {account, "1"});
        return outcome.ok() ? outcome.result.toText() : QString();
    });
}

} // namespace bco::server::testing
