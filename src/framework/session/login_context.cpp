#include "framework/session/login_context.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

#include "framework/checks/dialogs.h"
#include "framework/remote/net_connection.h"
#include "framework/session/shared_database.h"

namespace bco {

NoLoginContext::NoLoginContext()
    : std::logic_error("no login context is installed: the host fills one at login") {
}

namespace {

ServiceSlot<LoginContext> contextSlot;

} // namespace

namespace Session {

const LoginContext &current() {
    if (contextSlot.installed() == nullptr)
        throw NoLoginContext();
    return *contextSlot.installed();
}

bool installed() {
    return contextSlot.installed() != nullptr;
}

LoginContext *install(LoginContext *context) {
    return contextSlot.install(context);
}

} // namespace Session

} // namespace bco

namespace Ondrima {

using bco::Session::current;

QString Operador() {
    return current().operatorCode;
}

QString FiliProc() {
    return current().processingBranch;
}

QDate DataProc(const QString &branch) {
    const bco::LoginContext &context = current();
    return context.branchDates.value(branch, context.processingDate);
}

QString WebURL() {
    return current().serverHost;
}

int WebPort() {
    return current().serverPort;
}

void PrepareConnection(bco::NetConnection &connection) {
    const bco::LoginContext &context = current();
    connection.SetHost(context.serverHost);
    connection.SetPort(context.serverPort);
    connection.SetSecurity(context.serverSecurity);
    connection.SetBearerToken(context.sessionToken);
}

QString DBPict(int kind) {
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT CDPICT FROM PICTDB WHERE IDTIPOPICT = ?")))
        throw std::runtime_error("cannot read the database's edit masks: " +
                                 query.lastError().text().toStdString());
    query.addBindValue(kind);
    if (!query.exec())
        throw std::runtime_error("cannot read the database's edit masks: " +
                                 query.lastError().text().toStdString());
    return query.next() ? query.value(0).toString() : QString();
}

void LoadBPL(const QString &screenCode, const bco::Variant &parameters) {
    const bco::LoginContext &context = current();
    if (!context.loadScreen)
        throw std::runtime_error(
            QStringLiteral("A tela %1 não está disponível neste sistema.").arg(screenCode).toStdString());
    context.loadScreen(screenCode, parameters);
}

void ReiniciaSistema(const QString &message) {
    const bco::LoginContext *context = bco::Session::installed() ? &current() : nullptr;
    if (context != nullptr && context->restartHost) {
        context->restartHost(message);
    } else {
        QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                QCoreApplication::arguments().mid(1));
        bco::Dialogs::messages().show(bco::MsgKind::Error, message, bco::MsgButton::Ok, QString());
    }
    // Like the platform's fatal exit: nothing more of this process runs, whatever the restart did.
    std::_Exit(EXIT_FAILURE);
}

} // namespace Ondrima

namespace Lib00900 {

bool boErroCriatela = false;

void CriaEmiteCheque(const QString &bank, const QString &interbankBank, const QString &account,
                     const QString &company, const QString &debit, QDate date, double value,
                     const QString &cheque, const QString &origin, const QString &entryVersion) {
    boErroCriatela = false;
    const bco::LoginContext &context = bco::Session::current();
    if (!context.emitCheque)
        throw std::runtime_error("A tela de emissão de cheques não está disponível neste sistema.");
    context.emitCheque(
        {bank, interbankBank, account, company, debit, date, value, cheque, origin, entryVersion});
}

} // namespace Lib00900

namespace Lib00901 {

bool CriaSituacaoCheque(const QString &first, const QString &second, const QString &account,
                        const QString &cheque) {
    const bco::LoginContext &context = bco::Session::current();
    if (!context.chequeSituation)
        throw std::runtime_error("A tela de situação do cheque não está disponível neste sistema.");
    return context.chequeSituation(first, second, account, cheque);
}

} // namespace Lib00901
