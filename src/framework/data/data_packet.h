#pragma once

#include <cstdint>
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

    // Bytes the record holds on the heap, for memory accounting.
    qsizetype byteSize() const { return bytes_.size(); }

    friend bool operator==(const Record &a, const Record &b) { return a.bytes_ == b.bytes_; }

private:
    friend class RecordBuilder;
    explicit Record(QByteArray bytes)
        : bytes_(std::move(bytes)) {}
    QByteArrayView payload(int field) const;

    QByteArray bytes_;
};

// Builds a record value by value, in field order. A null variant gives a null field; any other value is
// converted to the field's kind (throws std::invalid_argument when it cannot be, e.g. text into a date).
// Text is stored as given: cutting it to the field's width is the data set's rule, not the record's.
class RecordBuilder {
public:
    explicit RecordBuilder(int fieldCount);

    RecordBuilder &addNull();
    RecordBuilder &addUtf8(QByteArrayView text);
    RecordBuilder &addText(QStringView text);
    RecordBuilder &addInteger(qint64 value);
    RecordBuilder &addReal(double value);
    RecordBuilder &addDate(QDate value);
    RecordBuilder &addBoolean(bool value);
    RecordBuilder &add(FieldKind kind, const Variant &value);

    int added() const { return added_; }
    // Throws std::logic_error unless exactly fieldCount values were added. The builder then starts the next
    // record of the same width.
    Record build();

private:
    void beginField();
    void endField();

    int fieldCount_;
    int added_ = 0;
    std::string header_;
    std::string payload_;
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
