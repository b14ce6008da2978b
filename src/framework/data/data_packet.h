#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QSharedDataPointer>
#include <QString>

namespace bco {

class Variant;

enum class FieldKind : std::uint8_t { Text, Integer, Float, Date, Boolean };

// Width a text field takes when it is declared without one.
inline constexpr int DefaultTextWidth = 20;

// One column of a packet or data set. `size` is the width of a text field in characters (0 means the
// default width); other kinds ignore it.
struct FieldDef {
    QString name;
    FieldKind kind = FieldKind::Text;
    int size = 0;
    bool required = false;

    int textWidth() const { return size > 0 ? size : DefaultTextWidth; }
    friend bool operator==(const FieldDef &, const FieldDef &) = default;
};
using FieldDefs = QList<FieldDef>;

const char *fieldKindName(FieldKind kind);

// One row's values in a single compact block: a null bitmap, one offset per field and the payloads (text as
// UTF-8, integers and floats as 8 bytes, dates as a 4-byte day number, booleans as one byte). A record does
// not know its field kinds: whoever reads it passes the kind, which a packet or data set always has. It is
// implicitly shared, and editing makes a new one, so a packet and a data set can hold the same rows.
class Record {
public:
    Record() = default;

    bool isValid() const { return !bytes_.isEmpty(); }
    int fieldCount() const;
    bool isNull(int field) const;

    QByteArrayView utf8(int field) const;
    QString text(int field) const;
    qint64 integer(int field) const;
    double real(int field) const;
    QDate date(int field) const;
    bool boolean(int field) const;

    Variant value(int field, FieldKind kind) const;
    // A copy with one value replaced; the value is converted to the field's kind (see RecordBuilder).
    Record with(int field, FieldKind kind, const Variant &value) const;
    // A copy with several values replaced at once, each as `with` would replace it; a field named twice
    // takes the last value. The values are the caller's, read during the call.
    struct Replacement {
        int field;
        FieldKind kind;
        const Variant *value;
    };
    Record with(const std::vector<Replacement> &replacements) const;

    // Bytes the record holds on the heap, for memory accounting.
    qsizetype byteSize() const { return bytes_.size(); }

    friend bool operator==(const Record &a, const Record &b) { return a.bytes_ == b.bytes_; }

private:
    friend class RecordBuilder;
    friend class RecordFields;
    explicit Record(QByteArray bytes)
        : bytes_(std::move(bytes)) {}
    QByteArrayView payload(int field) const;

    QByteArray bytes_;
};

// Reads a record's fields in order, finding the header once: for walking every field of many records
// (encoding a packet), where Record's checked accessors would find the field's offsets anew each time.
// Unchecked: the reader must stop at count(), and the record must outlive it. Values read as Record's
// accessors read them.
class RecordFields {
public:
    explicit RecordFields(const Record &record)
        : count_(record.fieldCount()) {
        if (count_ > 0) {
            bitmap_ = reinterpret_cast<const unsigned char *>(record.bytes_.constData()) + 2;
            offsets_ = reinterpret_cast<const char *>(bitmap_) + (count_ + 7) / 8;
            payload_ = offsets_ + 4 * (count_ + 1);
        }
    }

    int count() const { return count_; }
    int index() const { return field_; }
    void next() { ++field_; }

    bool isNull() const { return (bitmap_[field_ / 8] >> (field_ % 8)) & 1u; }
    QByteArrayView utf8() const {
        quint32 begin, end;
        std::memcpy(&begin, offsets_ + 4 * field_, sizeof begin);
        std::memcpy(&end, offsets_ + 4 * (field_ + 1), sizeof end);
        return QByteArrayView(payload_ + begin, end - begin);
    }
    qint64 integer() const { return fixed<qint64>(0); }
    double real() const { return fixed<double>(0.0); }
    QDate date() const {
        const auto bytes = utf8();
        if (bytes.size() != sizeof(qint32))
            return QDate();
        qint32 day;
        std::memcpy(&day, bytes.data(), sizeof day);
        return QDate::fromJulianDay(day);
    }
    bool boolean() const {
        const auto bytes = utf8();
        return bytes.size() == 1 && bytes[0] != 0;
    }

private:
    template <typename T> T fixed(T otherwise) const {
        const auto bytes = utf8();
        if (bytes.size() != sizeof(T))
            return otherwise;
        T value;
        std::memcpy(&value, bytes.data(), sizeof value);
        return value;
    }

