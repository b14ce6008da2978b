#pragma once

#include <stdexcept>
#include <string>

#include <QByteArray>
#include <QByteArrayView>
#include <QCborStreamReader>
#include <QString>

#include "framework/data/cbor_writer.h"
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
    // Items of variant arrays, counted over the whole decode. Each takes a full variant in memory, so a body
    // of one-byte nulls would otherwise grow some thirty times over; packet rows are compact and not counted.
    qsizetype maxArrayItems = 1'000'000;
};

// The one binary encoding (CBOR) of variants and data packets, for the wire and for stored packets.
//
// null, booleans, integers (64-bit), floats (double), text and arrays are CBOR's own; a date is tag 1004
// over "YYYY-MM-DD" (years 1 to 9999); a data packet is a map under PacketTag:
//   {"fields": [[name, kind, size, required], ...],
//    "rows":   [[state, value..., original value...], ...]}
// where kind is fieldKindName, state the RowState's number, the values come in field order as the field's
// kind or null, and the original values follow only on a row that carries them (a modified row).
QByteArray encodeVariant(const Variant &value);
Variant decodeVariant(QByteArrayView bytes, const DecodeLimits &limits = {});

QByteArray encodePacket(const DataPacket &packet);
DataPacket decodePacket(QByteArrayView bytes, const DecodeLimits &limits = {});

// Tag 1004 is RFC 8943's calendar date. The packet tag is our own, an unassigned number of the first-come
// range picked at random, far from the registered ones.
inline constexpr quint64 DateTag = 1004;
inline constexpr quint64 PacketTag = 1799170641;

// Writes one variant at the writer's position: for encodings that embed variants (the wire codec).
void writeVariant(CborWriter &writer, const Variant &value);

// Reads variants and the CBOR around them from untrusted bytes, with the limits and the messages of
// decodeVariant: for encodings that embed variants (the wire codec). Every failure throws DecodeError naming
// the byte offset. The bytes must outlive the reader.
class VariantReader {
public:
    VariantReader(QByteArrayView bytes, const DecodeLimits &limits);

    // One variant at the current position, `depth` containers being open around it.
    Variant readVariant(int depth = 0);
    DataPacket readPacket(int depth = 0);
    // A text string; `what` names it in messages ("map key").
    QString readText(const char *what);

    // Enters the array or map at the current position; answers its declared number of items (a map's
    // pairs), or -1 when the length is left open.
    qint64 enterArray(const char *what);
    qint64 enterMap(const char *what);
    bool hasNext();
    // Leaves the container, which must have no item left.
    void leaveContainer(const char *what);

    // Throws unless every byte was read.
    void expectEnd();
    [[noreturn]] void fail(const QString &message) const;

private:
    // Names what is being read, for messages; cheap to make, turned into text only when a message is.
    struct Place {
        const char *what;
        int row = -1;
        const QString *field = nullptr;
        QString text() const;
    };

    void advance();
    void checkError();
    void checkValid(const char *what);
    void requireItem(const char *what);
    [[noreturn]] void failFound(const QString &expected, const Place &place) const;
    QString foundName() const;
    qint64 enterContainer(QCborStreamReader::Type type, const char *what);
    void readUtf8(std::string &into, const char *what);
    qint64 readInteger(const Place &place);
    double readReal(const Place &place);
    QDate readDate(const Place &place);
    qsizetype remaining() const;
    void checkDepth(int depth) const;
    FieldDefs readFields();
    void readRows(DataPacket &packet);
    Record readRecord(RecordBuilder &builder, const FieldDefs &fields, int row, bool counted);
    void readField(RecordBuilder &builder, const FieldDef &field, int row);

    QByteArrayView bytes_;
    DecodeLimits limits_;
    qsizetype arrayItems_ = 0;
    QCborStreamReader reader_;
    std::string scratch_;
};

} // namespace bco
