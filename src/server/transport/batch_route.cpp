#include "server/transport/batch_route.h"

#include "framework/remote/wire_codec.h"

namespace bco::server {

namespace {

RpcResponse withoutSession(Dispatcher &dispatcher) {
    const QString message = QStringLiteral("no valid session: call Login first");
    dispatcher.logTransportRefusal(QStringLiteral("batch"), 401, message);
    return {401, encodeError(message)};
}

} // namespace

std::optional<RpcResponse> batchRefusalBeforeBody(Dispatcher &dispatcher, const QString &authorization) {
    try {
        if (!dispatcher.hasSession(bearerToken(authorization)))
            return withoutSession(dispatcher);
    } catch (const std::exception &) {
    }
    return std::nullopt;
}

RpcResponse handleBatch(Dispatcher &dispatcher, const QString &authorization, QByteArrayView body) {
    try {
        const QString token = bearerToken(authorization);
        if (!dispatcher.hasSession(token))
            return withoutSession(dispatcher);
        std::vector<WireCall> calls;
        try {
            calls = decodeBatchRequest(body, RequestLimits, MaxBatchCalls);
        } catch (const DecodeError &error) {
            const QString message =
                QStringLiteral("malformed batch: %1").arg(QString::fromUtf8(error.what()));
            dispatcher.logTransportRefusal(QStringLiteral("batch"), 400, message);
            return {400, encodeError(message)};
        }
        std::vector<WireAnswer> answers;
        answers.reserve(calls.size());
        for (WireCall &call : calls) {
            CallOutcome outcome = dispatcher.call(call.method, std::move(call.args), token);
            WireAnswer answer;
            answer.ok = outcome.ok();
            answer.result = std::move(outcome.result);
            answer.args = std::move(outcome.args);
            answer.error = std::move(outcome.error);
            answer.incident = std::move(outcome.incident);
            answers.push_back(std::move(answer));
        }
        return {200, encodeBatchAnswer(answers)};
    } catch (const std::exception &error) {
        // What went wrong stays in the server's log: its text may name the database's insides.
        dispatcher.logTransportRefusal(QStringLiteral("batch"), 500, QString::fromUtf8(error.what()));
        return {500, encodeError(QStringLiteral("internal error"))};
    }
}

} // namespace bco::server
