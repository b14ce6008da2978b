#pragma once

#include <stdexcept>

#include <QDate>
#include <QString>
#include <QStringList>

#include "framework/remote/net_connection.h"

class QSettings;

namespace bco::host {

// A setting that cannot be used, with the operator's message.
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// What the host starts with: read from its INI file, then overridden by the command line.
//
//   [sessao]   operador, filial, data (dd/mm/aaaa)
//   [servidor] endereco, porta, tls (sim/nao), ca (PEM file of the authority that signed the server's
//              certificate; without it the system's authorities)
//   [banco]    url   (sqlite:PATH or postgresql://...)
//   [modulo]   caminho
//
// Command line: --config FILE (the INI file; else ~/.config/bco/bco-host.ini), --operator, --password,
// --branch, --date, --server-host, --server-port, --server-tls, --server-ca, --database, --module. The
// password is never read from the INI file; it may come from the environment variable BCO_PASSWORD instead of
// the command line.
struct HostSettings {
    QString configFile;
    QString operatorCode;
    QString password;
    QString processingBranch;
    QDate processingDate;
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8211;
    TransportSecurity serverSecurity;
    QString databaseUrl;
    QString modulePath;
    // Set when --help was asked for: the text to print instead of starting.
    QString helpText;

    // Reads the INI file named by --config (or the default one) and applies the command line over it. A
    // value that cannot be read (a date, a port) or a processing branch set nowhere throws SettingsError
    // naming the setting. `defaultModule`
    // and `today` stand in for what is not set anywhere.
    static HostSettings load(const QStringList &arguments, const QString &defaultModule, QDate today);
};

} // namespace bco::host
