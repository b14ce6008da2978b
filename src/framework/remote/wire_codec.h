#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include "framework/data/packet_codec.h"

namespace bco {

// The body of a remote call over HTTP, for the client and the server alike. A request is the CBOR array of
// the method's arguments. An answer is a CBOR map holding either `result` (the method's variant) and `args`
// (every argument after the call, those passed by reference changed), or `error` (the message), with
// `incident` when the server failed (HTTP 500): the number under which its log keeps the details.
inline constexpr char CborContentType[] = "application/cbor";

// "/rpc/<server name>/<method>".
QByteArray rpcPath(QStringView serverName, QStringView method);

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
QByteArray encodeError(const QString &message, const QString &incident = {});
// Throws DecodeError unless the body is a map of result and args, or of error (and incident).
WireAnswer decodeAnswer(QByteArrayView body, const DecodeLimits &limits = {});

} // namespace bco
