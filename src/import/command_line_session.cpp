// The one place bco-import reads the host's session settings and logs in; the settings' reading is the
// host's own (HostSettings), handed the session options that were given.
#include "import/command_line_session.h"

#include <stdexcept>

#include <QDate>
#include <QSqlDatabase>

#include "framework/data/database_url.h"
#include "host/host_settings.h"
#include "host/login.h"

namespace Cli_bco11104 {

namespace {

const QString sharedConnection = QStringLiteral("adcGeral");

const char *const sessionOptions[] = {"config",      "operator",    "branch",  "date",
                                      "server-host", "server-port", "database"};

[[noreturn]] void fail(const QString &message) {
    throw std::runtime_error(message.toStdString());
}

} // namespace

void CommandLineSession::AddOptions(QCommandLineParser &parser) {
    parser.addOptions({
        {QStringLiteral("config"), QStringLiteral("Arquivo de configuração do hospedeiro (INI)."),
         QStringLiteral("arquivo")},
        {QStringLiteral("operator"), QStringLiteral("Operador (a senha vem de BCO_PASSWORD)."),
         QStringLiteral("codigo")},
        {QStringLiteral("branch"), QStringLiteral("Filial de processamento."), QStringLiteral("filial")},
        {QStringLiteral("date"), QStringLiteral("Data de processamento (dd/mm/aaaa)."),
         QStringLiteral("data")},
        {QStringLiteral("server-host"), QStringLiteral("Endereço do servidor de aplicação."),
         QStringLiteral("endereco")},
        {QStringLiteral("server-port"), QStringLiteral("Porta do servidor de aplicação."),
         QStringLiteral("porta")},
        {QStringLiteral("database"),
         QStringLiteral("Banco de dados compartilhado (sqlite:ARQUIVO ou postgresql://...)."),
         QStringLiteral("url")},
    });
}

CommandLineSession::CommandLineSession(const QCommandLineParser &parser) {
    QStringList arguments{QStringLiteral("bco-import")};
    for (const char *option : sessionOptions) {
        const QString name = QString::fromLatin1(option);
        if (parser.isSet(name))
            arguments << QStringLiteral("--") + name << parser.value(name);
    }
    bco::host::HostSettings settings;
    try {
        settings = bco::host::HostSettings::load(arguments, QString(), QDate::currentDate());
    } catch (const bco::host::SettingsError &error) {
        fail(QString::fromUtf8(error.what()));
    }
    if (settings.operatorCode.isEmpty())
        fail(QStringLiteral("Informe o operador (sessao/operador em %1, ou --operator).")
                 .arg(settings.configFile));
    if (settings.password.isEmpty())
        fail(QStringLiteral("Informe a senha do operador na variável de ambiente BCO_PASSWORD."));
    if (settings.databaseUrl.isEmpty())
        fail(QStringLiteral(
                 "O banco de dados compartilhado não foi configurado (banco/url em %1, ou --database).")
                 .arg(settings.configFile));
    const bco::host::LoginOutcome login =
        bco::host::logIn(settings.serverHost, settings.serverPort, settings.operatorCode, settings.password);
    if (!login.ok())
        fail(login.message);
    try {
        bco::openDatabase(bco::DatabaseUrl::parse(settings.databaseUrl), sharedConnection);
    } catch (const std::exception &error) {
        fail(QStringLiteral("Não foi possível abrir o banco de dados compartilhado %1: %2")
                 .arg(settings.databaseUrl, QString::fromUtf8(error.what())));
    }
    context_.operatorCode = settings.operatorCode;
    context_.processingBranch = settings.processingBranch;
    context_.processingDate = settings.processingDate;
    context_.serverHost = settings.serverHost;
    context_.serverPort = settings.serverPort;
    context_.sessionToken = login.token;
    context_.databaseConnection = sharedConnection;
    installed_ = std::make_unique<bco::ScopedLoginContext>(context_);
}

CommandLineSession::~CommandLineSession() {
    installed_.reset();
    if (QSqlDatabase::contains(sharedConnection)) {
        QSqlDatabase::database(sharedConnection, false).close();
    }
}

} // namespace Cli_bco11104
