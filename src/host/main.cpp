// bco-host: logs the operator in to the application server, opens the shared database, loads the module
// library and offers its screens in a multi-document main window.

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QDir>
#include <QStyle>

#include "framework/session/shared_database.h"
#include "framework/data/large_pages.h"
#include "framework/remote/net_connection.h"
#include "framework/session/login_context.h"
#include "framework/text/portuguese.h"
#include "framework/ui/file_dialogs.h"
#include "framework/ui/modal_forms.h"
#include "framework/ui/qt_lookup_dialogs.h"
#include "framework/ui/qt_message_dialogs.h"
#include "framework/ui/report/report_dialogs.h"
#include "host/cheque_emission.h"
#include "host/cheque_screens.h"
#include "host/host_settings.h"
#include "host/login.h"
#include "host/main_window.h"
#include "host/module_loader.h"
#include "host/screen_registry.h"

using namespace bco;
using namespace bco::host;

namespace {

const QString sharedConnection = QStringLiteral("adcGeral");

void showError(const QString &text) {
    Dialogs::messages().show(MsgKind::Error, text, MsgButton::Ok, QString());
}

bool asksForHelp(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// The options are read over a terminal without a display (an administrator's ssh session), where the window
// system could not even start.
int printHelp(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bco-host"));
    try {
        const HostSettings settings = HostSettings::load(QCoreApplication::arguments(),
                                                         QCoreApplication::applicationDirPath() +
                                                             QStringLiteral("/../lib/libPkg_BCO11100.so"),
                                                         QDate::currentDate());
        std::fputs(qPrintable(settings.helpText), stdout);
        return 0;
    } catch (const SettingsError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
}

} // namespace

int main(int argc, char **argv) {
    if (asksForHelp(argc, argv))
        return printHelp(argc, argv);
    keepFreedMemoryForReuse();
    ignoreBrokenPipes();
    QApplication app(argc, argv);
    setApplicationNames();
    speakBrazilianPortuguese();
    QApplication::setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogListView));

    QtMessageDialogs messages;
    ScopedMessageDialogs installedMessages(messages);
    QtModalForms modalForms;
    ScopedModalForms installedModalForms(modalForms);
    QtLookupDialogs lookups;
    ScopedLookupDialogs installedLookups(lookups);
    QtReportDialogs reports;
    ScopedReportDialogs installedReports(reports);
    QtFileDialogs files;
    ScopedFileDialogs installedFiles(files);

    HostSettings settings;
    try {
        settings = HostSettings::load(QApplication::arguments(),
                                      QApplication::applicationDirPath() +
                                          QStringLiteral("/../lib/libPkg_BCO11100.so"),
                                      QDate::currentDate());
    } catch (const SettingsError &error) {
        showError(QString::fromUtf8(error.what()));
        return 2;
    }
    if (!settings.helpText.isEmpty()) {
        std::fputs(qPrintable(settings.helpText), stdout);
        return 0;
    }

    if (settings.databaseUrl.isEmpty()) {
        showError(QStringLiteral(
                      "O banco de dados compartilhado não foi configurado (banco/url em %1, ou --database).")
                      .arg(settings.configFile));
        return 2;
    }
    try {
        dtmDBGeral::openShared(settings.databaseUrl, sharedConnection);
    } catch (const std::exception &error) {
        showError(QString::fromUtf8(error.what()));
        return 2;
    }

    // With the operator and the password given, the login is tried at once; the window opens only when it
    // fails (saying why) or when something is missing.
    QString operatorCode = settings.operatorCode;
    QString token;
    LoginDialog login(settings.serverHost, settings.serverPort, operatorCode);
    login.setSecurity(settings.serverSecurity);
    if (!operatorCode.isEmpty() && !settings.password.isEmpty()) {
        const LoginOutcome outcome = logIn(settings.serverHost, settings.serverPort, operatorCode,
                                           settings.password, settings.serverSecurity);
        token = outcome.token;
        login.setMessage(outcome.message);
    }
    settings.password.clear();
    if (token.isEmpty()) {
        if (login.exec() != QDialog::Accepted)
            return 0;
        operatorCode = login.operatorCode();
        token = login.token();
    }

    ScreenRegistry screens;
    addHostScreens(screens);
    LoginContext context = sessionContext(settings, operatorCode, token, sharedConnection);
    context.loadScreen = [&screens](const QString &code, const Variant &parameters) {
        screens.open(code, parameters);
    };
    context.chequeSituation = [](const QString &, const QString &, const QString &account,
                                 const QString &cheque) {
        return chequeSituationScreen(account, cheque);
    };
    context.emitCheque = [](const ChequeRequest &request) {
        chequeEmissionScreen(request);
    };
    ScopedLoginContext installedContext(context);
    NetConnection::installSessionRenewal(
        [&context](const QString &refusedToken) { return renewSession(context, refusedToken); });

    MainWindow window(QStringLiteral("Operador %1   Filial %2   Data de processamento %3   Servidor %4:%5")
                          .arg(operatorCode, settings.processingBranch,
                               settings.processingDate.toString(QStringLiteral("dd/MM/yyyy")),
                               settings.serverHost)
                          .arg(settings.serverPort));
    ScopedHostFrame installedFrame(window);
    window.show();
    try {
        LoadedModule module = loadModule(settings.modulePath);
        const QString missing = missingEntryPointsMessage(module);
        window.setModule(std::move(module));
        if (!missing.isEmpty())
            showError(missing);
    } catch (const ModuleError &error) {
        showError(QString::fromUtf8(error.what()));
    }
    const int status = QApplication::exec();
    NetConnection::installSessionRenewal({});
    // The session ends with the host, on every server sharing it.
    NetConnection connection;
    Ondrima::PrepareConnection(connection);
    connection.Call(QStringLiteral("Logout"));
    return status;
}
