#include <cstdint>
#include <cstdlib>

#include "framework/data/packet_codec.h"

// Untrusted bytes through both decoders: each either decodes within the limits or throws DecodeError; any
// other exception, a crash or a sanitizer report is a fault. What decodes must survive a second round trip
// unchanged; variants are compared as bytes, because a NaN amount never equals itself.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const QByteArray encoded = bco::encodeVariant(bco::decodeVariant(bytes));
        if (bco::encodeVariant(bco::decodeVariant(encoded)) != encoded)
            std::abort();
    } catch (const bco::DecodeError &) {
    }
    try {
        const bco::DataPacket packet = bco::decodePacket(bytes);
        if (!(bco::decodePacket(bco::encodePacket(packet)) == packet))
            std::abort();
    } catch (const bco::DecodeError &) {
    }
    return 0;
}
