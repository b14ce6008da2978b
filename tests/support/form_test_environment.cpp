#include "support/form_test_environment.h"

#include <stdexcept>

#include <QCoreApplication>
#include <QEvent>

#include "framework/data/database_url.h"
#include "support/test_certificates.h"

namespace bco::testing {

namespace {

int environments = 0;

} // namespace

FormTestEnvironment::FormTestEnvironment(FormTestOptions options)
    : options_(std::move(options))
    , connectionName_(QStringLiteral("form-test-%1").arg(++environments)) {
    if (!folder_.isValid())
        throw std::runtime_error("no temporary folder for the test database");
    createDatabase(databasePath(), options_.processingDate, options_.demoEntries);
    const DatabaseUrl url = DatabaseUrl::parse(QStringLiteral("sqlite:") + databasePath());
    openDatabase(url, connectionName_);
    ServedTls tls;
    if (options_.tls) {
        const TestCertificates &made = testCertificates();
        tls = {made.path(QStringLiteral("server.pem")), made.path(QStringLiteral("server.key")),
               made.path(QStringLiteral("ca.pem"))};
    }
    server_ = std::make_unique<InProcessServer>(url, tls);

    context_.operatorCode = options_.operatorCode.toUpper();
    context_.processingBranch = options_.processingBranch;
    context_.processingDate = options_.processingDate;
    context_.serverHost = server_->host();
    context_.serverPort = server_->port();
    context_.serverSecurity = server_->clientSecurity();
    context_.databaseConnection = connectionName_;
    context_.layoutFile = folder_.filePath(QStringLiteral("telas.ini"));
    if (options_.demoEntries >= 0)
        context_.sessionToken = server_->logIn(options_.operatorCode, options_.password);
    installedContext_ = std::make_unique<ScopedLoginContext>(context_);
}

FormTestEnvironment::~FormTestEnvironment() {
    releaseDeferred();
    installedContext_.reset();
    QSqlDatabase::database(connectionName_, false).close();
    QSqlDatabase::removeDatabase(connectionName_);
    server_.reset();
}

QSqlDatabase FormTestEnvironment::database() const {
    return QSqlDatabase::database(connectionName_, false);
}

QString FormTestEnvironment::databasePath() const {
    return folder_.filePath(QStringLiteral("bco.db"));
}

void FormTestEnvironment::logInAs(const QString &operatorCode, const QString &password) {
    context_.sessionToken = server_->logIn(operatorCode, password);
    context_.operatorCode = operatorCode.toUpper();
}

void releaseDeferred() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace bco::testing