    int count_;
    int field_ = 0;
    const unsigned char *bitmap_ = nullptr;
    const char *offsets_ = nullptr;
    const char *payload_ = nullptr;
};

// Builds a record value by value, in field order. A null variant gives a null field; any other value is
// converted to the field's kind (throws std::invalid_argument when it cannot be, e.g. text into a date).
// Text is stored as given: cutting it to the field's width is the data set's rule, not the record's.
//
// A builder made for a batch (decoding a packet, reading a query's rows) puts the records it builds side by
// side in shared blocks, growing from 4 KiB to BatchBlockBytes, which spares a long packet one allocation a
// row; the price is that a record kept alone keeps its whole block alive. A block of BatchBlockBytes starts
// on a large-page boundary, so that the system can back all of it with large pages (see large_pages.h).
class RecordBuilder {
public:
    enum class Storage : std::uint8_t { Own, Batch };
    static constexpr qsizetype BatchBlockBytes = 8 << 20;

    explicit RecordBuilder(int fieldCount, Storage storage = Storage::Own);

    // The two that every value ends in are inline: a 100,000-row query adds three and a half million values.
    RecordBuilder &addNull() {
        beginField();
        const int byte = 2 + added_ / 8;
        header_[byte] = static_cast<char>(header_[byte] | (1 << (added_ % 8)));
        endField();
        return *this;
    }
    RecordBuilder &addUtf8(QByteArrayView text) {
        beginField();
        payload_.append(text.data(), static_cast<size_t>(text.size()));
        endField();
        return *this;
    }
    RecordBuilder &addText(QStringView text);
    RecordBuilder &addInteger(qint64 value);
    RecordBuilder &addReal(double value);
    RecordBuilder &addDate(QDate value);
    RecordBuilder &addBoolean(bool value);
    RecordBuilder &add(FieldKind kind, const Variant &value);

    // A batch expects about `records` more records (a packet's declared rows): when a block fills, the next
    // one is sized for what is still to come, as far as the records built so far tell, up to
    // BatchBlockBytes, instead of doubling through a chain of small blocks. Only a hint for the sizes.
    void expectRecords(qint64 records);

    int added() const { return added_; }
    // Throws std::logic_error unless exactly fieldCount values were added. The builder then starts the next
    // record of the same width.
    Record build();

private:
    void beginField() {
        if (added_ >= fieldCount_)
            throwTooMany();
    }
    // Each value writes its end offset in place in the header laid out at construction.
    void endField() {
        ++added_;
        const auto end = static_cast<quint32>(payload_.size());
        std::memcpy(header_.data() + 2 + (fieldCount_ + 7) / 8 + 4 * added_, &end, sizeof end);
    }
    [[noreturn]] static void throwTooMany();

    // Room for `bytes` more in the current batch block, a new block when it has too little.
    char *batchRoom(qsizetype bytes);

    int fieldCount_;
    int added_ = 0;
    std::string header_;
    std::string payload_;
    Storage storage_;
    QByteArray block_;
    // The part of block_ that records fill: from a large-page boundary for the largest blocks.
    qsizetype blockUsed_ = 0;
    qsizetype blockEnd_ = 0;
    qint64 expected_ = 0;
    qint64 built_ = 0;
    qint64 builtBytes_ = 0;
};

enum class RowState : std::uint8_t { Unchanged, Inserted, Modified, Deleted };

const char *rowStateName(RowState state);

// A packet row. In a change log, a modified row keeps the values it had when loaded in `original`; an
// inserted row has no original; a deleted row carries the values it had when loaded.
struct PacketRow {
    RowState state = RowState::Unchanged;
    Record values;
    Record original;
};

// What a remote method returns and a data set loads whole: field definitions and rows. The same type is the
// change log that a data set hands to the server (its rows carry their state). Implicitly shared.
class DataPacket {
public:
    DataPacket();
    explicit DataPacket(FieldDefs fields);
    DataPacket(const DataPacket &);
    DataPacket(DataPacket &&) noexcept;
    DataPacket &operator=(const DataPacket &);
    DataPacket &operator=(DataPacket &&) noexcept;
    ~DataPacket();

    const FieldDefs &fields() const;
    // Case-insensitive, as field names are matched everywhere; -1 when there is none.
    int fieldIndex(QStringView name) const;

    int rowCount() const;
    const PacketRow &row(int index) const;
    Variant value(int row, int field) const;
    Variant value(int row, QStringView field) const;

    void reserve(int rows);
    // Throws std::invalid_argument when the record does not have one value per field.
    void appendRow(Record values, RowState state = RowState::Unchanged, Record original = {});
    // Builds and appends a row from values in field order.
    void appendValues(const std::vector<Variant> &values, RowState state = RowState::Unchanged);

    // True when some row carries a state other than unchanged.
    bool isChangeLog() const;

    friend bool operator==(const DataPacket &a, const DataPacket &b);

private:
    struct Data;
    QSharedDataPointer<Data> d;
};

} // namespace bco
