#pragma once

#include <functional>
#include <stdexcept>

#include <QDate>
#include <QHash>
#include <QString>

#include "framework/checks/service_slot.h"
#include "framework/data/variant.h"
#include "framework/remote/net_connection.h"

namespace bco {

// Opens a screen of another module by its code, handing it the parameters (a variant array).
using ScreenLoader = std::function<void(const QString &screenCode, const Variant &parameters)>;

// The cheque status screen of the host's cheque library: shows the cheque of an account and answers true
// when the operation on the entry the cheque pays must stop.
using ChequeSituationScreen = std::function<bool(const QString &first, const QString &second,
                                                 const QString &account, const QString &cheque)>;

// What the cheque printing screen of the host's cheque library receives, in the library's order: the bank's
// code as the form shows it and in the interbank standard, the account, its company, the debit the cheque
// pays (its number, date and value), the cheque number the debit has (empty for none) and the origin of the
// request ("L": an entry of the current account, whose debit records the cheque).
struct ChequeRequest {
    QString bank;
    QString interbankBank;
    QString account;
    QString company;
    QString debit;
    QDate date;
    double value = 0.0;
    QString cheque;
    QString origin;
    // The debit's version as the form listed it: recording the cheque is refused when someone wrote the
    // debit since. Empty: not checked.
    QString entryVersion{};
};
// Prints the cheque of a debit (recording its number on the debit through the server); throws what went
// wrong, having set Lib00900::boErroCriatela when the printer it was given is gone.
using ChequeEmissionScreen = std::function<void(const ChequeRequest &request)>;

// Starts the host program again and ends this process at once, showing `message` as it goes (what the
// forms do when the system's printers changed under them).
using HostRestart = std::function<void(const QString &message)>;

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
    // The INI file where each operator's layout of the screens (the widths of a grid's columns) is kept,
    // under the operator's code; empty: nothing is kept.
    QString layoutFile;
    // The host's registry of other modules' screens (LoadBPL); empty when there is none.
    ScreenLoader loadScreen;
    // The host's cheque status screen (Lib00901.CriaSituacaoCheque); empty when there is none.
    ChequeSituationScreen chequeSituation;
    // The host's cheque printing screen (Lib00900.CriaEmiteCheque); empty when there is none.
    ChequeEmissionScreen emitCheque;
    // How the host starts itself again (Ondrima::ReiniciaSistema); empty: the program runs its own file
    // again with the same arguments.
    HostRestart restartHost;
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

// Starts the host program again and ends this process, showing `message`: the login context's restart, or
// else this program's own file run again with its arguments. Does not return.
[[noreturn]] void ReiniciaSistema(const QString &message);

} // namespace Ondrima

// The host's cheque printing screen, as the forms call it.
namespace Lib00900 {

// True after the last cheque screen failed because the printer it was given is no longer there.
extern bool boErroCriatela;

// Opens the cheque printing screen for a debit (see bco::ChequeRequest for the arguments) and returns when
// the operator closes it; a printed cheque's number then stands in the debit's NRCHEQUE. Throws what the
// screen could not do (std::runtime_error, which the event guard shows, when the host has none).
void CriaEmiteCheque(const QString &bank, const QString &interbankBank, const QString &account,
                     const QString &company, const QString &debit, QDate date, double value,
                     const QString &cheque, const QString &origin, const QString &entryVersion = QString());

} // namespace Lib00900

// The host's cheque status screen, as the forms call it.
namespace Lib00901 {

// Shows the situation of cheque `cheque` of `account` (the first two texts are the library's, passed empty
// by the forms) and answers true when the operation on its entry must stop. Throws std::runtime_error, which
// the event guard shows, when the host has no cheque screens.
bool CriaSituacaoCheque(const QString &first, const QString &second, const QString &account,
                        const QString &cheque);

} // namespace Lib00901
