#include <chrono>
#include <functional>
#include <set>
#include <stdexcept>
#include <thread>

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/remote/net_connection.h"
#include "framework/remote/wire_codec.h"
#include "support/loopback_rpc_server.h"
#include "support/test_certificates.h"

using namespace bco;
using bco::test::LoopbackRpcServer;
using ::testing::HasSubstr;

namespace {

// The way the forms set their connection up: the address is filled in just before connecting.
void pointAt(NetConnection &connection, const QString &host, int port) {
    connection.SetBeforeConnect([host, port](NetConnection &self) {
        self.SetHost(host);
        self.SetPort(port);
    });
}

// A port on which nothing listens: a server's, once it stopped.
int closedPort() {
    return LoopbackRpcServer().port();
}

} // namespace

TEST(NetConnectionTest, ArgumentsPassedByReferenceComeBackChanged) {
    LoopbackRpcServer server;
    server.on(QStringLiteral("GetVdPeriodoContabil"), [](VariantList &args) {
        args[0] = "S";
        args[1] = args[1].toDate().addDays(1);
        return Variant(true);
    });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());
    connection.Open();

    VariantList args{"01", QDate(2024, 3, 15)};
    const RemoteResult result = connection.Call(QStringLiteral("getvdperiodocontabil"), args);
    ASSERT_TRUE(result.ok()) << result.errorMessage().toStdString();
    EXPECT_EQ(result.payload(), Variant(true));
    EXPECT_EQ(args, (VariantList{"S", QDate(2024, 3, 16)}));
}

TEST(NetConnectionTest, CallsWithoutByReferenceArgumentsTakeThemByValue) {
    LoopbackRpcServer server;
    server.on(QStringLiteral("getSaldoDia"), [](VariantList &args) {
        return Variant(args.size() == 2 && args[0] == Variant("001") ? 1500.25 : -1.0);
    });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());

    const RemoteResult result = connection.Call(QStringLiteral("getSaldoDia"), {"001", QDate(2024, 3, 15)});
    ASSERT_TRUE(result.ok()) << result.errorMessage().toStdString();
    EXPECT_EQ(result.payload(), Variant(1500.25));
    EXPECT_TRUE(connection.Connected()) << "a call opens the connection it needs";
}

// A long answer comes over the socket in many pieces, gathered into the room taken for its announced length.
TEST(NetConnectionTest, ALongAnswerArrivesWhole) {
    LoopbackRpcServer server;
    QString text(3 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(u'a' + static_cast<char16_t>(i % 26));
    server.on(QStringLiteral("getRelatorio"), [&](VariantList &) { return Variant(text); });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());

    for (int call = 0; call < 2; ++call) {
        const RemoteResult result = connection.Call(QStringLiteral("getRelatorio"), VariantList{});
        ASSERT_TRUE(result.ok()) << result.errorMessage().toStdString();
        EXPECT_EQ(result.payload(), Variant(text)) << "call " << call;
    }
}

TEST(NetConnectionTest, AMethodsFailureComesBackWithItsMessageAndLeavesTheArguments) {
    LoopbackRpcServer server;
    server.on(QStringLiteral("getFilial"), [](VariantList &args) -> Variant {
        args[0] = "changed";
        throw std::runtime_error("branch 0009 does not exist");
    });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());

    VariantList args{"0009", "01"};
    const RemoteResult result = connection.Call(QStringLiteral("getFilial"), args);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.errorMessage(), QStringLiteral("branch 0009 does not exist"));
    EXPECT_EQ(args, (VariantList{"0009", "01"}));
}

const char *const sessionEnded = "A sessão do operador no servidor de aplicação terminou (expirou ou foi "
                                 "encerrada): getEmpresa não foi executado. Entre novamente no sistema.";

