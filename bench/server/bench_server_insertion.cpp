// 16 clients including entries at once through HTTP, as the entry form does (two numbers drawn, then the
// insertion), over four accounts, for a few seconds: the entries written per second, how many numbers were
// answered twice, and how many accounts end with a balance other than their opening plus their credits
// minus their debits (both must be 0). On PostgreSQL also through two servers on the one database.
#include <atomic>
#include <set>
#include <thread>

#include <QCoreApplication>

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
    return {entries / seconds, static_cast<double>(drawn - distinct.size()), wrongBalances(sql, checking)};
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
        report(name, includeAtOnce(database.sql(), {first.port}, token));
        // Several offices: a second server on the same PostgreSQL, the clients spread over both.
        if (dialect == bco::server::Dialect::Postgresql) {
            bench::ServerProgram second(url, sessions);
            report(std::string("two_servers_") + name,
                   includeAtOnce(database.sql(), {first.port, second.port}, token));
        }
    }
    return 0;
}
