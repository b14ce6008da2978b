#pragma once

#include <QString>

#include "framework/remote/net_connection.h"

namespace bco {

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

} // namespace bco
