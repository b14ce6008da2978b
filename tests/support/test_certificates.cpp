#include "support/test_certificates.h"

#include <stdexcept>

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace bco::testing {

namespace {

void openssl(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        throw std::runtime_error("openssl " + arguments.join(u' ').toStdString() + ": " +
                                 process.readAllStandardError().toStdString());
}

} // namespace

TestCertificates::TestCertificates() {
    authority(QStringLiteral("ca"));
    authority(QStringLiteral("other-ca"));
    QFile names(path(QStringLiteral("server.ext")));
    if (!names.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + names.fileName().toStdString());
    names.write("subjectAltName = IP:127.0.0.1\n");
    names.close();
    openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             path("server.key"), "-out", path("server.csr"), "-subj", "/CN=127.0.0.1"});
    openssl({"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
             "-CAcreateserial", "-days", "2", "-extfile", path("server.ext"), "-out", path("server.pem")});
}

void TestCertificates::authority(const QString &name) {
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             path(name + ".key"), "-out", path(name + ".pem"), "-days", "2", "-subj", "/CN=BCO " + name,
             "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=keyCertSign,cRLSign"});
}

const TestCertificates &testCertificates() {
    static const TestCertificates made;
    return made;
}

} // namespace bco::testing
