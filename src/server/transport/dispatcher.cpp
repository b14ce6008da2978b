#include "server/transport/dispatcher.h"

#include <algorithm>
#include <chrono>

#include <QRandomGenerator>

#include "framework/remote/wire_codec.h"
#include "server/storage/log_sync.h"
#include "server/transport/audit.h"

namespace bco::server {

namespace {

// How many times a call PostgreSQL ends to break a deadlock is run in all.
constexpr int DeadlockAttempts = 3;

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
    case ArgKind::Digits:
        return "a whole number (digits)";
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
    case ArgKind::Digits:
        if (value.type() == VariantType::Int)
            return value.toInt() >= 0;
        if (value.type() == VariantType::Text) {
            const QString text = value.toText();
            return text.size() <= 18 &&
                   std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        }
        return value.isNull();
    case ArgKind::Any:
        return true;
    }
    return false;
}

} // namespace

QString checkArguments(const Method &method, const VariantList &args) {
    const size_t required = method.args.size() - static_cast<size_t>(method.optionalTrailing);
    if (args.size() < required || args.size() > method.args.size()) {
        if (required == method.args.size())
            return QStringLiteral("%1 takes %2 arguments, not %3")
                .arg(method.name)
                .arg(method.args.size())
                .arg(args.size());
        return QStringLiteral("%1 takes %2 to %3 arguments, not %4")
            .arg(method.name)
            .arg(required)
            .arg(method.args.size())
            .arg(args.size());
    }
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
    if (pool_.dialect() == Dialect::Sqlite)
        writingCalls_ = std::make_unique<SerialExecutor>();
}

Dispatcher::~Dispatcher() = default;

CallOutcome serverFault(CallOutcome::Status status, const QString &detail) {
    CallOutcome outcome;
    outcome.status = status;
    outcome.incident =
        QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0')).toUpper();
    outcome.error =
        QStringLiteral("Falha interna do servidor de aplicação (ocorrência %1).").arg(outcome.incident);
    outcome.detail = detail;
    return outcome;
}

// A database's failure as the caller hears of it: a database held by another writer, or a sum past what it
// holds, is said so, in words that an operator can act on; anything else is a fault of the server.
CallOutcome databaseFailure(const DatabaseError &error) {
    const auto toldAs = [&error](CallOutcome::Status status, const QString &words) {
        CallOutcome outcome;
        outcome.status = status;
        outcome.error = words;
        outcome.detail = QString::fromUtf8(error.what());
        return outcome;
    };
    if (dynamic_cast<const DatabaseValueTooLarge *>(&error) != nullptr)
        return toldAs(
            CallOutcome::Status::Refused,
            QStringLiteral("A soma dos movimentos de um dia ou de um mês da conta passaria do maior "
                           "valor que o banco de dados guarda: nada foi gravado."));
    if (dynamic_cast<const DatabaseBusy *>(&error) != nullptr)
        return toldAs(CallOutcome::Status::Busy,
                      QStringLiteral("O banco de dados está ocupado por outra operação, que não terminou a "
                                     "tempo: nada foi gravado. Tente novamente em instantes."));
    return serverFault(CallOutcome::Status::DatabaseFailed, QString::fromUtf8(error.what()));
}

CallOutcome Dispatcher::call(const QString &name, VariantList args, const QString &token) {
    return dispatch(name, token, [&args] { return std::move(args); });
}

bool Dispatcher::hasSession(const QString &token) {
    return !token.isEmpty() && sessions_.operatorFor(pool_.forThisThread(), token).has_value();
}

const Method *Dispatcher::methodNamed(const QString &name, CallOutcome &outcome) const {
    const Method *method = methods_.find(name);
    if (method == nullptr) {
        outcome.status = CallOutcome::Status::UnknownMethod;
        outcome.error = QStringLiteral("unknown method %1 of BCO11100.rdmLancContCorr").arg(name.left(100));
    }
    return method;
}

