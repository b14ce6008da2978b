#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "framework/remote/net_connection.h"
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

} // namespace
} // namespace bco::server::testing
