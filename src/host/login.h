#pragma once

#include <QDialog>
#include <QString>

#include "framework/remote/net_connection.h"

class QLabel;
class QLineEdit;

namespace bco::host {

// What a login attempt gave: the session token, or the operator's message saying why there is none.
struct LoginOutcome {
    QString token;
    QString message;
    bool ok() const { return !token.isEmpty(); }
};

// Asks the application server at host:port for a session of `operatorCode` (upper-cased) with `password`
// through its Login method. An empty operator or password is refused before anything is sent; a server
// that cannot be reached, and the server's refusal, come back as the message.
LoginOutcome logIn(const QString &serverHost, int serverPort, const QString &operatorCode,
                   const QString &password, const TransportSecurity &security = {});

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

} // namespace bco::host
