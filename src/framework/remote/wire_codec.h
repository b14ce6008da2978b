#pragma once

#include <limits>

#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include "framework/data/byte_chain.h"
#include "framework/data/packet_codec.h"

namespace bco {

// The body of a remote call over HTTP, for the client and the server alike. A request is the CBOR array of
// the method's arguments. An answer is a CBOR map holding either `result` (the method's variant) and `args`
// (every argument after the call, those passed by reference changed), or `error` (the message), with
// `incident` when the server failed (HTTP 500): the number under which its log keeps the details.
inline constexpr char CborContentType[] = "application/cbor";

// "/rpc/<server name>/<method>".
QByteArray rpcPath(QStringView serverName, QStringView method);

// What a server takes of a request: no text holding the character NUL, and packets of at most eight million
// values (an import of 60,000 entries sends some two and a half million), so that a request of a few
// megabytes, with or without a session, cannot make the server hold gigabytes.
inline constexpr DecodeLimits RequestLimits{.maxPacketValues = 8'000'000, .textMayHoldNul = false};

QByteArray encodeRequest(const VariantList &args);
// Throws DecodeError for anything but one array of variants.
VariantList decodeRequest(QByteArrayView body, const DecodeLimits &limits = {});

struct WireAnswer {
    bool ok = false;
    Variant result;
    VariantList args;
    QString error;
    QString incident;
};

QByteArray encodeAnswer(const Variant &result, const VariantList &args);
// The same bytes in the pieces they were written in (see ByteChain), for a server to send as they stand.
ByteChain encodeAnswerInPieces(const Variant &result, const VariantList &args);
QByteArray encodeError(const QString &message, const QString &incident = {});
// Throws DecodeError unless the body is a map of result and args, or of error (and incident).
WireAnswer decodeAnswer(QByteArrayView body, const DecodeLimits &limits = {});

// Several calls in one request, to "/rpc-batch/<server name>": a CBOR array of calls, each the array of the
// method's name and the array of its arguments; answered by the array of the calls' answers in their order,
// each as a single call's answer is. Each call is still a call of its own (its own transaction, its own
// failure), so a batch saves only the trips.
struct WireCall {
    QString method;
    VariantList args;
};
QByteArray batchPath(QStringView serverName);
QByteArray encodeBatchRequest(const std::vector<WireCall> &calls);
// Throws DecodeError for anything but an array of at most `maxCalls` [method, arguments] pairs; it stops at
// the first call past them, so that a few megabytes of empty calls cannot make it hold gigabytes.
std::vector<WireCall> decodeBatchRequest(QByteArrayView body, const DecodeLimits &limits = {},
                                         size_t maxCalls = std::numeric_limits<size_t>::max());
QByteArray encodeBatchAnswer(const std::vector<WireAnswer> &answers);
// Throws DecodeError unless the body is an array of answers.
std::vector<WireAnswer> decodeBatchAnswer(QByteArrayView body, const DecodeLimits &limits = {});

} // namespace bco
