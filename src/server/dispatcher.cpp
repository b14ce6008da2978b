#include "server/dispatcher.h"

#include <chrono>

#include "framework/remote/wire_codec.h"

namespace bco::server {

namespace {

const char *kindName(ArgKind kind) {
    switch (kind) {
    case ArgKind::Text:
        return "text";
    case ArgKind::Date:
        return "date";
    case ArgKind::Number:
        return "number";
    case ArgKind::Boolean:
        return "boolean";
    case ArgKind::Any:
        return "any value";
    }
    return "?";
}

bool fits(ArgKind kind, const Variant &value) {
    switch (kind) {
    case ArgKind::Text:
        return value.type() == VariantType::Text || value.isNull();
    case ArgKind::Date:
        return value.type() == VariantType::Date || value.isNull();
    case ArgKind::Number:
        return value.type() == VariantType::Int || value.type() == VariantType::Float;
    case ArgKind::Boolean:
        return value.type() == VariantType::Bool;
    case ArgKind::Any:
        return true;
    }
    return false;
}

} // namespace

QString checkArguments(const Method &method, const VariantList &args) {
    if (args.size() != method.args.size())
        return QStringLiteral("%1 takes %2 arguments, not %3")
            .arg(method.name)
            .arg(method.args.size())
            .arg(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        if (!fits(method.args[i], args[i]))
            return QStringLiteral("argument %1 of %2 must be %3, not %4")
                .arg(i + 1)
                .arg(method.name, QString::fromLatin1(kindName(method.args[i])),
                     QString::fromLatin1(Variant::typeName(args[i].type())));
    }
    return {};
}

Dispatcher::Dispatcher(ConnectionPool &pool, SessionStore &sessions, MethodRegistry methods)
    : pool_(pool)
    , sessions_(sessions)
    , methods_(std::move(methods)) {
}

CallOutcome Dispatcher::call(const QString &name, VariantList args, const QString &token) {
    const auto start = std::chrono::steady_clock::now();
    CallOutcome outcome;
    const Method *method = methods_.find(name);
    if (method == nullptr) {
        outcome.status = CallOutcome::Status::UnknownMethod;
        outcome.error = QStringLiteral("unknown method %1 of BCO11100.rdmLancContCorr").arg(name.left(100));
    } else {
        std::optional<QString> operatorCode;
        if (method->needsSession)
            operatorCode = token.isEmpty() ? std::nullopt : sessions_.operatorFor(token);
        if (method->needsSession && !operatorCode) {
            outcome.status = CallOutcome::Status::Unauthorized;
            outcome.error = token.isEmpty() ? QStringLiteral("no session: call Login first")
                                            : QStringLiteral("the session is not valid (unknown or expired)");
        } else if (const QString problem = checkArguments(*method, args); !problem.isEmpty()) {
            outcome.status = CallOutcome::Status::BadArguments;
            outcome.error = problem;
        } else {
            outcome = run(*method, std::move(args), operatorCode.value_or(QString()));
        }
    }
    const auto end = std::chrono::steady_clock::now();
    log(method != nullptr ? method->name : name.left(100),
        std::chrono::duration<double, std::milli>(end - start).count(), outcome);
    return outcome;
}

CallOutcome Dispatcher::run(const Method &method, VariantList args, const QString &operatorCode) {
    CallOutcome outcome;
    Sql *sql = nullptr;
    bool inTransaction = false;
    try {
        sql = &pool_.forThisThread();
        sql->begin(method.writes);
        inTransaction = true;
        CallContext context{*sql, sessions_, operatorCode};
        outcome.result = method.handler(context, args);
        sql->commit();
        inTransaction = false;
        outcome.args = std::move(args);
        return outcome;
    } catch (const Refusal &refusal) {
        outcome.status = CallOutcome::Status::Refused;
        outcome.error = refusal.message();
    } catch (const DatabaseError &error) {
        outcome.status = CallOutcome::Status::DatabaseFailed;
        outcome.error = QStringLiteral("Erro no banco de dados: %1").arg(QString::fromUtf8(error.what()));
    } catch (const std::exception &error) {
        // A value the handler could not read as it needed (e.g. text where a number was due).
        outcome.status = CallOutcome::Status::BadArguments;
        outcome.error = QStringLiteral("%1 failed: %2").arg(method.name, QString::fromUtf8(error.what()));
    }
    if (inTransaction) {
        try {
            sql->rollback();
        } catch (const DatabaseError &) {
            // The connection lost its transaction already (the database ended it); nothing is left to undo.
        }
    }
    if (outcome.status == CallOutcome::Status::DatabaseFailed)
        pool_.dropThisThreadIfBroken();
    return outcome;
}

QString bearerToken(const QString &authorization) {
    const QString scheme = QStringLiteral("Bearer ");
    if (!authorization.startsWith(scheme, Qt::CaseInsensitive))
        return {};
    return authorization.mid(scheme.size()).trimmed();
}

namespace {

int httpStatus(CallOutcome::Status status) {
    switch (status) {
    case CallOutcome::Status::Answered:
    case CallOutcome::Status::Refused:
    case CallOutcome::Status::DatabaseFailed:
        return 200;
    case CallOutcome::Status::BadArguments:
        return 400;
    case CallOutcome::Status::Unauthorized:
        return 401;
    case CallOutcome::Status::UnknownMethod:
        return 404;
    }
    return 500;
}

RpcResponse failure(const CallOutcome &outcome) {
    return {httpStatus(outcome.status), encodeError(outcome.error)};
}

} // namespace

RpcResponse Dispatcher::handle(const QString &name, const QString &authorization, QByteArrayView body) {
    try {
        // The method and the session are checked before the body is decoded: a caller without a session
        // gets nothing decoded on its behalf.
        const QString token = bearerToken(authorization);
        const Method *method = methods_.find(name);
        if (method == nullptr || (method->needsSession && (token.isEmpty() || !sessions_.operatorFor(token))))
            return failure(call(name, {}, token));
        VariantList args;
        try {
            args = decodeRequest(body);
        } catch (const DecodeError &error) {
            CallOutcome outcome;
            outcome.status = CallOutcome::Status::BadArguments;
            outcome.error = QStringLiteral("malformed request body: %1").arg(QString::fromUtf8(error.what()));
            log(method->name, 0, outcome);
            return {400, encodeError(outcome.error)};
        }
        const CallOutcome outcome = call(name, std::move(args), token);
        if (!outcome.ok())
            return failure(outcome);
        return {200, encodeAnswer(outcome.result, outcome.args)};
    } catch (const std::exception &error) {
        return {500, encodeError(QStringLiteral("internal error: %1").arg(QString::fromUtf8(error.what())))};
    }
}

void Dispatcher::logTransportRefusal(const QString &name, int status, const QString &message) const {
    if (logger_)
        logger_(name.left(100), 0,
                QStringLiteral("refused by the transport (%1): %2").arg(status).arg(message));
}

void Dispatcher::log(const QString &method, double milliseconds, const CallOutcome &outcome) const {
    if (!logger_)
        return;
    QString text;
    switch (outcome.status) {
    case CallOutcome::Status::Answered:
        text = QStringLiteral("ok");
        break;
    case CallOutcome::Status::Refused:
        text = QStringLiteral("refused: ") + outcome.error;
        break;
    case CallOutcome::Status::DatabaseFailed:
        text = QStringLiteral("database error: ") + outcome.error;
        break;
    case CallOutcome::Status::UnknownMethod:
        text = QStringLiteral("unknown method");
        break;
    case CallOutcome::Status::BadArguments:
        text = QStringLiteral("bad arguments: ") + outcome.error;
        break;
    case CallOutcome::Status::Unauthorized:
        text = QStringLiteral("unauthorized: ") + outcome.error;
        break;
    }
    logger_(method, milliseconds, text);
}

} // namespace bco::server
