#pragma once

#include <memory>

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

#include "framework/session/login_context.h"
#include "support/form_test_server.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_lookups.h"
#include "support/scripted_modal_forms.h"

namespace bco::testing {

// How a form test starts.
struct FormTestOptions {
    QString operatorCode = QStringLiteral("DEMO");
    QString password = QStringLiteral("demo");
    QString processingBranch = QStringLiteral("0101");
    QDate processingDate = formTestDate;
    // Demo entries in the database; -1 leaves it empty (schema only) for the test to seed.
    int demoEntries = 300;
    // The server speaks HTTPS only, with a certificate of the test's own authority, which the session trusts.
    bool tls = false;
};

// Everything a form needs to run as it does in the host, for one test: a fresh SQLite database, the real
// application server serving it from this process on a free loopback port, a session of the operator
// obtained through the server's Login, the shared database connection (the local queries and the operator
// look-ups) open on the same file, the login context naming all of that, and scripted dialogs, look-up
// windows and modal forms. It installs them for its life and takes everything down in its destructor, the
// server last; forms the test made must be gone before it ends.
//
// Use it as a member of the test's fixture, made in the test's thread after the application object.
class FormTestEnvironment {
public:
    explicit FormTestEnvironment(FormTestOptions options = {});
    ~FormTestEnvironment();
    FormTestEnvironment(const FormTestEnvironment &) = delete;
    FormTestEnvironment &operator=(const FormTestEnvironment &) = delete;

    const FormTestOptions &options() const { return options_; }
    LoginContext &context() { return context_; }
    InProcessServer &server() { return *server_; }
    // The shared connection (dtmDBGeral.adcGeral) on the test's database.
    QSqlDatabase database() const;
    QString databasePath() const;

    // Works as another operator from now on: a new session through Login, in the login context. Forms
    // connect with the context's token when they are made.
    void logInAs(const QString &operatorCode, const QString &password = QStringLiteral("demo"));

    // Seeding through the shared connection; failures throw std::runtime_error.
    void execute(const QString &sql) { rows::execute(database(), sql); }
    QVariant value(const QString &sql) const { return rows::value(database(), sql); }
    void addAccount(const rows::Account &account) { rows::addAccount(database(), account); }
    void addEntries(const rows::Entries &entries) { rows::addEntries(database(), entries); }

    ScriptedDialogs dialogs;
    ScriptedLookups lookups;
    ScriptedModalForms modalForms;

private:
    FormTestOptions options_;
    QTemporaryDir folder_;
    QString connectionName_;
    std::unique_ptr<InProcessServer> server_;
    LoginContext context_;
    std::unique_ptr<ScopedLoginContext> installedContext_;
};

// Runs the releases the forms deferred (a form closed by the test is destroyed by this).
void releaseDeferred();

} // namespace bco::testing
