#pragma once

#include <optional>

#include <QByteArrayView>
#include <QString>

#include "server/transport/dispatcher.h"

namespace bco::server {

// The most calls one batch may carry.
inline constexpr int MaxBatchCalls = 10000;

// A batch of calls (POST /rpc-batch/BCO11100.rdmLancContCorr, see wire_codec.h): each call is run by the
// dispatcher as if it had come alone (its own transaction, its own answer, its own log line), in the order
// sent. The session is checked before the body is decoded (401 without a valid one); a body that is not a
// batch, or one of more than MaxBatchCalls calls, is 400. Never throws.
RpcResponse handleBatch(Dispatcher &dispatcher, const QString &authorization, QByteArrayView body);

// The 401 of a batch whose head holds no valid session, which the route answers before it reads the body, as
// it does for a call (Dispatcher::refusalBeforeBody); nothing when there is one, or when the database cannot
// tell (handleBatch then says why). Never throws.
std::optional<RpcResponse> batchRefusalBeforeBody(Dispatcher &dispatcher, const QString &authorization);

} // namespace bco::server
