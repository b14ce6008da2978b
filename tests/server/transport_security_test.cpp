#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "framework/remote/net_connection.h"
#include "framework/remote/wire_codec.h"
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
         "the server's certificate is not trusted or does not name this address"},
        {"a client trusting the system's authorities only",
         {true, QString()},
         "the server's certificate is not trusted or does not name this address"},
        {"a client speaking plain HTTP", {false, QString()}, "to the application server at 127.0.0.1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString answer = loginThrough(server, c.security);
        EXPECT_TRUE(answer.contains(QLatin1StringView(c.answer))) << answer.toStdString();
    }
}

TEST(TransportSecurityTest, APlainServerIsNotTakenForATlsOne) {
    TestDatabase database(Backend::Sqlite, true, 50);
    ServerProcess server(database.urlText());
    const QString answer = loginThrough(server, {true, bco::testing::testCertificates().path("ca.pem")});
    EXPECT_TRUE(answer.contains(u"no TLS connection could be made")) << answer.toStdString();
}

// What a server made of bytes written straight to its socket: whether it took them all, and what it answered
// before it closed the connection or went quiet for ten seconds.
struct RawExchange {
    bool tookAll = true;
    std::string answer;
};

// A socket connected to the server on loopback that waits at most ten seconds to send or receive, or -1.
int connectTo(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    const timeval patience{10, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    return socket;
}

RawExchange exchangeRaw(int port, const std::string &head, std::size_t fillerBytes, const std::string &tail) {
    RawExchange exchange;
    const int socket = connectTo(port);
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
    }
}

// A head that trickles in, each byte well within the read timeout, is cut off once it has taken ten seconds.
TEST(TransportSecurityTest, CutsOffAHeadThatTricklesIn) {
    TestDatabase database(Backend::Sqlite, true, 50);
    const ServerProcess server(database.urlText());
    const int socket = connectTo(server.port());
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

} // namespace
} // namespace bco::server::testing
