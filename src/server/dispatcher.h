#pragma once

#include <functional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "framework/data/variant.h"
#include "server/database.h"
#include "server/method_registry.h"
#include "server/sessions.h"

namespace bco::server {

// What a call came to: the method's result and the arguments after the call, or a failure message.
struct CallOutcome {
    enum class Status { Answered, Refused, DatabaseFailed, UnknownMethod, BadArguments, Unauthorized };
    Status status = Status::Answered;
    Variant result;
    VariantList args;
    QString error;

    bool ok() const { return status == Status::Answered; }
};

// An HTTP answer: status code and CBOR body (always a map with `result` and `args`, or with `error`).
struct RpcResponse {
    int status = 200;
    QByteArray body;
};

// The remote data module: finds the method, checks the caller and the arguments, and runs the handler in one
// database transaction that commits only when the handler answers (a refusal, a database error or any other
// failure rolls everything back). Safe to use from many threads at once: each uses its own connection.
class Dispatcher {
public:
    // One line per call: method, milliseconds, outcome.
    using Logger = std::function<void(const QString &method, double milliseconds, const QString &outcome)>;

    Dispatcher(ConnectionPool &pool, SessionStore &sessions, MethodRegistry methods);

    void setLogger(Logger logger) { logger_ = std::move(logger); }

    // A decoded call. `token` is the session token (empty for none).
    CallOutcome call(const QString &method, VariantList args, const QString &token);

    // A request as it comes over the wire: the method name from the path, the Authorization header and the
    // CBOR body. Never throws.
    RpcResponse handle(const QString &method, const QString &authorization, QByteArrayView body);

    const MethodRegistry &methods() const { return methods_; }
    SessionStore &sessions() { return sessions_; }

    // The log line of a request the transport refused before it reached a method (no route, a body over the
    // limit or not declared CBOR); `name` is the method the path names, or the path.
    void logTransportRefusal(const QString &name, int status, const QString &message) const;

private:
    CallOutcome run(const Method &method, VariantList args, const QString &operatorCode);
    void log(const QString &method, double milliseconds, const CallOutcome &outcome) const;

    ConnectionPool &pool_;
    SessionStore &sessions_;
    MethodRegistry methods_;
    Logger logger_;
};

// The token of "Authorization: Bearer <token>"; empty for anything else.
QString bearerToken(const QString &authorization);

// Why the arguments do not fit the method, or an empty text when they do.
QString checkArguments(const Method &method, const VariantList &args);

} // namespace bco::server
