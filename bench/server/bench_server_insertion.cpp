// 16 clients including entries at once through HTTP, as the entry form does (two numbers drawn, then the
// insertion), over four accounts, for a few seconds: the entries written per second, how many numbers were
// answered twice, and how many accounts end with a balance other than their opening plus their credits
// minus their debits (both must be 0). On PostgreSQL also through two servers on the one database, and the
// floor: pgbench's 16 clients drawing from one counter row, each draw a durable transaction of its own, in
// the same run; the server's figure over it counts every writing call (the two numbers drawn and the
// insertion), since each is such a transaction.
#include <atomic>
#include <set>
#include <thread>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "bench_database.h"
#include "bench_support.h"
#include "framework/remote/net_connection.h"
#include "support/entry_requests.h"

namespace {

const QStringList accounts{"001", "002", "003", "004"};
const QDate day(2024, 3, 15);

void addAccountsAndPeriod(bench::BenchDatabase &database) {
    for (const QString &account : accounts.mid(1))
        database.sql().execute(
            QStringLiteral(
                "INSERT INTO CONTCORR (CDREDUCONT, CDEMPRESA, CDBANCO, CDAGENCIA, CDCONTCORR, DSCONTCORR, "
                "CDCONTCTBL, IDTIPOCCORR, DTSALDINIC, VRSALDINIC) VALUES (:conta, '01', '101', '1234', "
                ":conta, 'Conta', '1110200001', 'C', '2014-01-01', 500000)"),
            {{QStringLiteral("conta"), account}});
    database.sql().execute(
        QStringLiteral("INSERT INTO PERIODOCTB (CDEMPRESA, DTINIPERI, DTFIMPERI, IDSITUPERI) "
                       "VALUES ('01', '2024-01-01', '2024-12-31', 'A')"));
}

// Accounts whose balance on the day, as the server answers it, is not their opening plus the movements.
int wrongBalances(bco::server::Sql &sql, bco::NetConnection &connection) {
    int wrong = 0;
    for (const QString &account : accounts) {
        const qint64 expected =
            sql.scalar(QStringLiteral(
                           "SELECT C.VRSALDINIC + COALESCE((SELECT SUM(CASE WHEN M.IDMOVBANC = 'C' THEN "
                           "M.VRMOVBANC ELSE -M.VRMOVBANC END) FROM MOVBANCARIO M WHERE M.CDREDUCONT = "
                           "C.CDREDUCONT), 0) FROM CONTCORR C WHERE C.CDREDUCONT = :conta"),
                       {{QStringLiteral("conta"), account}})
                ->toLongLong();
        const double answered = connection.Call(QStringLiteral("getSaldoDia"), bco::VariantList{account, day})
                                    .payload()
                                    .toFloat();
        if (qRound64(answered * 100) != expected)
            ++wrong;
    }
    return wrong;
}

struct Run {
    double entriesPerSecond = 0;
    double writingCallsPerEntry = 0;
    double duplicateNumbers = 0;
    int wrongBalances = 0;
};

// 16 clients including for a few seconds, client c through the server at ports[c % ports.size()].
Run includeAtOnce(bco::server::Sql &sql, const std::vector<int> &ports, const QString &token) {
    constexpr int clients = 16;
    constexpr auto duration = std::chrono::seconds(5);
    const auto connect = [&](bco::NetConnection &connection, int port) {
        connection.SetHost(QStringLiteral("127.0.0.1"));
        connection.SetPort(port);
        connection.SetBearerToken(token);
        connection.SetThrowException(true);
    };
    std::atomic<bool> running{true};
    std::vector<std::vector<QString>> numbers(clients);
    std::vector<int> written(clients, 0);
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            bco::NetConnection connection;
            connect(connection, ports[static_cast<size_t>(c) % ports.size()]);
            const auto draw = [&](const QString &method, const QString &account) {
                const QString number =
                    connection.Call(method, bco::VariantList{account, "1"}).payload().toText();
                numbers[static_cast<size_t>(c)].push_back(account + method + number);
                return number;
            };
            for (int i = 0; running; ++i) {
                bco::testing::EntryRequest entry{
                    .kind = i % 3 == 0 ? 'D' : 'C',
                    .account = accounts[c % accounts.size()],
                    .date = day,
                    .value = 10.0 + (c * 1000 + i) % 5000 / 100.0,
                    .costCentre = QString(),
                    .description = QStringLiteral("Cliente %1 lançamento %2").arg(c).arg(i),
                    // The credit type posts to customers: its accounting names one.
                    .customer = i % 3 == 0 ? QString() : QStringLiteral("CLI0001")};
                const bco::testing::Insertion call = bco::testing::insertion(entry, draw);
                const bco::Variant answer = connection.Call(call.method, call.args).payload();
                if (answer.array().at(3).packet().rowCount() != 0)
                    throw std::runtime_error("the server could not account an entry");
                ++written[static_cast<size_t>(c)];
            }
        });
    }
    std::this_thread::sleep_for(duration);
    running = false;
    for (std::thread &thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::set<QString> distinct;
    size_t drawn = 0;
    int entries = 0;
    for (int c = 0; c < clients; ++c) {
        drawn += numbers[static_cast<size_t>(c)].size();
        distinct.insert(numbers[static_cast<size_t>(c)].begin(), numbers[static_cast<size_t>(c)].end());
        entries += written[static_cast<size_t>(c)];
    }
    bco::NetConnection checking;
    connect(checking, ports.front());
    return {entries / seconds, static_cast<double>(drawn + entries) / entries,
            static_cast<double>(drawn - distinct.size()), wrongBalances(sql, checking)};
}

