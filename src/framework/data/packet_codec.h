#pragma once

#include <stdexcept>

#include <QByteArray>
#include <QByteArrayView>

#include "framework/data/variant.h"

namespace bco {

// Raised for bytes that are not a well-formed encoding: truncated, wrong tag, rows that do not match their
// fields, nesting or declared lengths beyond the limits. The message says what was wrong and where.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Limits that keep decoding of untrusted bytes bounded in depth and memory.
struct DecodeLimits {
    int maxDepth = 64;
    qsizetype maxBytes = 256 * 1024 * 1024;
};

// The one binary encoding (CBOR) of variants and data packets, for the wire and for stored packets.
QByteArray encodeVariant(const Variant &value);
Variant decodeVariant(QByteArrayView bytes, const DecodeLimits &limits = {});

QByteArray encodePacket(const DataPacket &packet);
DataPacket decodePacket(QByteArrayView bytes, const DecodeLimits &limits = {});

} // namespace bco