TEST(NetConnectionTest, RefusalsAndBrokenAnswersBecomeFailuresThatSayWhy) {
    struct Case {
        const char *name;
        std::function<void(LoopbackRpcServer &)> setUp;
        const char *message;
    };
    const std::string cbor = CborContentType;
    const auto raw = [](int status, std::string type, QByteArray body) {
        return [=](LoopbackRpcServer &server) {
            server.answerRaw(QStringLiteral("getEmpresa"), status, type, body.toStdString());
        };
    };
    const Case cases[] = {
        {"a call without the session token",
         [](LoopbackRpcServer &s) { s.requireToken(QStringLiteral("t0k3n")); }, sessionEnded},
        {"a method the server does not know", [](LoopbackRpcServer &) {},
         "O servidor de aplicação não tem o método getEmpresa (HTTP 404)"},
        {"a request over the body limit", [](LoopbackRpcServer &s) { s.limitBody(4); },
         "A chamada de getEmpresa é maior do que o servidor de aplicação aceita (HTTP 413)"},
        {"a request the server finds malformed",
         raw(400, cbor, encodeError(QStringLiteral("malformed CBOR"))),
         "O servidor de aplicação recusou a chamada de getEmpresa como malformada (HTTP 400)"},
        {"a database busy with another writer",
         raw(503, cbor, encodeError(QStringLiteral("O banco de dados está ocupado por outra operação"))),
         "O banco de dados está ocupado por outra operação"},
        {"a refusal of the session without a message", raw(401, "text/plain", {}), sessionEnded},
        {"a body limit without a message", raw(413, "text/plain", {}),
         "maior do que o servidor de aplicação aceita"},
        {"a failure of the server itself",
         raw(500, cbor, encodeError(QStringLiteral("x"), QStringLiteral("0A1B2C3D"))),
         "O servidor de aplicação falhou ao executar getEmpresa (ocorrência 0A1B2C3D)."},
        {"an error page", raw(500, "text/html", "<html></html>"),
         "O servidor de aplicação falhou ao executar getEmpresa."},
        {"a success that is not CBOR", raw(200, "text/plain", "ok"),
         "resposta malformada à chamada de getEmpresa"},
        {"a success cut short", raw(200, cbor, encodeAnswer(1, {"0001"}).chopped(2)), "truncated"},
        {"a success with the arguments missing", raw(200, cbor, encodeAnswer(1, {})),
         "respondeu 0 argumentos"},
        {"a failure without a message", raw(200, cbor, encodeError({})), "getEmpresa falhou sem mensagem"},
    };
    for (const Case &c : cases) {
        LoopbackRpcServer server;
        c.setUp(server);
        NetConnection connection;
        pointAt(connection, server.host(), server.port());
        VariantList args{"0001"};
        const RemoteResult result = connection.Call(QStringLiteral("getEmpresa"), args);
        EXPECT_FALSE(result.ok()) << c.name;
        EXPECT_THAT(result.errorMessage().toStdString(), HasSubstr(c.message)) << c.name;
        EXPECT_EQ(args, VariantList{"0001"}) << c.name;
    }
}

// A refused session goes to the installed renewal once, and the call is sent again under the token it gives;
// without one, or with none given, the call fails saying the session ended.
TEST(NetConnectionTest, ACallWhoseSessionWasRefusedIsSentAgainUnderTheRenewedOne) {
    struct Case {
        const char *name;
        bool installed;
        const char *renewed; // what the renewal answers
        bool ok;
    };
    const Case cases[] = {
        {"renewed", true, "novo", true},
        {"the operator gave none", true, "", false},
        {"the same token again", true, "velho", false},
        {"no renewal installed", false, "", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackRpcServer server;
        server.requireToken(QStringLiteral("novo"));
        server.on(QStringLiteral("getEmpresa"), [](VariantList &args) {
            args[0] = QStringLiteral("lida");
            return Variant(7);
        });
        QStringList refused;
        NetConnection::SessionRenewal renewal;
        if (c.installed)
            renewal = [&](const QString &token) {
                refused << token;
                return QString::fromLatin1(c.renewed);
            };
        const NetConnection::SessionRenewal before = NetConnection::installSessionRenewal(renewal);
        NetConnection connection;
        pointAt(connection, server.host(), server.port());
        connection.SetBearerToken(QStringLiteral("velho"));
        VariantList args{"0001"};
        const RemoteResult result = connection.Call(QStringLiteral("getEmpresa"), args);
        NetConnection::installSessionRenewal(before);

        EXPECT_EQ(refused, c.installed ? QStringList{"velho"} : QStringList());
        EXPECT_EQ(result.ok(), c.ok) << result.errorMessage().toStdString();
        if (c.ok) {
            EXPECT_EQ(result.payload(), Variant(7));
            EXPECT_EQ(args, VariantList{"lida"});
            EXPECT_EQ(connection.BearerToken(), "novo");
        } else {
            EXPECT_EQ(result.errorMessage(), QString::fromUtf8(sessionEnded));
            EXPECT_EQ(args, VariantList{"0001"});
        }
    }
}

TEST(NetConnectionTest, CallsShareOneKeptAliveConnection) {
    LoopbackRpcServer server;
    server.on(QStringLiteral("getGeral_bco"), [](VariantList &) { return Variant(); });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());
    connection.Open();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(connection.Call(QStringLiteral("getGeral_bco")).ok());

    std::set<int> ports;
    for (const auto &call : server.calls())
        ports.insert(call.remotePort);
    EXPECT_EQ(server.calls().size(), 3u);
    EXPECT_EQ(ports.size(), 1u);
}

TEST(NetConnectionTest, ReconnectsWhenTheServerEndedTheConnection) {
    LoopbackRpcServer server; // ends a kept-alive connection after five requests
    server.on(QStringLiteral("getLancto"), [](VariantList &) { return Variant(1); });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(connection.Call(QStringLiteral("getLancto")).ok()) << "call " << i;
    std::set<int> ports;
    for (const auto &call : server.calls())
        ports.insert(call.remotePort);
    EXPECT_GT(ports.size(), 1u) << "the server should have ended at least one connection";
}

