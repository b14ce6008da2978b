#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace bco {

// Writes CBOR straight into a byte array: the few item kinds our encoding uses, each in its shortest head
// (floats always as 64-bit doubles, as QCborStreamWriter writes them). Lengths are known before the items,
// so nothing is ever indefinite. It exists because the general stream writer costs several times more per
// item, and a 100,000-row entry list is three and a half million items.
class CborWriter {
public:
    explicit CborWriter(QByteArray &bytes)
        : bytes_(bytes) {}

    void appendNull() { bytes_.append(static_cast<char>(0xF6)); }
    void append(bool value) { bytes_.append(static_cast<char>(value ? 0xF5 : 0xF4)); }
    void append(quint64 value) { head(0, value); }
    void append(qint64 value) {
        // A negative n travels as major type 1 with -1 - n, which is the bitwise complement.
        if (value < 0)
            head(1, ~static_cast<quint64>(value));
        else
            head(0, static_cast<quint64>(value));
    }
    void append(double value) {
        char bytes[9];
        bytes[0] = static_cast<char>(0xFB);
        const auto bits = std::bit_cast<quint64>(value);
        for (int i = 0; i < 8; ++i)
            bytes[1 + i] = static_cast<char>(bits >> (56 - 8 * i));
        bytes_.append(bytes, sizeof bytes);
    }
    void appendTextString(QByteArrayView utf8) {
        head(3, static_cast<quint64>(utf8.size()));
        bytes_.append(utf8.data(), utf8.size());
    }
    void append(const QString &text) { appendTextString(text.toUtf8()); }
    void appendTag(quint64 tag) { head(6, tag); }
    void startArray(quint64 items) { head(4, items); }
    void startMap(quint64 pairs) { head(5, pairs); }

private:
    void head(unsigned major, quint64 value) {
        const auto type = static_cast<unsigned char>(major << 5);
        char bytes[9];
        int size = 0;
        if (value < 24) {
            bytes[size++] = static_cast<char>(type | value);
        } else if (value <= 0xFF) {
            bytes[size++] = static_cast<char>(type | 24);
            bytes[size++] = static_cast<char>(value);
        } else if (value <= 0xFFFF) {
            bytes[size++] = static_cast<char>(type | 25);
            for (int shift = 8; shift >= 0; shift -= 8)
                bytes[size++] = static_cast<char>(value >> shift);
        } else if (value <= 0xFFFFFFFFu) {
            bytes[size++] = static_cast<char>(type | 26);
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes[size++] = static_cast<char>(value >> shift);
        } else {
            bytes[size++] = static_cast<char>(type | 27);
            for (int shift = 56; shift >= 0; shift -= 8)
                bytes[size++] = static_cast<char>(value >> shift);
        }
        bytes_.append(bytes, size);
    }

    QByteArray &bytes_;
};

} // namespace bco
