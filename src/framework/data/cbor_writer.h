#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "framework/data/byte_chain.h"
#include "framework/data/large_pages.h"

namespace bco {

// Writes CBOR into a byte array it owns: the few item kinds our encoding uses, each in its shortest head
// (floats always as 64-bit doubles, as QCborStreamWriter writes them). Lengths are known before the items,
// so nothing is ever indefinite. It exists because the general stream writer costs several times more per
// item, and a 100,000-row entry list is three and a half million items: each item is copied into spare room
// the writer keeps ahead, not appended through QByteArray's checks one call at a time.
class CborWriter {
public:
    // Whether bytes another writer wrote are kept as pieces of their own (for a writer whose bytes are taken
    // in pieces, takePieces) or copied into one block (for take).
    enum class Pieces { CopiedIn, Kept };

    explicit CborWriter(Pieces pieces = Pieces::CopiedIn)
        : keepsPieces_(pieces == Pieces::Kept) {}

    bool keepsPieces() const { return keepsPieces_; }

    // The bytes written so far, exactly, as one block; the writer starts again empty.
    QByteArray take() {
        if (pieces_.isEmpty())
            return takeCurrent();
        return takePieces().joined();
    }

    // The bytes written so far in the pieces they were written in; the writer starts again empty.
    ByteChain takePieces() {
        finishPiece();
        return std::exchange(pieces_, ByteChain());
    }

    // Makes room for `bytes` more at once, for a writer that can tell how much a long value will take.
    void reserve(qsizetype bytes) {
        if (bytes_.size() - used_ < bytes)
            grow(used_ + bytes);
    }

    void appendNull() { put(static_cast<char>(0xF6)); }
    void append(bool value) { put(static_cast<char>(value ? 0xF5 : 0xF4)); }
    void append(quint64 value) { head(0, value); }
    void append(qint64 value) {
        // A negative n travels as major type 1 with -1 - n, which is the bitwise complement.
        if (value < 0)
            head(1, ~static_cast<quint64>(value));
        else
            head(0, static_cast<quint64>(value));
    }
    void append(double value) {
        char *out = room(9);
        out[0] = static_cast<char>(0xFB);
        const auto bits = std::bit_cast<quint64>(value);
        for (int i = 0; i < 8; ++i)
            out[1 + i] = static_cast<char>(bits >> (56 - 8 * i));
        used_ += 9;
    }
    void appendTextString(QByteArrayView utf8) {
        head(3, static_cast<quint64>(utf8.size()));
        if (utf8.isEmpty())
            return;
        std::memcpy(room(utf8.size()), utf8.data(), static_cast<size_t>(utf8.size()));
        used_ += utf8.size();
    }
    void append(const QString &text) { appendTextString(text.toUtf8()); }
    void appendTag(quint64 tag) { head(6, tag); }
    // Bytes another writer wrote, as they stand: kept as a piece of their own, not copied, by a writer that
    // keeps pieces; else copied in.
    void appendPiece(QByteArray bytes) {
        if (keepsPieces_) {
            finishPiece();
            pieces_.append(std::move(bytes));
            return;
        }
        if (bytes.isEmpty())
            return;
        std::memcpy(room(bytes.size()), bytes.constData(), static_cast<size_t>(bytes.size()));
        used_ += bytes.size();
    }
    void startArray(quint64 items) { head(4, items); }
    void startMap(quint64 pairs) { head(5, pairs); }

private:
    QByteArray takeCurrent() {
        bytes_.resize(used_);
        used_ = 0;
        return std::exchange(bytes_, QByteArray());
    }
    void finishPiece() { pieces_.append(takeCurrent()); }

    // Where the next `bytes` bytes go; the caller then counts them in used_.
    char *room(qsizetype bytes) {
        if (bytes_.size() - used_ < bytes)
            grow(std::max({used_ + bytes, 2 * bytes_.size(), qsizetype(256)}));
        return bytes_.data() + used_;
    }
    void grow(qsizetype size) {
        bytes_.resize(size);
        if (size >= LargeBytes)
            adviseLargePages(bytes_.data() + used_, size - used_);
    }
    void put(char byte) {
        *room(1) = byte;
        ++used_;
    }
    void head(unsigned major, quint64 value) {
        const auto type = static_cast<unsigned char>(major << 5);
        char *out = room(9);
        int size = 0;
        if (value < 24) {
            out[size++] = static_cast<char>(type | value);
        } else if (value <= 0xFF) {
            out[size++] = static_cast<char>(type | 24);
            out[size++] = static_cast<char>(value);
        } else if (value <= 0xFFFF) {
            out[size++] = static_cast<char>(type | 25);
            for (int shift = 8; shift >= 0; shift -= 8)
                out[size++] = static_cast<char>(value >> shift);
        } else if (value <= 0xFFFFFFFFu) {
            out[size++] = static_cast<char>(type | 26);
            for (int shift = 24; shift >= 0; shift -= 8)
                out[size++] = static_cast<char>(value >> shift);
        } else {
            out[size++] = static_cast<char>(type | 27);
            for (int shift = 56; shift >= 0; shift -= 8)
                out[size++] = static_cast<char>(value >> shift);
        }
        used_ += size;
    }

    static constexpr qsizetype LargeBytes = 4 << 20;

    bool keepsPieces_;
    ByteChain pieces_; // what was written before the bytes being written now
    QByteArray bytes_; // its size is the room reserved; used_ of it is written
    qsizetype used_ = 0;
};

} // namespace bco