// Transactions a second of 16 pgbench clients each drawing the next number from one shared counter row, on
// the benchmark's own database, as long as the server's run.
double pgbenchFloor(bco::server::Sql &sql, const bco::DatabaseUrl &url) {
    sql.executeScript(
        QStringLiteral("CREATE TABLE BENCH_CONTADOR (ID INTEGER PRIMARY KEY, NR BIGINT NOT NULL); "
                       "INSERT INTO BENCH_CONTADOR VALUES (1, 0)"));
    QTemporaryDir folder;
    const QString script = folder.filePath(QStringLiteral("draw.sql"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("UPDATE BENCH_CONTADOR SET NR = NR + 1 WHERE ID = 1 RETURNING NR;\n") < 0)
        throw std::runtime_error("cannot write the pgbench script");
    file.close();
    const QString bindir =
        qEnvironmentVariable("BCO_PG_BINDIR", QStringLiteral("/usr/lib/postgresql/15/bin"));
    QProcess pgbench;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!url.password.isEmpty())
        environment.insert(QStringLiteral("PGPASSWORD"), url.password);
    pgbench.setProcessEnvironment(environment);
    QString connection = QStringLiteral("port=%1 dbname=%2").arg(url.port).arg(url.databaseName);
    if (!url.host.isEmpty())
        connection += QStringLiteral(" host=") + url.host;
    if (!url.user.isEmpty())
        connection += QStringLiteral(" user=") + url.user;
    pgbench.start(bindir + QStringLiteral("/pgbench"),
                  {QStringLiteral("--no-vacuum"), QStringLiteral("--client=16"), QStringLiteral("--jobs=2"),
                   QStringLiteral("--time=5"), QStringLiteral("--file=") + script, connection});
    if (!pgbench.waitForFinished(120000) || pgbench.exitStatus() != QProcess::NormalExit ||
        pgbench.exitCode() != 0)
        throw std::runtime_error("pgbench failed: " + pgbench.readAllStandardError().toStdString());
    const QRegularExpressionMatch tps = QRegularExpression(QStringLiteral("tps = ([0-9.]+)"))
                                            .match(QString::fromUtf8(pgbench.readAllStandardOutput()));
    if (!tps.hasMatch())
        throw std::runtime_error("pgbench printed no rate");
    return tps.captured(1).toDouble();
}

void report(const std::string &label, const Run &run) {
    bench::report(("server_insertion_16_clients_" + label).c_str(), run.entriesPerSecond, "entries/s");
    bench::report(("server_insertion_duplicate_numbers_" + label).c_str(), run.duplicateNumbers, "numbers");
    bench::report(("server_insertion_wrong_balances_" + label).c_str(), run.wrongBalances, "accounts");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        addAccountsAndPeriod(database);
        bco::server::SessionStore sessions;
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        const bco::DatabaseUrl &url = database.pool().url();
        bench::ServerProgram first(url, sessions);
        const Run alone = includeAtOnce(database.sql(), {first.port}, token);
        report(name, alone);
        // Several offices: a second server on the same PostgreSQL, the clients spread over both.
        if (dialect == bco::server::Dialect::Postgresql) {
            bench::ServerProgram second(url, sessions);
            report(std::string("two_servers_") + name,
                   includeAtOnce(database.sql(), {first.port, second.port}, token));
            const double floor = pgbenchFloor(database.sql(), url);
            const double calls = alone.entriesPerSecond * alone.writingCallsPerEntry;
            bench::report("server_insertion_16_clients_writing_calls_postgresql", calls, "calls/s");
            bench::report("server_insertion_16_clients_floor_pgbench_postgresql", floor, "transactions/s");
            bench::report("server_insertion_16_clients_ratio_to_floor_postgresql", calls / floor, "x");
        }
    }
    return 0;
}