TEST(NetConnectionTest, AnUnreachableServerIsTheFailureOfTheFirstCall) {
    const int port = closedPort();
    NetConnection connection;
    pointAt(connection, QStringLiteral("127.0.0.1"), port);
    EXPECT_NO_THROW(connection.Open());
    EXPECT_FALSE(connection.Connected());

    const RemoteResult first = connection.Call(QStringLiteral("GetParamGeral"));
    EXPECT_FALSE(first.ok());
    EXPECT_THAT(first.errorMessage().toStdString(),
                HasSubstr(QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1")
                              .arg(port)
                              .toStdString()));
    EXPECT_FALSE(connection.Call(QStringLiteral("GetParamGeral")).ok()) << "a later call tries again";
}

TEST(NetConnectionTest, WithThrowExceptionFailuresAreThrown) {
    NetConnection unreachable;
    unreachable.SetThrowException(true);
    pointAt(unreachable, QStringLiteral("127.0.0.1"), closedPort());
    EXPECT_THROW(unreachable.Open(), RemoteCallError);

    LoopbackRpcServer server;
    server.on(QStringLiteral("getCliente"),
              [](VariantList &) -> Variant { throw std::runtime_error("refused"); });
    NetConnection connection;
    connection.SetThrowException(true);
    pointAt(connection, server.host(), server.port());
    EXPECT_THROW(connection.Call(QStringLiteral("getCliente"), {"1", "2"}), RemoteCallError);
}

TEST(NetConnectionTest, TheSessionTokenTravelsAsABearerHeader) {
    LoopbackRpcServer server;
    server.requireToken(QStringLiteral("abc123"));
    server.on(QStringLiteral("getLancto"), [](VariantList &) { return Variant(1); });
    NetConnection connection;
    pointAt(connection, server.host(), server.port());
    connection.SetBearerToken(QStringLiteral("abc123"));

    EXPECT_TRUE(connection.Call(QStringLiteral("getLancto")).ok());
    ASSERT_EQ(server.calls().size(), 1u);
    EXPECT_EQ(server.calls()[0].authorization, "Bearer abc123");
}

TEST(NetConnectionTest, RefusesWhatCannotBeSentWithoutCalling) {
    LoopbackRpcServer server;
    NetConnection connection;
    pointAt(connection, server.host(), server.port());
    for (const QString &method : {QString(), QStringLiteral("../admin"), QStringLiteral("get Saldo")})
        EXPECT_FALSE(connection.Call(method).ok()) << method.toStdString();
    const RemoteResult farDate = connection.Call(QStringLiteral("getSaldoDia"), {"001", QDate(10000, 1, 1)});
    EXPECT_THAT(farDate.errorMessage().toStdString(),
                HasSubstr("Os argumentos de getSaldoDia não podem ser enviados"));
    EXPECT_TRUE(server.calls().empty());
}

namespace {

// A TLS server that takes the handshake and the start of a request, then resets the connection: what a
// server restarted or killed while a call is sent does to its client.
class ResettingTlsPeer {
public:
    ResettingTlsPeer() {
        const bco::testing::TestCertificates &made = bco::testing::testCertificates();
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context_,
                                           made.path(QStringLiteral("server.pem")).toLocal8Bit().constData());
        SSL_CTX_use_PrivateKey_file(
            context_, made.path(QStringLiteral("server.key")).toLocal8Bit().constData(), SSL_FILETYPE_PEM);
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        serving_ = std::thread([this] { serveOne(); });
    }
    ~ResettingTlsPeer() {
        serving_.join();
        ::close(listener_);
        SSL_CTX_free(context_);
    }

    int port() const { return port_; }

private:
    void serveOne() {
        const int socket = ::accept(listener_, nullptr, nullptr);
        SSL *ssl = SSL_new(context_);
        SSL_set_fd(ssl, socket);
        if (SSL_accept(ssl) == 1) {
            char start[4096];
            SSL_read(ssl, start, sizeof start);
            // Let the client fill the socket's buffers before the reset.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const linger reset{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(socket);
        SSL_free(ssl);
    }

    SSL_CTX *context_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::thread serving_;
};

} // namespace

// The reset reaches the client while it writes the request's body: the call fails, saying so.
TEST(NetConnectionTest, AServerThatResetsTheConnectionWhileACallIsSentIsAFailureThatSaysSo) {
    const ResettingTlsPeer peer;
    NetConnection connection;
    connection.SetSecurity({true, bco::testing::testCertificates().path(QStringLiteral("ca.pem"))});
    pointAt(connection, QStringLiteral("127.0.0.1"), peer.port());
    const RemoteResult answer =
        connection.Call(QStringLiteral("ImportaLancamentos"), {QString(16 * 1024 * 1024, u'x')});
    EXPECT_FALSE(answer.ok());
    EXPECT_EQ(answer.errorMessage(),
              QStringLiteral(
                  "A chamada de ImportaLancamentos ao servidor de aplicação em 127.0.0.1:%1 falhou: o pedido "
                  "não pôde ser enviado (a conexão foi fechada ou o tempo de espera acabou durante o envio)")
                  .arg(peer.port()));
}
