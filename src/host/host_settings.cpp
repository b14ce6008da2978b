#include "host/host_settings.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace bco::host {

namespace {

QDate parseDate(const QString &text, const QString &setting) {
    for (const QString &format : {QStringLiteral("dd/MM/yyyy"), QStringLiteral("yyyy-MM-dd")}) {
        const QDate date = QDate::fromString(text.trimmed(), format);
        if (date.isValid())
            return date;
    }
    throw SettingsError(
        QStringLiteral("A data de processamento \"%1\" (%2) não é uma data válida; use dd/mm/aaaa.")
            .arg(text, setting));
}

int parsePort(const QString &text, const QString &setting) {
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        throw SettingsError(
            QStringLiteral("A porta do servidor \"%1\" (%2) não é uma porta válida (1 a 65535).")
                .arg(text, setting));
    return port;
}

bool parseYesNo(const QString &text, const QString &setting) {
    const QString value = text.trimmed().toLower();
    if (value == u"sim" || value == u"s" || value == u"true" || value == u"1")
        return true;
    if (value == u"nao" || value == u"não" || value == u"n" || value == u"false" || value == u"0")
        return false;
    throw SettingsError(QStringLiteral("O valor \"%1\" (%2) deve ser sim ou nao.").arg(text, setting));
}

} // namespace

HostSettings HostSettings::load(const QStringList &arguments, const QString &defaultModule, QDate today) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Hospedeiro dos módulos do sistema."));
    parser.addHelpOption();
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Arquivo de configuração (INI)."),
                                    QStringLiteral("arquivo"));
    const QCommandLineOption operatorOption(QStringLiteral("operator"), QStringLiteral("Operador."),
                                            QStringLiteral("codigo"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Senha do operador."),
                                      QStringLiteral("senha"));
    const QCommandLineOption branch(QStringLiteral("branch"), QStringLiteral("Filial de processamento."),
                                    QStringLiteral("filial"));
    const QCommandLineOption date(QStringLiteral("date"),
                                  QStringLiteral("Data de processamento (dd/mm/aaaa)."),
                                  QStringLiteral("data"));
    const QCommandLineOption serverHost(QStringLiteral("server-host"),
                                        QStringLiteral("Endereço do servidor."), QStringLiteral("endereco"));
    const QCommandLineOption serverPort(QStringLiteral("server-port"), QStringLiteral("Porta do servidor."),
                                        QStringLiteral("porta"));
    const QCommandLineOption serverTls(QStringLiteral("server-tls"),
                                       QStringLiteral("Conectar ao servidor por TLS (HTTPS)."));
    const QCommandLineOption serverCa(
        QStringLiteral("server-ca"),
        QStringLiteral("Certificado (PEM) da autoridade que assinou o do servidor; implica --server-tls."),
        QStringLiteral("arquivo"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("Banco de dados compartilhado (sqlite:ARQUIVO ou postgresql://...)."),
        QStringLiteral("url"));
    const QCommandLineOption module(QStringLiteral("module"), QStringLiteral("Biblioteca do módulo."),
                                    QStringLiteral("caminho"));
    parser.addOptions({config, operatorOption, password, branch, date, serverHost, serverPort, serverTls,
                       serverCa, database, module});
    if (!parser.parse(arguments))
        throw SettingsError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        HostSettings help;
        help.helpText = parser.helpText();
        return help;
    }
    if (!parser.positionalArguments().isEmpty())
        throw SettingsError(
            QStringLiteral("Argumento desconhecido: %1").arg(parser.positionalArguments().first()));

    HostSettings settings;
    settings.configFile = parser.isSet(config)
                              ? parser.value(config)
                              : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                    QStringLiteral("/bco/bco-host.ini");
    if (parser.isSet(config) && !QFileInfo::exists(settings.configFile))
        throw SettingsError(
            QStringLiteral("O arquivo de configuração %1 não existe.").arg(settings.configFile));

    QSettings ini(settings.configFile, QSettings::IniFormat);
    const auto iniValue = [&ini](const char *key) {
        return ini.value(QString::fromLatin1(key)).toString();
    };
    settings.operatorCode = iniValue("sessao/operador");
    if (const QString value = iniValue("sessao/filial"); !value.isEmpty())
        settings.processingBranch = value;
    if (const QString value = iniValue("sessao/data"); !value.isEmpty())
        settings.processingDate = parseDate(value, QStringLiteral("sessao/data em ") + settings.configFile);
    if (const QString value = iniValue("servidor/endereco"); !value.isEmpty())
        settings.serverHost = value;
    if (const QString value = iniValue("servidor/porta"); !value.isEmpty())
        settings.serverPort = parsePort(value, QStringLiteral("servidor/porta em ") + settings.configFile);
    if (const QString value = iniValue("servidor/tls"); !value.isEmpty())
        settings.serverSecurity.tls =
            parseYesNo(value, QStringLiteral("servidor/tls em ") + settings.configFile);
    settings.serverSecurity.caFile = iniValue("servidor/ca");
    settings.databaseUrl = iniValue("banco/url");
    settings.modulePath = iniValue("modulo/caminho");

    if (parser.isSet(operatorOption))
        settings.operatorCode = parser.value(operatorOption);
    settings.password =
        parser.isSet(password) ? parser.value(password) : qEnvironmentVariable("BCO_PASSWORD");
    if (parser.isSet(branch))
        settings.processingBranch = parser.value(branch);
    if (parser.isSet(date))
        settings.processingDate = parseDate(parser.value(date), QStringLiteral("--date"));
    if (parser.isSet(serverHost))
        settings.serverHost = parser.value(serverHost);
    if (parser.isSet(serverPort))
        settings.serverPort = parsePort(parser.value(serverPort), QStringLiteral("--server-port"));
    if (parser.isSet(serverTls))
        settings.serverSecurity.tls = true;
    if (parser.isSet(serverCa))
        settings.serverSecurity.caFile = parser.value(serverCa);
    // A private authority is named only to verify the server with it.
    if (!settings.serverSecurity.caFile.isEmpty())
        settings.serverSecurity.tls = true;
    if (settings.serverSecurity.tls && !settings.serverSecurity.caFile.isEmpty() &&
        !QFileInfo(settings.serverSecurity.caFile).isReadable())
        throw SettingsError(QStringLiteral("O certificado da autoridade %1 não pode ser lido.")
                                .arg(settings.serverSecurity.caFile));
    if (parser.isSet(database))
        settings.databaseUrl = parser.value(database);
    if (parser.isSet(module))
        settings.modulePath = parser.value(module);

    settings.operatorCode = settings.operatorCode.trimmed().toUpper();
    settings.processingBranch = settings.processingBranch.trimmed();
    if (settings.processingBranch.isEmpty())
        throw SettingsError(
            QStringLiteral("A filial de processamento não foi configurada (sessao/filial em %1, ou "
                           "--branch).")
                .arg(settings.configFile));
    if (!settings.processingDate.isValid())
        settings.processingDate = today;
    if (settings.modulePath.isEmpty())
        settings.modulePath = defaultModule;
    return settings;
}

} // namespace bco::host
