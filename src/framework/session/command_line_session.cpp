#include "framework/session/command_line_session.h"

#include <QSqlDatabase>

#include "framework/session/shared_database.h"
#include "framework/session/server_login.h"

namespace bco {

namespace {

const QString sharedConnection = QStringLiteral("adcGeral");

} // namespace

CommandLineSession::CommandLineSession(const QCommandLineParser &parser, QDate today) {
    // What a scheduled run types is seen by every user of the machine (ps) and kept in shell histories.
    if (parser.isSet(QStringLiteral("password")))
        throw SettingsError(QStringLiteral(
            "A senha vem da variável de ambiente BCO_PASSWORD, nunca da linha de comando (--password)."));
    const SessionSettings settings = SessionSettings::read(parser, today);
    if (settings.operatorCode.isEmpty())
        throw SettingsError(QStringLiteral("Informe o operador (sessao/operador em %1, ou --operator).")
                                .arg(settings.configFile));
    if (settings.password.isEmpty())
        throw SettingsError(
            QStringLiteral("Informe a senha do operador na variável de ambiente BCO_PASSWORD."));
    if (settings.databaseUrl.isEmpty())
        throw SettingsError(
            QStringLiteral(
                "O banco de dados compartilhado não foi configurado (banco/url em %1, ou --database).")
                .arg(settings.configFile));
    const LoginOutcome login = logIn(settings.serverHost, settings.serverPort, settings.operatorCode,
                                     settings.password, settings.serverSecurity);
    if (!login.ok())
        throw SessionError(login.message);
    try {
        dtmDBGeral::openShared(settings.databaseUrl, sharedConnection);
    } catch (const std::exception &error) {
        throw SessionError(QString::fromUtf8(error.what()));
    }
    context_ = sessionContext(settings, settings.operatorCode, login.token, sharedConnection);
    installed_ = std::make_unique<ScopedLoginContext>(context_);
}

CommandLineSession::~CommandLineSession() {
    installed_.reset();
    if (QSqlDatabase::contains(sharedConnection))
        QSqlDatabase::database(sharedConnection, false).close();
}

} // namespace bco
