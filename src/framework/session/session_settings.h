#pragma once

#include <stdexcept>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDate>
#include <QString>

#include "framework/session/login_context.h"

namespace bco {

// A setting that cannot be used, with the operator's message.
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// The session a program of the system starts with (the host, bco-report): read from the INI file, then
// overridden by the command line.
//
//   [sessao]   operador, filial, data (dd/mm/aaaa)
//   [servidor] endereco, porta, tls (sim/nao), ca (PEM file of the authority that signed the server's
//              certificate; without it the system's authorities)
//   [banco]    url   (sqlite:PATH or postgresql://...)
//
// Command line: --config FILE (the INI file; else ~/.config/bco/bco-host.ini), --operator, --password,
// --branch, --date, --server-host, --server-port, --server-tls, --server-ca, --database. The password is
// never read from the INI file; it may come from the environment variable BCO_PASSWORD instead of the command
// line.
struct SessionSettings {
    QString configFile;
    QString operatorCode;
    QString password;
    QString processingBranch;
    QDate processingDate;
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8211;
    TransportSecurity serverSecurity;
    QString databaseUrl;

    // Adds the session's options to a program's parser; --password out of the help for a program that
    // refuses it (a password typed on a command line is seen by every user of the machine).
    static void addOptions(QCommandLineParser &parser, bool passwordInHelp = true);
    // Reads the INI file the parsed command line names (or the default one) and applies the command line
    // over it. A value that cannot be read (a date, a port) or a processing branch set nowhere throws
    // SettingsError naming the setting. `today` stands in for a date set nowhere.
    static SessionSettings read(const QCommandLineParser &parser, QDate today);
};

// A date typed as dd/mm/yyyy (or yyyy-mm-dd); throws SettingsError naming `setting` otherwise.
QDate parseSettingDate(const QString &text, const QString &setting);

// The login context of a session: the settings, the operator the server knows and the token its Login
// answered, and the name of the open shared connection.
LoginContext sessionContext(const SessionSettings &settings, const QString &operatorCode,
                            const QString &token, const QString &databaseConnection);

} // namespace bco
