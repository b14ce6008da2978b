#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <httplib.h>

#include "framework/remote/net_connection.h"
#include "framework/remote/wire_codec.h"
#include "server/transport/bounded_connections.h"
#include "server/transport/http_server.h"
#include "server_process.h"
#include "server_test_support.h"
#include "support/test_certificates.h"

namespace bco::server::testing {
namespace {

// What a login through NetConnection answers: "ok" or its error.
QString loginThrough(const ServerProcess &server, const TransportSecurity &security) {
    NetConnection connection;
    connection.SetHost(server.host());
    connection.SetPort(server.port());
    connection.SetSecurity(security);
    const RemoteResult answer = connection.Call(QStringLiteral("Login"), {"DEMO", "demo"});
    return answer.ok() ? QStringLiteral("ok") : answer.errorMessage();
}

TEST(TransportSecurityTest, TellsLoopbackAddressesFromOthers) {
    const std::pair<const char *, bool> cases[] = {
        {"127.0.0.1", true}, {"127.8.9.10", true}, {"::1", true},       {"localhost", true},
        {"0.0.0.0", false},  {"::", false},        {"10.0.0.5", false}, {"servidor.empresa", false},
    };
    for (const auto &[host, loopback] : cases)
        EXPECT_EQ(isLoopback(QString::fromLatin1(host)), loopback) << host;
}

// Transport security does not depend on the database: these run over SQLite only.
// Off loopback the server refuses to start without a certificate, whether the address comes from the command
// line or from its configuration file; it never binds the address.
TEST(TransportSecurityTest, RefusesToListenOffLoopbackWithoutTls) {
    TestDatabase database(Backend::Sqlite, false);
    QTemporaryDir folder;
    QFile config(folder.filePath(QStringLiteral("bco-server.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[server]\nlisten=0.0.0.0:0\n");
    config.close();
    const QStringList ways[] = {
        {"--listen", "0.0.0.0:0"}, {"--listen", "[::]:0"}, {"--config", config.fileName()}};
    for (const QStringList &way : ways) {
        SCOPED_TRACE(way.join(u' ').toStdString());
        QString errors;
        EXPECT_EQ(
            ServerProcess::runOnce(QStringList{"--db", database.urlText()} + way, nullptr, &errors, 60000),
            1);
        EXPECT_TRUE(errors.contains(u"without TLS")) << errors.toStdString();
    }
}

// A mistyped option, or an audit of a database file that is not there, is told before anything is opened:
// the database path is left as it was, not made and migrated.
TEST(TransportSecurityTest, AMistakeOnTheCommandLineLeavesNoDatabaseBehind) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("nova.db"));
    const QString misspelt = folder.filePath(QStringLiteral("bco-server.conf"));
    QFile config(misspelt);
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[Server]\nlisten=127.0.0.1:0\n");
    config.close();
    const QString badThreads = folder.filePath(QStringLiteral("threads.conf"));
    QFile threadsConfig(badThreads);
    ASSERT_TRUE(threadsConfig.open(QIODevice::WriteOnly));
    threadsConfig.write("[server]\nthreads=abc\n");
    threadsConfig.close();
    const QString badListen = folder.filePath(QStringLiteral("listen.conf"));
    QFile listenConfig(badListen);
    ASSERT_TRUE(listenConfig.open(QIODevice::WriteOnly));
    listenConfig.write("[server]\nlisten=127.0.0.1\n");
    listenConfig.close();
    const struct Case {
        QStringList arguments;
        std::string error;
    } cases[] = {
        {{"--audit", "001"}, "no database file"},
        {{"--audit", "001", "--from", "01/03/2024"}, "--from needs a date"},
        {{"--init-demo", "--demo-date", "15/03/2024"}, "--demo-date needs a date"},
        {{"--listen", "0.0.0.0:0"}, "without TLS"},
        {{"--threads", "0"}, "--threads needs"},
        {{"--listen", "127.0.0.1:0", "--tls-cert", "/nao/existe.pem", "--tls-key", "/nao/existe.key"}, "TLS"},
        {{"--config", misspelt},
         "[Server] listen is no setting of the server (its [server] keys: db, listen,"},
        // Named where it was written.
        {{"--config", badThreads}, "threads= in " + badThreads.toStdString() + " needs a positive number"},
        {{"--config", badListen}, "listen= in " + badListen.toStdString() + " needs HOST:PORT"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QString errors;
        EXPECT_EQ(ServerProcess::runOnce(QStringList{"--db", QStringLiteral("sqlite:") + path} + c.arguments,
                                         nullptr, &errors, 60000),
                  1);
        EXPECT_TRUE(errors.contains(QString::fromStdString(c.error))) << errors.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

TEST(TransportSecurityTest, ServesOnlyClientsThatTrustItsCertificate) {
    TestDatabase database(Backend::Sqlite, true, 50);
    const bco::testing::TestCertificates &made = bco::testing::testCertificates();
    ServerProcess server(database.urlText(),
                         {"--tls-cert", made.path("server.pem"), "--tls-key", made.path("server.key")});
    const struct Case {
        const char *name;
        TransportSecurity security;
        const char *answer;
    } cases[] = {
        {"a client trusting its authority", {true, made.path("ca.pem")}, "ok"},
        {"a client trusting another authority",
         {true, made.path("other-ca.pem")},
         "o certificado do servidor não é confiável ou não é deste endereço"},
        {"a client trusting the system's authorities only",
         {true, QString()},
         "o certificado do servidor não é confiável ou não é deste endereço"},
        {"a client speaking plain HTTP",
         {false, QString()},
         "se o servidor atende por HTTPS, conecte com --server-tls"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString answer = loginThrough(server, c.security);
        EXPECT_TRUE(answer.contains(QString::fromUtf8(c.answer))) << answer.toStdString();
    }
}

TEST(TransportSecurityTest, APlainServerIsNotTakenForATlsOne) {
    TestDatabase database(Backend::Sqlite, true, 50);
    ServerProcess server(database.urlText());
    const QString answer = loginThrough(server, {true, bco::testing::testCertificates().path("ca.pem")});
    EXPECT_TRUE(answer.contains(u"não foi possível abrir uma conexão TLS")) << answer.toStdString();
}

// What a server made of bytes written straight to its socket: whether it took them all, and what it answered
// before it closed the connection or went quiet for ten seconds.
struct RawExchange {
    bool tookAll = true;
    std::string answer;
};

RawExchange exchangeRaw(int port, const std::string &head, std::size_t fillerBytes, const std::string &tail) {
    RawExchange exchange;
    const int socket = connectToLoopback(port);
    if (socket < 0) {
        exchange.tookAll = false;
        return exchange;
    }
    const auto sendAll = [&](const char *data, std::size_t size) {
        while (exchange.tookAll && size > 0) {
            const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
            exchange.tookAll = sent > 0;
            data += sent > 0 ? sent : 0;
            size -= sent > 0 ? static_cast<std::size_t>(sent) : 0;
        }
    };
    sendAll(head.data(), head.size());
    const std::string filler(64 * 1024, 'A');
    for (std::size_t left = fillerBytes; left > 0 && exchange.tookAll;) {
        const std::size_t size = std::min(left, filler.size());
        sendAll(filler.data(), size);
        left -= size;
    }
    sendAll(tail.data(), tail.size());
    char buffer[4096];
    for (ssize_t received; (received = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
        exchange.answer.append(buffer, static_cast<std::size_t>(received));
    ::close(socket);
    return exchange;
}

// The server holds no more of a request than its limits allow, however the request is sent: a line or a
// header that never ends, a chunked body (whose length no header declares), or a body to a path that takes
// none. A request cut short is answered where an answer can be given, and its connection closed.
TEST(TransportSecurityTest, ReadsNoRequestPastItsBounds) {
    TestDatabase database(Backend::Sqlite, true, 50);
    const auto server =
        std::make_unique<ServerProcess>(database.urlText(), QStringList{"--body-limit", "4096"});
    const std::string rpc = rpcPath(u"BCO11100.rdmLancContCorr", u"Login").toStdString();
    const auto chunked = [&](const std::string &path, const std::string &body, const char *headers = "") {
        std::string request = "POST " + path +
                              " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\n"
                              "Transfer-Encoding: chunked\r\n" +
                              headers + "\r\n";
        for (std::size_t at = 0; at < body.size(); at += 0x400) {
            const std::string chunk = body.substr(at, 0x400);
            request += QByteArray::number(static_cast<qulonglong>(chunk.size()), 16).toStdString() + "\r\n" +
                       chunk + "\r\n";
        }
        return request + "0\r\n\r\n";
    };
    // A chunked call within the limit is a call like any other; it closes the connection after it.
    const std::string login =
        chunked(rpc, encodeRequest({"DEMO", "demo"}).toStdString(), "Connection: close\r\n");
    const std::size_t endless = 16 * 1024 * 1024;
    const struct Case {
        const char *name;
        std::string head;
        std::size_t filler;
        std::string tail;
        // The start of the answer; null for a head cut off, which the server stops reading and closes whether
        // or not its answer (400 or 414) reaches the client first.
        const char *answer;
        const char *error; // what the answer says besides, when it is one of ours
        // Whether the call sent after it on the same connection was answered: a refused body that was read
        // whole leaves the connection at the next call, one cut off closes it.
        bool followed;
    } cases[] = {
        {"a chunked call", login, 0, "", "HTTP/1.1 200", "DEMO", false},
        {"a chunked body over the limit, then a call on the same connection",
         chunked(rpc, std::string(5000, 'x')), 0, login, "HTTP/1.1 413",
         "request body over the limit of 4096 bytes", true},
        {"a chunked body to a path that takes none, over what any request may send",
         chunked("/x", std::string(200 * 1024, 'x')), 0, login, "HTTP/1.1 400", "HTTP status 400", false},
        {"a request line the library finds too long, a call as its body",
         "POST " + rpc + "?" + std::string(9000, 'a') +
             " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(login.size()) + "\r\n\r\n",
         0, login, "HTTP/1.1 414", "", false},
        {"a method the library does not know, a call as its body",
         "FOO " + rpc + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(login.size()) +
             "\r\n\r\n",
         0, login, "HTTP/1.1 400", "", false},
        {"a compressed body, which is refused unread",
         "POST " + rpc +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Encoding: "
             "gzip\r\nContent-Length: " +
             std::to_string(login.size()) + "\r\n\r\n",
         0, login, "HTTP/1.1 415", "a body is sent as it is, not compressed", false},
        {"a call without a session whose body never comes, which is refused unread",
         "POST " + rpcPath(u"BCO11100.rdmLancContCorr", u"getSaldoDia").toStdString() +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Length: 100000\r\n\r\n",
         0, "", "HTTP/1.1 401", "no session: call Login first", false},
        {"a length given both ways, a call after it",
         "POST " + rpc +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Length: 5\r\n"
             "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         0, login, "HTTP/1.1 400", "the request's length is given ambiguously", false},
        {"two lengths, a call after it",
         "POST " + rpc +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Length: 0\r\n"
             "Content-Length: " +
             std::to_string(login.size()) + "\r\n\r\n",
         0, login, "HTTP/1.1 400", "the request's length is given ambiguously", false},
        {"a length folded onto a second line, a call after it",
         "POST " + rpc + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Length: " +
             std::to_string(login.size()) + "\r\n 5\r\n\r\n",
         0, login + login, "HTTP/1.1 400", "the request's head is written ambiguously", false},
        {"a length in percent escapes, a call after it",
         "POST " + rpc +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Length: %30\r\n\r\n",
         0, login, "HTTP/1.1 400", "the request's head is written ambiguously", false},
        {"a blank before a header's colon, a call after it",
         "POST " + rpc +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nContent-Length : 0\r\n\r\n",
         0, login, "HTTP/1.1 400", "the request's head is written ambiguously", false},
        {"two sessions named, a call after it",
         "POST " + rpcPath(u"BCO11100.rdmLancContCorr", u"getSaldoDia").toStdString() +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nAuthorization: Bearer a\r\n"
             "Authorization: Bearer b\r\nContent-Length: 0\r\n\r\n",
         0, login, "HTTP/1.1 400", "the request names its session twice", false},
        {"a range of the answer asked for, which goes whole, and a call after it",
         chunked(rpc, encodeRequest({"DEMO", "demo"}).toStdString(), "Range: bytes=0-9\r\n"), 0, login,
         "HTTP/1.1 200", "DEMO", true},
        {"a range that cannot be read, which runs nothing",
         chunked(rpc, encodeRequest({"DEMO", "demo"}).toStdString(), "Range: bytes=abc\r\n"), 0, login,
         "HTTP/1.1 416", "the request's Range header cannot be read: an answer is sent whole, send none",
         false},
        {"a request line that never ends", "POST /", endless, "", nullptr, "", false},
        {"a header that never ends", "POST " + rpc + " HTTP/1.1\r\nX-Filler: ", endless, "", nullptr, "",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const RawExchange exchange = exchangeRaw(server->port(), c.head, c.filler, c.tail);
        EXPECT_EQ(exchange.tookAll, c.filler != endless);
        if (c.answer != nullptr) {
            EXPECT_EQ(exchange.answer.rfind(c.answer, 0), 0u) << exchange.answer.substr(0, 80);
        }
        if (*c.error != 0) {
            EXPECT_NE(exchange.answer.find(c.error), std::string::npos) << exchange.answer.substr(0, 200);
        }
        EXPECT_EQ(exchange.answer.find("HTTP/1.1 200", 1) != std::string::npos, c.followed);
        EXPECT_EQ(exchange.answer.find("Content-Range"), std::string::npos) << "an answer goes whole";
        // A connection closed after its answer says so, so that the client sends its next request anew.
        if (c.answer != nullptr && !c.followed) {
            EXPECT_NE(exchange.answer.find("Connection: close"), std::string::npos)
                << exchange.answer.substr(0, 300);
        }
    }
}

// A head that trickles in, each byte well within the read timeout, is cut off once it has taken ten seconds.
TEST(TransportSecurityTest, CutsOffAHeadThatTricklesIn) {
    TestDatabase database(Backend::Sqlite, true, 50);
    const ServerProcess server(database.urlText());
    const int socket = connectToLoopback(server.port());
    ASSERT_GE(socket, 0);
    const std::string head =
        "POST " + rpcPath(u"BCO11100.rdmLancContCorr", u"Login").toStdString() + " HTTP/1.1\r\nX-Slow: ";
    ASSERT_EQ(::send(socket, head.data(), head.size(), MSG_NOSIGNAL), static_cast<ssize_t>(head.size()));
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        closed = ::send(socket, "a", 1, MSG_NOSIGNAL) != 1;
        // Whatever the server answered is read; the connection is closed once nothing more can come.
        char buffer[4096];
        ssize_t received = 0;
        while ((received = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        }
        closed = closed || received == 0 || (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    ::close(socket);
    EXPECT_TRUE(closed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// A server of the library's own listening on its own thread, stopped however the test ends.
struct Listening {
    httplib::Server &server;
    std::thread thread{[this] {
        server.listen_after_bind();
    }};
    ~Listening() {
        server.stop();
        thread.join();
    }
};

// A body is read as long as it keeps, on average, to the least rate once its grace has passed, however it
// pauses; one that falls behind is cut off, and its connection closed, at once rather than after the read
// timeout, even when the route answered it. A server of the library's own with a route that answers the
// length it read, and bounds small enough to be reached in a test.
TEST(TransportSecurityTest, CutsOffABodyThatFallsBehindItsLeastRate) {
    const RequestBounds bounds{.headBytes = 64 * 1024,
                               .headTime = std::chrono::seconds(5),
                               .bodyBytes = 1024 * 1024,
                               .bodyGrace = std::chrono::seconds(1),
                               .bodyBytesPerSecond = 2000};
    const std::unique_ptr<httplib::Server> server = makeBoundedServer(QString(), QString(), bounds, 4);
    server->set_read_timeout(30, 0);
    server->Post("/corpo", [](const httplib::Request &, httplib::Response &response,
                              const httplib::ContentReader &reader) {
        std::size_t length = 0;
        if (reader([&length](const char *, std::size_t size) {
                length += size;
                return true;
            })) {
            requestReadWhole();
            response.set_content("lidos " + std::to_string(length), "text/plain");
        } else
            response.status = 400; // as the calls' route answers a body it could not read
    });
    const int port = server->bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    const Listening listening{*server};

    struct Piece {
        int waitMilliseconds; // before it is sent
        std::size_t bytes;
    };
    const struct Case {
        const char *name;
        std::vector<Piece> pieces;
        bool read; // whether the whole body was read and answered
    } cases[] = {
        {"a byte now and then", std::vector<Piece>(30, {100, 1}), false},
        {"steadily above the rate, well past the grace", std::vector<Piece>(20, {100, 600}), true},
        {"a pause past the grace that the bytes before it earned", {{0, 5000}, {1500, 1000}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t length = 0;
        for (const Piece &piece : c.pieces)
            length += piece.bytes;
        const int socket = connectToLoopback(port);
        ASSERT_GE(socket, 0);
        // A body read whole asks for its connection to be closed after it, so that its answer ends without
        // the keep-alive's wait; the one cut off keeps it, as our clients do, so that only the cut closes it.
        const std::string head =
            "POST /corpo HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(length) +
            (c.read ? "\r\nConnection: close" : "") + "\r\n\r\n";
        bool sent =
            ::send(socket, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
        const auto start = std::chrono::steady_clock::now();
        for (const Piece &piece : c.pieces) {
            if (!sent)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.waitMilliseconds));
            const std::string bytes(piece.bytes, 'x');
            sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(bytes.size());
        }
        std::string answer;
        char buffer[4096];
        for (ssize_t received; (received = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(received));
        ::close(socket);
        EXPECT_EQ(answer.find("lidos " + std::to_string(length)) != std::string::npos, c.read)
            << answer.substr(0, 200);
        // A body cut off is not read any further: its connection is closed while its client still sends.
        EXPECT_EQ(sent, c.read);
        if (!c.read) {
            EXPECT_EQ(answer.find("HTTP/1.1 200"), std::string::npos);
            // Cut off once behind (at about a second here), not after the read timeout.
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        }
    }
}

// A connection kept alive gives its worker back once another connection waits for one, whether it sits idle
// or keeps sending: one worker here, kept alive far longer than the test waits.
TEST(TransportSecurityTest, AConnectionKeptAliveGivesItsWorkerBackToOneWaiting) {
    const std::unique_ptr<httplib::Server> server = makeBoundedServer(
        QString(), QString(),
        {.headBytes = 64 * 1024, .headTime = std::chrono::seconds(5), .bodyBytes = 1024}, 1);
    server->set_keep_alive_timeout(60);
    server->Get("/eco", [](const httplib::Request &, httplib::Response &response) {
        requestReadWhole();
        response.set_content("eco", "text/plain");
    });
    const int port = server->bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    const Listening listening{*server};

    for (const bool keepsSending : {false, true}) {
        SCOPED_TRACE(keepsSending ? "the first keeps sending" : "the first sits idle");
        httplib::Client first("127.0.0.1", port);
        first.set_keep_alive(true);
        ASSERT_TRUE(first.Get("/eco"));
        std::atomic<bool> answered = false;
        std::atomic<int> firstsAnswers = 0;
        std::thread sender;
        if (keepsSending)
            sender = std::thread([&] {
                const auto start = std::chrono::steady_clock::now();
                while (!answered && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
                    if (first.Get("/eco"))
                        ++firstsAnswers;
            });
        while (keepsSending && firstsAnswers < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        httplib::Client second("127.0.0.1", port);
        second.set_read_timeout(90, 0);
        const auto start = std::chrono::steady_clock::now();
        const httplib::Result result = second.Get("/eco");
        answered = true;
        if (sender.joinable())
            sender.join();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->body, "eco");
        // Not after the first's keep-alive ran out, nor after it stopped sending.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        // The first goes on, on a connection of its own again.
        EXPECT_TRUE(first.Get("/eco"));
    }
}

// A client that connects to a TLS server and never begins its handshake is let go once a head's time has
// passed, as one that never sends its head is, not after the read timeout.
TEST(TransportSecurityTest, AHandshakeThatNeverComesIsCutOffAsAHeadIs) {
    const bco::testing::TestCertificates &made = bco::testing::testCertificates();
    const std::unique_ptr<httplib::Server> server = makeBoundedServer(
        made.path("server.pem"), made.path("server.key"),
        {.headBytes = 64 * 1024, .headTime = std::chrono::seconds(1), .bodyBytes = 1024}, 1);
    server->set_read_timeout(30, 0);
    const int port = server->bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    const Listening listening{*server};
    const int socket = connectToLoopback(port);
    ASSERT_GE(socket, 0);
    const auto start = std::chrono::steady_clock::now();
    char byte = 0;
    EXPECT_EQ(::recv(socket, &byte, 1, 0), 0) << "the server closes the connection";
    ::close(socket);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

} // namespace
} // namespace bco::server::testing