std::optional<QString> Dispatcher::authorize(const Method &method, const QString &token,
                                             CallOutcome &outcome) {
    if (!method.needsSession)
        return QString();
    std::optional<QString> operatorCode;
    if (!token.isEmpty())
        operatorCode = sessions_.operatorFor(pool_.forThisThread(), token);
    if (!operatorCode) {
        outcome.status = CallOutcome::Status::Unauthorized;
        outcome.error = token.isEmpty() ? QStringLiteral("no session: call Login first")
                                        : QStringLiteral("the session is not valid (unknown or expired)");
    }
    return operatorCode;
}

CallOutcome Dispatcher::dispatch(const QString &name, const QString &token,
                                 const std::function<VariantList()> &arguments) {
    const auto start = std::chrono::steady_clock::now();
    CallOutcome outcome;
    const Method *method = methodNamed(name, outcome);
    try {
        if (const std::optional<QString> operatorCode =
                method != nullptr ? authorize(*method, token, outcome) : std::nullopt) {
            std::optional<VariantList> args;
            try {
                args = arguments();
            } catch (const DecodeError &error) {
                outcome.status = CallOutcome::Status::BadArguments;
                outcome.error =
                    QStringLiteral("malformed request body: %1").arg(QString::fromUtf8(error.what()));
            }
            if (args) {
                if (const QString problem = checkArguments(*method, *args); !problem.isEmpty()) {
                    outcome.status = CallOutcome::Status::BadArguments;
                    outcome.error = problem;
                } else {
                    outcome = run(*method, std::move(*args), *operatorCode, token);
                }
            }
        }
    } catch (const DatabaseError &error) {
        // The session could not be checked.
        outcome = databaseFailure(error);
        pool_.dropThisThreadAfterFailure();
    } catch (const std::exception &error) {
        outcome = serverFault(CallOutcome::Status::Failed, QString::fromUtf8(error.what()));
    }
    const auto end = std::chrono::steady_clock::now();
    log(method != nullptr ? method->name : name.left(100),
        std::chrono::duration<double, std::milli>(end - start).count(), outcome);
    return outcome;
}

CallOutcome Dispatcher::run(const Method &method, VariantList args, const QString &operatorCode,
                            const QString &token) {
    if (!writingCalls_ || !method.writes || method.ownsTransactions)
        return runHere(method, std::move(args), operatorCode, token, nullptr);
    CallOutcome outcome;
    LogSync *unsynced = nullptr;
    writingCalls_->run([&] { outcome = runHere(method, std::move(args), operatorCode, token, &unsynced); });
    if (unsynced != nullptr) {
        try {
            unsynced->sync();
        } catch (const DatabaseError &error) {
            const QString note = outcome.note;
            outcome = serverFault(CallOutcome::Status::DatabaseFailed, QString::fromUtf8(error.what()));
            outcome.note = note;
        }
    }
    return outcome;
}

