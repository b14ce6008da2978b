#pragma once

#include <QDialog>
#include <QString>

#include "framework/session/login_context.h"
#include "framework/session/server_login.h"

class QLabel;
class QLineEdit;

namespace bco::host {

using bco::logIn;
using bco::LoginOutcome;

// The login window: operator and password, "Entrar" and "Cancelar". Entering logs in at once; a refusal is
// shown in the window, which stays open for another try. Accepted, it holds the operator and the token.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(QString serverHost, int serverPort, const QString &operatorCode, QWidget *parent = nullptr);

    QString operatorCode() const;
    QString token() const { return token_; }
    // The message of the last refused try; empty before any.
    QString message() const;
    // Shows why a try made elsewhere (the login from the command line) was refused.
    void setMessage(const QString &message);

    // How to reach the server (plain HTTP until set).
    void setSecurity(TransportSecurity security) { security_ = std::move(security); }

    // Logs in with what is typed; accepts the window on success.
    void enter();

    QLineEdit *operatorEdit() const { return operator_; }
    QLineEdit *passwordEdit() const { return password_; }

private:
    QString serverHost_;
    int serverPort_;
    TransportSecurity security_;
    QString token_;
    QLineEdit *operator_;
    QLineEdit *password_;
    QLabel *message_;
};

// What the host does when the server refuses the session of `context` (NetConnection's session renewal):
// another connection may have renewed it already, and then that session is answered; otherwise, on the
// user-interface thread, the login window asks the operator for the password again, the operator's code
// fixed, and the session it answers becomes the context's. Answers an empty token when the operator cancels,
// and on any other thread, where no window can be shown: the call then fails saying the session ended.
QString renewSession(LoginContext &context, const QString &refusedToken);

} // namespace bco::host
