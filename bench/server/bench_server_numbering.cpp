// 16 clients calling a writing method at once through HTTP, each over its own keep-alive connection, for a
// few seconds: the calls per second, and how many numbers were answered twice (must be 0). On SQLite with
// durable commits, synced in groups as the server does (and, for comparison, each synced on its own, and not
// synced at all); on PostgreSQL through one server and
// through two servers on the same database, the clients spread over both. The method is the numbering one,
// the smallest writing call, so that the figures are those of the commits; whole insertions are measured by
// bench_server_insertion.
#include <atomic>
#include <set>
#include <thread>

#include <QCoreApplication>

#include <httplib.h>

#include "bench_database.h"
#include "bench_support.h"
#include "framework/remote/wire_codec.h"
#include "server/transport/http_server.h"

namespace {

constexpr int clients = 16;
constexpr auto duration = std::chrono::seconds(5);
const char16_t writingMethod[] = u"getPrxMovBancario";

struct Run {
    double callsPerSecond = 0;
    double duplicates = 0;
};

Run callAtOnce(const std::vector<int> &ports, const QString &token) {
    std::atomic<bool> running{true};
    std::vector<std::vector<QString>> drawn(clients);
    std::vector<std::thread> threads;
    const std::string path = bco::rpcPath(u"BCO11100.rdmLancContCorr", writingMethod).toStdString();
    const std::string body = bco::encodeRequest({"001", "1"}).toStdString();
    const httplib::Headers headers{{"Authorization", "Bearer " + token.toStdString()}};
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", ports[static_cast<size_t>(c) % ports.size()]);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_read_timeout(60, 0);
            while (running) {
                const auto result = client.Post(path, headers, body, bco::CborContentType);
                if (!result)
                    throw std::runtime_error("a call failed: " + httplib::to_string(result.error()));
                if (result->status != 200)
                    throw std::runtime_error("a call failed: status " + std::to_string(result->status));
                const bco::WireAnswer answer = bco::decodeAnswer(
                    QByteArrayView(result->body.data(), static_cast<qsizetype>(result->body.size())));
                if (!answer.ok)
                    throw std::runtime_error("a call failed: " + answer.error.toStdString());
                drawn[static_cast<size_t>(c)].push_back(answer.result.toText());
            }
        });
    }
    std::this_thread::sleep_for(duration);
    running = false;
    for (std::thread &thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::set<QString> distinct;
    size_t calls = 0;
    for (const auto &numbers : drawn) {
        calls += numbers.size();
        distinct.insert(numbers.begin(), numbers.end());
    }
    return {static_cast<double>(calls) / seconds, static_cast<double>(calls - distinct.size())};
}

void report(const std::string &name, const Run &run) {
    bench::report(name.c_str(), run.callsPerSecond, "calls/s");
    bench::report((name + "_duplicates").c_str(), run.duplicates, "numbers");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        bco::server::SessionStore sessions;
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        const bco::DatabaseUrl &url = database.pool().url();
        if (dialect == bco::server::Dialect::Sqlite) {
            const std::pair<bco::server::Commits, const char *> commits[] = {
                {bco::server::Commits::GroupSynced, "durable"},
                {bco::server::Commits::EachSynced, "durable_each_synced"},
                {bco::server::Commits::NotSynced, "not_synced"},
            };
            for (const auto &[kind, label] : commits) {
                bench::ServerProgram server(url, sessions, kind);
                report(std::string("server_numbering_16_clients_") + label + "_" + name,
                       callAtOnce({server.port}, token));
            }
            continue;
        }
        bench::ServerProgram first(url, sessions);
        report(std::string("server_writing_16_clients_one_server_") + name, callAtOnce({first.port}, token));
        bench::ServerProgram second(url, sessions);
        report(std::string("server_writing_16_clients_two_servers_") + name,
               callAtOnce({first.port, second.port}, token));
    }
    return 0;
}
