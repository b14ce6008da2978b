#include "framework/session/session_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "framework/text/ini_file.h"

namespace bco {

namespace {

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

QString iniProblem(const QString &path, const IniFileError &error) {
    const QString where =
        QStringLiteral("O arquivo de configuração %1, linha %2, ").arg(path).arg(error.line());
    switch (error.kind()) {
    case IniFileError::Kind::Unreadable:
        break;
    case IniFileError::Kind::BadSectionHeading:
        return where + QStringLiteral("tem um título de seção mal escrito: escreva-o como [sessao].");
    case IniFileError::Kind::NoEquals:
        return where + QStringLiteral("não é da forma chave = valor.");
    case IniFileError::Kind::KeyBeforeSection:
        return where +
               QStringLiteral(
                   "tem a chave %1 antes de qualquer seção ([sessao], [servidor], [banco] ou [modulo]).")
                   .arg(error.key());
    case IniFileError::Kind::CommentAfterValue:
        return where +
               QStringLiteral("tem um comentário depois do valor de %1: ponha o comentário numa linha só "
                              "dele, ou o valor entre aspas.")
                   .arg(error.key());
    }
    return QStringLiteral("O arquivo de configuração %1 não pode ser lido.").arg(path);
}

QCommandLineOption option(const char *name, const char *description, const char *value) {
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                              QString::fromLatin1(value));
}

} // namespace

QDate parseSettingDate(const QString &text, const QString &setting) {
    for (const QString &format : {QStringLiteral("dd/MM/yyyy"), QStringLiteral("yyyy-MM-dd")}) {
        const QDate date = QDate::fromString(text.trimmed(), format);
        if (date.isValid())
            return date;
    }
    throw SettingsError(
        QStringLiteral("A data de processamento \"%1\" (%2) não é uma data válida; use dd/mm/aaaa.")
            .arg(text, setting));
}

void SessionSettings::addOptions(QCommandLineParser &parser, bool passwordInHelp) {
    QCommandLineOption password = option("password", "Senha do operador.", "senha");
    if (!passwordInHelp)
        password.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({
        option("config", "Arquivo de configuração (INI).", "arquivo"),
        option("operator", "Operador.", "codigo"),
        password,
        option("branch", "Filial de processamento.", "filial"),
        option("date", "Data de processamento (dd/mm/aaaa).", "data"),
        option("server-host", "Endereço do servidor.", "endereco"),
        option("server-port", "Porta do servidor.", "porta"),
        QCommandLineOption(QStringLiteral("server-tls"),
                           QStringLiteral("Conectar ao servidor por TLS (HTTPS).")),
        option("server-ca",
               "Certificado (PEM) da autoridade que assinou o do servidor; implica --server-tls.", "arquivo"),
        option("database", "Banco de dados compartilhado (sqlite:ARQUIVO ou postgresql://...).", "url"),
    });
}

