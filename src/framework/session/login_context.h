#pragma once

#include <functional>
#include <stdexcept>

#include <QDate>
#include <QHash>
#include <QString>

#include "framework/checks/dialogs.h"
#include "framework/data/variant.h"
#include "framework/remote/net_connection.h"

namespace bco {

// Opens a screen of another module by its code, handing it the parameters (a variant array).
using ScreenLoader = std::function<void(const QString &screenCode, const Variant &parameters)>;

// The cheque status screen of the host's cheque library: shows the cheque of an account and answers true
// when the operation on the entry the cheque pays must stop.
using ChequeSituationScreen = std::function<bool(const QString &first, const QString &second,
                                                 const QString &account, const QString &cheque)>;

// Who is working, where and on which day, and how to reach the server and the shared database: what the
// host learns at login and every form reads through the `Ondrima` routines below. The host fills one at
// start and installs it (Session::install); a test installs its own for its scope (ScopedLoginContext).
struct LoginContext {
    QString operatorCode;     // as the server knows it (upper case)
    QString processingBranch; // CDFILIAL the operator works for
    QDate processingDate;     // the processing branch's working day
    // Working days of other branches; a branch without one works on the processing branch's day.
    QHash<QString, QDate> branchDates;
    QString serverHost;
    int serverPort = 0;
    // HTTPS and the authority that signed the server's certificate, when the settings ask for it.
    TransportSecurity serverSecurity;
    // The token the server's Login answered; every connection sends it (Ondrima::PrepareConnection).
    QString sessionToken;
    // Name of the Qt connection to the shared database that local queries and look-ups run on.
    QString databaseConnection;
    // The host's registry of other modules' screens (LoadBPL); empty when there is none.
    ScreenLoader loadScreen;
    // The host's cheque status screen (Lib00901.CriaSituacaoCheque); empty when there is none.
    ChequeSituationScreen chequeSituation;
};

// Reading the login context before the host installed one is a fault of the program's start-up.
class NoLoginContext : public std::logic_error {
public:
    NoLoginContext();
};

namespace Session {

// The installed context; throws NoLoginContext when there is none.
const LoginContext &current();
bool installed();

// Makes `context` the process's login context (nullptr: none) and answers the one it replaces. Not owned;
// it must outlive its installation. Read and written on the user-interface thread only.
LoginContext *install(LoginContext *context);

} // namespace Session

using ScopedLoginContext = ScopedService<LoginContext, &Session::install>;

} // namespace bco

// The login context as the forms read it (`Ondrima.Operador`, `Ondrima.DataProc(...)`, ...).
namespace Ondrima {

QString Operador();
QString FiliProc();
// The working day of `branch`.
QDate DataProc(const QString &branch);
QString WebURL();
int WebPort();
QString SessionToken();

// Points a server connection at the server of the login context and gives it the session token. The forms
// call it from their connection's before-connect step (host := WebURL, port := WebPort), so every call of
// the module carries the operator's token without a form handling it.
void PrepareConnection(bco::NetConnection &connection);

// The edit mask (as "mask;save;blank") that the database settings keep for a kind of picture (2: ledger
// account codes), read from the shared database; empty when the settings keep none, so the value shows as
// stored.
QString DBPict(int kind);

// Opens the screen `screenCode` of another module with `parameters`. Throws std::runtime_error, which the
// event guard shows, when the host has no such screen.
void LoadBPL(const QString &screenCode, const bco::Variant &parameters);

} // namespace Ondrima

// The host's cheque status screen, as the forms call it.
namespace Lib00901 {

// Shows the situation of cheque `cheque` of `account` (the first two texts are the library's, passed empty
// by the forms) and answers true when the operation on its entry must stop. Throws std::runtime_error, which
// the event guard shows, when the host has no cheque screens.
bool CriaSituacaoCheque(const QString &first, const QString &second, const QString &account,
                        const QString &cheque);

} // namespace Lib00901
