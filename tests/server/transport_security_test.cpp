#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "framework/remote/net_connection.h"
#include "server/http_server.h"
#include "server_process.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

// Two certificate authorities of our own and a certificate for 127.0.0.1 signed by the first, made with the
// openssl program once for the suite.
class Certificates {
public:
    Certificates() {
        authority("ca");
        authority("other-ca");
        QFile names(path("server.ext"));
        names.open(QIODevice::WriteOnly);
        names.write("subjectAltName = IP:127.0.0.1\n");
        names.close();
        openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                 path("server.key"), "-out", path("server.csr"), "-subj", "/CN=127.0.0.1"});
        openssl({"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
                 "-CAcreateserial", "-days", "2", "-extfile", path("server.ext"), "-out",
                 path("server.pem")});
    }

    QString path(const QString &name) const { return folder_.filePath(name); }

private:
    void authority(const QString &name) {
        openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                 "-keyout", path(name + ".key"), "-out", path(name + ".pem"), "-days", "2", "-subj",
                 "/CN=BCO " + name, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                 "keyUsage=keyCertSign,cRLSign"});
    }

    static void openssl(const QStringList &arguments) {
        QProcess process;
        process.start(QStringLiteral("openssl"), arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            throw std::runtime_error("openssl " + arguments.join(u' ').toStdString() + ": " +
                                     process.readAllStandardError().toStdString());
    }

    QTemporaryDir folder_;
};

const Certificates &certificates() {
    static const Certificates made;
    return made;
}

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
    const Certificates &made = certificates();
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
    const QString answer = loginThrough(server, {true, certificates().path("ca.pem")});
    EXPECT_TRUE(answer.contains(u"no TLS connection could be made")) << answer.toStdString();
}

} // namespace
} // namespace bco::server::testing