CallOutcome Dispatcher::runHere(const Method &method, VariantList args, const QString &operatorCode,
                                const QString &token, LogSync **unsynced) {
    Sql *sql = nullptr;
    try {
        sql = &pool_.forThisThread();
    } catch (const DatabaseError &error) {
        return databaseFailure(error);
    }
    // A call PostgreSQL ended to break a deadlock wrote nothing, and runs again as it came: other programs
    // may take their locks in any order (one closing two periods while the call holds one of them).
    const VariantList sent = method.ownsTransactions ? VariantList() : args;
    CallContext context{*sql, sessions_, operatorCode, token, {}, {}, &pool_};
    CallOutcome outcome;
    int deadlocks = 0;
    try {
        for (int attempt = 1;; ++attempt) {
            try {
                if (!method.ownsTransactions)
                    sql->begin(method.writes);
                outcome.result = method.handler(context, args);
                if (!method.ownsTransactions) {
                    if (method.writes)
                        recordAudit(*sql, SessionStore::now(), operatorCode, method.name, context.written);
                    if (beforeCommit_)
                        beforeCommit_(method.name);
                    if (unsynced != nullptr)
                        *unsynced = sql->commitLeavingSync();
                    else
                        sql->commit();
                }
                break;
            } catch (const DatabaseDeadlock &) {
                ++deadlocks;
                if (method.ownsTransactions || attempt == DeadlockAttempts)
                    throw;
                if (sql->inTransaction())
                    sql->rollback();
                args = sent;
                context.written.clear();
                context.logNote.clear();
            }
        }
        outcome.args = std::move(args);
    } catch (const Refusal &refusal) {
        outcome.status = CallOutcome::Status::Refused;
        outcome.error = refusal.message();
    } catch (const std::invalid_argument &error) {
        // A value the handler could not read as it needed (e.g. text where a number was due).
        outcome.status = CallOutcome::Status::BadArguments;
        outcome.error = QStringLiteral("%1 failed: %2").arg(method.name, QString::fromUtf8(error.what()));
    } catch (const DatabaseError &error) {
        outcome = databaseFailure(error);
    } catch (const std::exception &error) {
        outcome = serverFault(CallOutcome::Status::Failed, QString::fromUtf8(error.what()));
    }
    outcome.note = context.logNote;
    // The log says why the call took longer than it should, and that it ran more than once.
    if (deadlocks > 0)
        outcome.note += QStringLiteral("%1ended by the database to break a deadlock %2 time(s), run again")
                            .arg(outcome.note.isEmpty() ? QString() : QStringLiteral("; "))
                            .arg(deadlocks);
    if (!outcome.ok() && sql->inTransaction()) {
        try {
            sql->rollback();
        } catch (const DatabaseError &) {
            // The connection lost its transaction already (the database ended it); nothing is left to undo.
        }
    }
    if (outcome.status == CallOutcome::Status::DatabaseFailed || outcome.status == CallOutcome::Status::Busy)
        pool_.dropThisThreadAfterFailure();
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
        return 200;
    case CallOutcome::Status::BadArguments:
        return 400;
    case CallOutcome::Status::Unauthorized:
        return 401;
    case CallOutcome::Status::UnknownMethod:
        return 404;
    case CallOutcome::Status::Busy:
        return 503;
    case CallOutcome::Status::DatabaseFailed:
    case CallOutcome::Status::Failed:
        return 500;
    }
    return 500;
}

} // namespace

RpcResponse Dispatcher::handle(const QString &name, const QString &authorization, QByteArray body) {
    try {
        const CallOutcome outcome = dispatch(name, bearerToken(authorization), [&body] {
            VariantList args = decodeRequest(body, RequestLimits);
            body = QByteArray();
            return args;
        });
        if (!outcome.ok())
            return {httpStatus(outcome.status), encodeError(outcome.error, outcome.incident)};
        return {200, encodeAnswerInPieces(outcome.result, outcome.args)};
    } catch (const std::exception &error) {
        // Only the encoding of the answer is left to fail here (and memory with it).
        const CallOutcome fault = serverFault(CallOutcome::Status::Failed, QString::fromUtf8(error.what()));
        log(name.left(100), 0, fault);
        return {500, encodeError(fault.error, fault.incident)};
    }
}

std::optional<RpcResponse> Dispatcher::refusalBeforeBody(const QString &name, const QString &authorization) {
    CallOutcome outcome;
    const Method *method = methodNamed(name, outcome);
    try {
        if (method != nullptr && authorize(*method, bearerToken(authorization), outcome))
            return std::nullopt;
    } catch (const DatabaseError &) {
        pool_.dropThisThreadAfterFailure();
        return std::nullopt;
    }
    log(method != nullptr ? method->name : name.left(100), 0, outcome);
    return RpcResponse{httpStatus(outcome.status), encodeError(outcome.error)};
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
        text = QStringLiteral("database error, incident %1: %2").arg(outcome.incident, outcome.detail);
        break;
    case CallOutcome::Status::Busy:
        text = QStringLiteral("database busy: ") + outcome.detail;
        break;
    case CallOutcome::Status::Failed:
        text = QStringLiteral("failed, incident %1: %2").arg(outcome.incident, outcome.detail);
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
    if (!outcome.note.isEmpty())
        text += QStringLiteral(" (%1)").arg(outcome.note);
    logger_(method, milliseconds, text);
}

} // namespace bco::server
