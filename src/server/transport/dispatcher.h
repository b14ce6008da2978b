#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "framework/data/byte_chain.h"
#include "framework/data/variant.h"
#include "server/storage/database.h"
#include "server/transport/method_registry.h"
#include "server/transport/serial_executor.h"
#include "server/transport/sessions.h"

namespace bco::server {

// What a call came to: the method's result and the arguments after the call, or a failure message.
// DatabaseFailed and Failed are faults of the server: `error` is then the generic message the caller sees,
// `incident` its number, and `detail` what went wrong, for the log only. Busy is no fault: the database was
// held by another writer past what a call waits, nothing was written, and `error` says to try again.
struct CallOutcome {
    enum class Status {
        Answered,
        Refused,
        DatabaseFailed,
        Busy,
        Failed,
        UnknownMethod,
        BadArguments,
        Unauthorized
    };
    Status status = Status::Answered;
    Variant result;
    VariantList args;
    QString error;
    QString incident;
    QString detail;
    // What the handler noted for the log line (CallContext::logNote).
    QString note;

    bool ok() const { return status == Status::Answered; }
};

// An HTTP answer: status code and CBOR body (always a map with `result` and `args`, or with `error`).
struct RpcResponse {
    int status = 200;
    ByteChain body;
};

// The remote data module: finds the method, checks the caller and the arguments, and runs the handler in one
// database transaction that commits only when the handler answers (a refusal, a database error or any other
// failure rolls everything back). Safe to use from many threads at once: each uses its own connection, but
// on SQLite the writing calls all run on one thread of the dispatcher's own (SerialExecutor). A writing call
// waits for the disk back on its caller's thread, so that the next one goes on meanwhile.
class Dispatcher {
public:
    // One line per call: method, milliseconds, outcome.
    using Logger = std::function<void(const QString &method, double milliseconds, const QString &outcome)>;

    Dispatcher(ConnectionPool &pool, SessionStore &sessions, MethodRegistry methods);
    ~Dispatcher();
    Dispatcher(const Dispatcher &) = delete;
    Dispatcher &operator=(const Dispatcher &) = delete;

    void setLogger(Logger logger) { logger_ = std::move(logger); }

    // Runs after a handler answered and its audit rows are written, just before the call's transaction
    // commits: where a test holds a call in the middle to stop the server there (see main.cpp).
    void setBeforeCommit(std::function<void(const QString &method)> hook) { beforeCommit_ = std::move(hook); }

    // A decoded call. `token` is the session token (empty for none).
    CallOutcome call(const QString &method, VariantList args, const QString &token);

    // A request as it comes over the wire: the method name from the path, the Authorization header and the
    // CBOR body, which is let go once decoded, before the call runs. Never throws.
    RpcResponse handle(const QString &method, const QString &authorization, QByteArray body);
    // The answer to a request that its head alone refuses (a method there is none of, one that needs a
    // session without one), logged as handle() would; nothing when only its body can tell. A route asks this
    // before it reads the body: a client without a session would otherwise hold a worker for as long as its
    // body takes to come. Never throws: a database that cannot tell leaves the request to handle().
    std::optional<RpcResponse> refusalBeforeBody(const QString &method, const QString &authorization);

    const MethodRegistry &methods() const { return methods_; }
    SessionStore &sessions() { return sessions_; }
    // Whether `token` opens a valid session (what a route checks before it decodes anything for the caller).
    bool hasSession(const QString &token);

    // The log line of a request the transport refused before it reached a method (no route, a body over the
    // limit or not declared CBOR); `name` is the method the path names, or the path.
    void logTransportRefusal(const QString &name, int status, const QString &message) const;

private:
    // Finds the method, checks the session, reads the arguments (only then: a caller without a session gets
    // nothing decoded on its behalf), checks them, runs the method, and logs the call.
    CallOutcome dispatch(const QString &name, const QString &token,
                         const std::function<VariantList()> &arguments);
    // The method of that name; none, with `outcome` set to say so, when there is none.
    const Method *methodNamed(const QString &name, CallOutcome &outcome) const;
    std::optional<QString> authorize(const Method &method, const QString &token, CallOutcome &outcome);
    CallOutcome run(const Method &method, VariantList args, const QString &operatorCode,
                    const QString &token);
    // Runs the call on the calling thread's connection. When `unsynced` is given, the commit does not wait
    // for the disk and leaves in it what the caller must wait for.
    CallOutcome runHere(const Method &method, VariantList args, const QString &operatorCode,
                        const QString &token, LogSync **unsynced);
    void log(const QString &method, double milliseconds, const CallOutcome &outcome) const;

    ConnectionPool &pool_;
    SessionStore &sessions_;
    MethodRegistry methods_;
    Logger logger_;
    std::function<void(const QString &)> beforeCommit_;
    std::unique_ptr<SerialExecutor> writingCalls_; // SQLite only
};

// A fault of the server: a new incident number (eight hexadecimal digits, random, so that the servers
// sharing a database do not hand out the same one), the message the caller sees, and the details kept for
// the log.
CallOutcome serverFault(CallOutcome::Status status, const QString &detail);

// The token of "Authorization: Bearer <token>"; empty for anything else.
QString bearerToken(const QString &authorization);

// Why the arguments do not fit the method, or an empty text when they do.
QString checkArguments(const Method &method, const VariantList &args);

} // namespace bco::server
