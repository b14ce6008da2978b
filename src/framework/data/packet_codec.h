#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
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
    // Packet rows and their values, counted over the whole decode, a row as four values besides its own (what
    // it takes in memory beyond its values): a packet of empty or null rows would otherwise grow some thirty
    // times over its bytes. A list of 100,000 entries holds some five million.
    qsizetype maxPacketValues = 64'000'000;
    // False refuses text that holds the character NUL, which PostgreSQL cannot store: it would end the
    // text there, where SQLite keeps it whole. The server takes no such text from its callers.
    bool textMayHoldNul = true;
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

    // CBOR's major types, the simple values split out, as the reader tells them apart.
    enum class Item : std::uint8_t {
        Unsigned,
        Negative,
        Bytes,
        Text,
        Array,
        Map,
        Tag,
        False,
        True,
        Null,
        Undefined,
        Simple,
        Half,
        Single,
        Double
    };
    // The head of the item at the current position: its kind, its argument (value, length, tag or simple
    // value; a float's bits) and how many bytes the head takes.
    struct Head {
        Item item = Item::Null;
        bool open = false; // an indefinite length
        quint64 argument = 0;
        int size = 0;
    };
    // A container being read: the items left in it (a map's pairs count twice), or open until a break.
    struct Container {
        quint64 left = 0;
        bool open = false;
    };

    // The head at the current position, read when first asked for; fails when there is none.
    const Head &head(const char *what);
    void readHead();
    // Steps over the current head, which ends an item unless it is a tag's.
    void skipHead();
    void countItem();
    [[noreturn]] void failTruncated() const;
    [[noreturn]] void failMalformed(const char *why) const;
    [[noreturn]] void failFound(const QString &expected, const Place &place);
    QString foundName();
    qint64 enterContainer(Item item, const char *what);
    // The text at the current position, in place when it comes in one piece, else gathered in scratch_;
    // valid until the next read.
    QByteArrayView readUtf8(const char *what);
    qint64 readInteger(const Place &place);
    double readReal(const Place &place);
    QDate readDate(const Place &place);
    qsizetype remaining() const { return end_ - position_; }
    qsizetype offset() const { return position_ - begin_; }
    void checkDepth(int depth) const;
    FieldDefs readFields();
    void readRows(DataPacket &packet);
    // The rows of a list from `firstRow` on, read by a copy of the reader placed at the list's first row,
    // which steps over the rows before; `start` is null when it could not step over them, or when it was
    // abandoned meanwhile.
    struct LaterRows {
        const unsigned char *start = nullptr;
        const unsigned char *end = nullptr;
        std::vector<PacketRow> rows;
        qsizetype values = 0;
        std::exception_ptr failure;
    };
    LaterRows readLaterRows(const FieldDefs &fields, qint64 firstRow, const std::atomic<bool> &abandoned);
    // Appends the later rows and moves past them, or answers false, having done nothing, when they do not
    // start where this reader stands. Rethrows their failure.
    bool takeLaterRows(DataPacket &packet, LaterRows later);
    PacketRow readRow(RecordBuilder &builder, const FieldDefs &fields, int row);
    Record readRecord(RecordBuilder &builder, const FieldDefs &fields, int row, bool counted);
    // Reads the value at the current position when it comes in a plain form; false, having read nothing,
    // for anything else.
    bool readPlainValue(RecordBuilder &builder, FieldKind kind);
    void readField(RecordBuilder &builder, const FieldDef &field, int row);

    const unsigned char *begin_;
    const unsigned char *position_;
    const unsigned char *end_;
    DecodeLimits limits_;
    qsizetype arrayItems_ = 0;
    qsizetype packetValues_ = 0;
    // What a packet row takes in memory besides its values, counted as that many values.
    static constexpr qsizetype RowWeight = 4;
    Head head_;
    bool headRead_ = false;
    std::vector<Container> containers_;
    std::string scratch_;
};

} // namespace bco
