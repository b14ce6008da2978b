#pragma once

#include <QString>
#include <QTemporaryDir>

namespace bco::testing {

// Two certificate authorities of our own ("ca", "other-ca": ca.pem, other-ca.pem) and a certificate for
// 127.0.0.1 signed by the first (server.pem, server.key), made with the openssl program in a temporary
// folder. Making them takes a moment: take the one of the process (testCertificates()).
class TestCertificates {
public:
    TestCertificates();

    QString path(const QString &name) const { return folder_.filePath(name); }

private:
    void authority(const QString &name);

    QTemporaryDir folder_;
};

// Made on first use, for the whole process. Throws std::runtime_error when openssl fails.
const TestCertificates &testCertificates();

} // namespace bco::testing
