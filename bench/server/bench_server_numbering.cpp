// 16 clients drawing bank-movement numbers of one account at once through HTTP, each over its own keep-alive
// connection, for a few seconds: the calls per second, and how many numbers were answered twice (must be 0).
#include <atomic>
#include <set>
#include <thread>

#include <QCoreApplication>

#include <httplib.h>

#include "bench_database.h"
#include "bench_support.h"
#include "framework/remote/wire_codec.h"
#include "server/http_server.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    constexpr int clients = 16;
    constexpr auto duration = std::chrono::seconds(5);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        bco::server::SessionStore sessions;
        bco::server::Dispatcher dispatcher(database.pool(), sessions, bco::server::allMethods());
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        bco::server::HttpServer server(dispatcher, {});
        const int port = server.bind();
        std::thread serving([&] { server.serve(); });

        std::atomic<bool> running{true};
        std::vector<std::vector<QString>> drawn(clients);
        std::vector<std::thread> threads;
        const std::string path =
            bco::rpcPath(u"BCO11100.rdmLancContCorr", u"getPrxMovBancario").toStdString();
        const std::string body = bco::encodeRequest({"001", "1"}).toStdString();
        const httplib::Headers headers{{"Authorization", "Bearer " + token.toStdString()}};
        const auto start = std::chrono::steady_clock::now();
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", port);
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
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        server.stop();
        serving.join();

        std::set<QString> distinct;
        size_t calls = 0;
        for (const auto &numbers : drawn) {
            calls += numbers.size();
            distinct.insert(numbers.begin(), numbers.end());
        }
        bench::report((std::string("server_numbering_16_clients_") + name).c_str(),
                      static_cast<double>(calls) / seconds, "calls/s");
        bench::report((std::string("server_numbering_duplicates_") + name).c_str(),
                      static_cast<double>(calls - distinct.size()), "numbers");
    }
    return 0;
}