SessionSettings SessionSettings::read(const QCommandLineParser &parser, QDate today) {
    const auto isSet = [&parser](const char *name) {
        return parser.isSet(QString::fromLatin1(name));
    };
    const auto value = [&parser](const char *name) {
        return parser.value(QString::fromLatin1(name));
    };
    SessionSettings settings;
    settings.configFile = isSet("config")
                              ? value("config")
                              : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                    QStringLiteral("/bco/bco-host.ini");
    if (isSet("config") && !QFileInfo::exists(settings.configFile))
        throw SettingsError(
            QStringLiteral("O arquivo de configuração %1 não existe.").arg(settings.configFile));

    // A file the operator has not written yet is no error: every setting then has its default.
    IniFile ini;
    if (QFileInfo::exists(settings.configFile)) {
        try {
            ini = IniFile::read(settings.configFile);
        } catch (const IniFileError &error) {
            throw SettingsError(iniProblem(settings.configFile, error));
        }
        const QStringList known{QStringLiteral("sessao/operador"), QStringLiteral("sessao/filial"),
                                QStringLiteral("sessao/data"),     QStringLiteral("servidor/endereco"),
                                QStringLiteral("servidor/porta"),  QStringLiteral("servidor/tls"),
                                QStringLiteral("servidor/ca"),     QStringLiteral("banco/url"),
                                QStringLiteral("modulo/caminho")};
        if (const auto unknown = ini.firstUnknown(known))
            throw SettingsError(
                QStringLiteral("O arquivo de configuração %1, linha %2, tem %3, que não é uma "
                               "configuração do sistema (as configurações: %4).%5")
                    .arg(settings.configFile)
                    .arg(unknown->second)
                    .arg(unknown->first, known.join(QStringLiteral(", ")),
                         // The password is kept out of files on purpose; where it goes instead is told.
                         unknown->first.endsWith(u"/senha", Qt::CaseInsensitive)
                             ? QStringLiteral(
                                   " A senha não fica em arquivo: dê-a em BCO_PASSWORD (o bco-host também a "
                                   "pede ao entrar, e a toma de --password).")
                             : QString()));
    }
    const auto iniValue = [&ini](const char *key) {
        return ini.value(QString::fromLatin1(key)).value_or(QString());
    };
    settings.operatorCode = iniValue("sessao/operador");
    if (const QString text = iniValue("sessao/filial"); !text.isEmpty())
        settings.processingBranch = text;
    if (const QString text = iniValue("sessao/data"); !text.isEmpty())
        settings.processingDate =
            parseSettingDate(text, QStringLiteral("sessao/data em ") + settings.configFile);
    if (const QString text = iniValue("servidor/endereco"); !text.isEmpty())
        settings.serverHost = text;
    if (const QString text = iniValue("servidor/porta"); !text.isEmpty())
        settings.serverPort = parsePort(text, QStringLiteral("servidor/porta em ") + settings.configFile);
    if (const QString text = iniValue("servidor/tls"); !text.isEmpty())
        settings.serverSecurity.tls =
            parseYesNo(text, QStringLiteral("servidor/tls em ") + settings.configFile);
    settings.serverSecurity.caFile = iniValue("servidor/ca");
    settings.databaseUrl = iniValue("banco/url");

    if (isSet("operator"))
        settings.operatorCode = value("operator");
    settings.password = isSet("password") ? value("password") : qEnvironmentVariable("BCO_PASSWORD");
    if (isSet("branch"))
        settings.processingBranch = value("branch");
    if (isSet("date"))
        settings.processingDate = parseSettingDate(value("date"), QStringLiteral("--date"));
    if (isSet("server-host"))
        settings.serverHost = value("server-host");
    if (isSet("server-port"))
        settings.serverPort = parsePort(value("server-port"), QStringLiteral("--server-port"));
    if (isSet("server-tls"))
        settings.serverSecurity.tls = true;
    if (isSet("server-ca"))
        settings.serverSecurity.caFile = value("server-ca");
    // A private authority is named only to verify the server with it.
    if (!settings.serverSecurity.caFile.isEmpty())
        settings.serverSecurity.tls = true;
    if (!settings.serverSecurity.caFile.isEmpty() && !QFileInfo(settings.serverSecurity.caFile).isReadable())
        throw SettingsError(QStringLiteral("O certificado da autoridade %1 não pode ser lido.")
                                .arg(settings.serverSecurity.caFile));
    if (isSet("database"))
        settings.databaseUrl = value("database");

    settings.operatorCode = settings.operatorCode.trimmed().toUpper();
    settings.processingBranch = settings.processingBranch.trimmed();
    if (settings.processingBranch.isEmpty())
        throw SettingsError(
            QStringLiteral(
                "A filial de processamento não foi configurada (sessao/filial em %1, ou --branch).")
                .arg(settings.configFile));
    if (!settings.processingDate.isValid())
        settings.processingDate = today;
    return settings;
}

LoginContext sessionContext(const SessionSettings &settings, const QString &operatorCode,
                            const QString &token, const QString &databaseConnection) {
    LoginContext context;
    context.operatorCode = operatorCode;
    context.processingBranch = settings.processingBranch;
    context.processingDate = settings.processingDate;
    context.serverHost = settings.serverHost;
    context.serverPort = settings.serverPort;
    context.serverSecurity = settings.serverSecurity;
    context.sessionToken = token;
    context.databaseConnection = databaseConnection;
    // Beside the settings, in a file of its own: the program writes it, never the settings an administrator
    // wrote by hand.
    context.layoutFile = QFileInfo(settings.configFile).dir().filePath(QStringLiteral("bco-telas.ini"));
    return context;
}

} // namespace bco
