#include "framework/data/data_packet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <QHash>

#include "framework/data/large_pages.h"
#include "framework/data/variant.h"

namespace bco {

const char *fieldKindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::Text:
        return "text";
    case FieldKind::Integer:
        return "integer";
    case FieldKind::Float:
        return "float";
    case FieldKind::Date:
        return "date";
    case FieldKind::Boolean:
        return "boolean";
    }
    return "unknown";
}

const char *rowStateName(RowState state) {
    switch (state) {
    case RowState::Unchanged:
        return "unchanged";
    case RowState::Inserted:
        return "inserted";
    case RowState::Modified:
        return "modified";
    case RowState::Deleted:
        return "deleted";
    }
    return "unknown";
}

// Record layout: quint16 field count, the null bitmap (one bit a field), quint32 offsets (field count + 1,
// relative to the payload), then the payload. Offsets are read with memcpy: the block has no alignment.
namespace {

int bitmapBytes(int fields) {
    return (fields + 7) / 8;
}
int headerBytes(int fields) {
    return 2 + bitmapBytes(fields) + 4 * (fields + 1);
}

template <typename T> T readRaw(const char *at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

int Record::fieldCount() const {
    return bytes_.isEmpty() ? 0 : readRaw<quint16>(bytes_.constData());
}

bool Record::isNull(int field) const {
    if (field < 0 || field >= fieldCount())
        throw std::out_of_range("record field index out of range");
    const auto bits = static_cast<unsigned char>(bytes_[2 + field / 8]);
    return (bits >> (field % 8)) & 1u;
}

QByteArrayView Record::payload(int field) const {
    const int fields = fieldCount();
    if (field < 0 || field >= fields)
        throw std::out_of_range("record field index out of range");
    const char *offsets = bytes_.constData() + 2 + bitmapBytes(fields);
    const auto begin = readRaw<quint32>(offsets + 4 * field);
    const auto end = readRaw<quint32>(offsets + 4 * (field + 1));
    return QByteArrayView(bytes_.constData() + headerBytes(fields) + begin, end - begin);
}

QByteArrayView Record::utf8(int field) const {
    return payload(field);
}

QString Record::text(int field) const {
    const auto bytes = payload(field);
    return QString::fromUtf8(bytes.data(), bytes.size());
}

qint64 Record::integer(int field) const {
    const auto bytes = payload(field);
    return bytes.size() == sizeof(qint64) ? readRaw<qint64>(bytes.data()) : 0;
}

double Record::real(int field) const {
    const auto bytes = payload(field);
    return bytes.size() == sizeof(double) ? readRaw<double>(bytes.data()) : 0.0;
}

QDate Record::date(int field) const {
    const auto bytes = payload(field);
    return bytes.size() == sizeof(qint32) ? QDate::fromJulianDay(readRaw<qint32>(bytes.data())) : QDate();
}

bool Record::boolean(int field) const {
    const auto bytes = payload(field);
    return bytes.size() == 1 && bytes[0] != 0;
}

Variant Record::value(int field, FieldKind kind) const {
    if (isNull(field))
        return {};
    switch (kind) {
    case FieldKind::Text:
        return text(field);
    case FieldKind::Integer:
        return integer(field);
    case FieldKind::Float:
        return real(field);
    case FieldKind::Date:
        return date(field);
    case FieldKind::Boolean:
        return boolean(field);
    }
    return {};
}

Record Record::with(int field, FieldKind kind, const Variant &value) const {
    const int fields = fieldCount();
    if (field < 0 || field >= fields)
        throw std::out_of_range("record field index out of range");
    RecordBuilder builder(fields);
    for (int i = 0; i < fields; ++i) {
        if (i == field)
            builder.add(kind, value);
        else if (isNull(i))
            builder.addNull();
        else
            builder.addUtf8(payload(i)); // raw payload: the kind's bytes are copied as they are
    }
    return builder.build();
}

Record Record::with(const std::vector<Replacement> &replacements) const {
    const int fields = fieldCount();
    std::vector<const Replacement *> replaced(static_cast<size_t>(fields), nullptr);
    for (const Replacement &replacement : replacements) {
        if (replacement.field < 0 || replacement.field >= fields)
            throw std::out_of_range("record field index out of range");
        replaced[static_cast<size_t>(replacement.field)] = &replacement;
    }
    RecordBuilder builder(fields);
    for (int i = 0; i < fields; ++i) {
        if (const Replacement *replacement = replaced[static_cast<size_t>(i)])
            builder.add(replacement->kind, *replacement->value);
        else if (isNull(i))
            builder.addNull();
        else
            builder.addUtf8(payload(i));
    }
    return builder.build();
}

RecordBuilder::RecordBuilder(int fieldCount, Storage storage)
    : fieldCount_(fieldCount)
    , storage_(storage) {
    if (fieldCount < 0 || fieldCount > 0xFFFF)
        throw std::invalid_argument("a record holds at most 65535 fields");
    // The header is laid out whole once, and build() keeps the buffers for the next record: decoding a
    // packet builds thousands of records in a row.
    header_.assign(static_cast<size_t>(headerBytes(fieldCount)), '\0');
    const auto count = static_cast<quint16>(fieldCount);
    std::memcpy(header_.data(), &count, sizeof count);
}

void RecordBuilder::throwTooMany() {
    throw std::logic_error("more values than the record has fields");
}

RecordBuilder &RecordBuilder::addText(QStringView text) {
    return addUtf8(text.toUtf8());
}

RecordBuilder &RecordBuilder::addInteger(qint64 value) {
    return addUtf8(QByteArrayView(reinterpret_cast<const char *>(&value), sizeof value));
}

RecordBuilder &RecordBuilder::addReal(double value) {
    return addUtf8(QByteArrayView(reinterpret_cast<const char *>(&value), sizeof value));
}

RecordBuilder &RecordBuilder::addDate(QDate value) {
    if (!value.isValid())
        return addNull();
    const auto day = static_cast<qint32>(value.toJulianDay());
    return addUtf8(QByteArrayView(reinterpret_cast<const char *>(&day), sizeof day));
}

RecordBuilder &RecordBuilder::addBoolean(bool value) {
    const char byte = value ? 1 : 0;
    return addUtf8(QByteArrayView(&byte, 1));
}

RecordBuilder &RecordBuilder::add(FieldKind kind, const Variant &value) {
    if (value.isNull())
        return addNull();
    switch (kind) {
    case FieldKind::Text:
        return addText(value.toText());
    case FieldKind::Integer:
        return addInteger(value.toInt());
    case FieldKind::Float:
        return addReal(value.toFloat());
    case FieldKind::Date:
        return addDate(value.toDate());
    case FieldKind::Boolean:
        return addBoolean(value.toBool());
    }
    return addNull();
}

Record RecordBuilder::build() {
    if (added_ != fieldCount_)
        throw std::logic_error("record built with fewer values than fields");
    const auto size = static_cast<qsizetype>(header_.size() + payload_.size());
    QByteArray bytes;
    char *at;
    if (storage_ == Storage::Batch) {
        at = batchRoom(size);
        // A view of the block that holds a reference to it: the block lives while any of its records does.
        QByteArray::DataPointer &block = block_.data_ptr();
        block.d_ptr()->ref();
        bytes = QByteArray(QByteArray::DataPointer(block.d_ptr(), at, size));
        blockUsed_ += size;
        ++built_;
        builtBytes_ += size;
    } else {
        bytes = QByteArray(size, Qt::Uninitialized);
        at = bytes.data();
    }
    std::memcpy(at, header_.data(), header_.size());
    std::memcpy(at + header_.size(), payload_.data(), payload_.size());
    std::memset(header_.data() + 2, 0, static_cast<size_t>(bitmapBytes(fieldCount_)));
    payload_.clear();
    added_ = 0;
    return Record(std::move(bytes));
}

void RecordBuilder::expectRecords(qint64 records) {
    expected_ = built_ + std::max(records, qint64(0));
}

char *RecordBuilder::batchRoom(qsizetype bytes) {
    if (block_.isEmpty() || blockEnd_ - blockUsed_ < bytes) {
        // Blocks start small and double, so that a batch of one record costs no more than a few; a batch
        // that knows it is long goes to the largest block as soon as its first records tell their size.
        qsizetype next = std::clamp(2 * block_.size(), qsizetype(4096), BatchBlockBytes);
        if (expected_ > built_ && built_ > 0) {
            const qint64 average = builtBytes_ / built_ + 1;
            const qint64 left = std::min(expected_ - built_, qint64(BatchBlockBytes) / average + 1);
            next = std::clamp(qsizetype(left * average), next, BatchBlockBytes);
        }
        next = std::max(next, bytes);
        // The largest blocks get a large page's worth of slack, so that their records can start on a
        // boundary: the slack holds nothing but the block's header, and costs address space only.
        const qsizetype slack = next >= BatchBlockBytes ? LargePageBytes : 0;
        block_ = QByteArray(next + slack, Qt::Uninitialized);
        char *data = block_.data_ptr().data();
        const auto address = reinterpret_cast<std::uintptr_t>(data);
        const auto boundary =
            (address + LargePageBytes - 1) & ~static_cast<std::uintptr_t>(LargePageBytes - 1);
        blockUsed_ = slack == 0 ? 0 : static_cast<qsizetype>(boundary - address);
        blockEnd_ = blockUsed_ + next;
        adviseLargePages(data + blockUsed_, next);
    }
    // Through the data pointer: the block is shared with its records, and data() would copy it.
    return block_.data_ptr().data() + blockUsed_;
}

struct DataPacket::Data : QSharedData {
    FieldDefs fields;
    std::vector<PacketRow> rows;
    QHash<QString, int> indexByName; // upper-case names
};

DataPacket::DataPacket()
    : d(new Data) {
}

DataPacket::DataPacket(FieldDefs fields)
    : d(new Data) {
    d->fields = std::move(fields);
    for (int i = 0; i < d->fields.size(); ++i)
        d->indexByName.insert(d->fields[i].name.toUpper(), i);
}

DataPacket::DataPacket(const DataPacket &) = default;
DataPacket::DataPacket(DataPacket &&) noexcept = default;
DataPacket &DataPacket::operator=(const DataPacket &) = default;
DataPacket &DataPacket::operator=(DataPacket &&) noexcept = default;
DataPacket::~DataPacket() = default;

const FieldDefs &DataPacket::fields() const {
    return d->fields;
}

int DataPacket::fieldIndex(QStringView name) const {
    return d->indexByName.value(name.toString().toUpper(), -1);
}

int DataPacket::rowCount() const {
    return static_cast<int>(d->rows.size());
}

const PacketRow &DataPacket::row(int index) const {
    if (index < 0 || index >= rowCount())
        throw std::out_of_range("packet row index out of range");
    return d->rows[static_cast<size_t>(index)];
}

Variant DataPacket::value(int rowIndex, int field) const {
    if (field < 0 || field >= d->fields.size())
        throw std::out_of_range("packet field index out of range");
    return row(rowIndex).values.value(field, d->fields[field].kind);
}

Variant DataPacket::value(int rowIndex, QStringView field) const {
    const int index = fieldIndex(field);
    if (index < 0)
        throw std::invalid_argument("packet has no field " + field.toString().toStdString());
    return value(rowIndex, index);
}

void DataPacket::reserve(int rows) {
    d->rows.reserve(static_cast<size_t>(rows));
    adviseLargePages(reinterpret_cast<char *>(d->rows.data()),
                     static_cast<qsizetype>(d->rows.capacity() * sizeof(PacketRow)));
}

void DataPacket::appendRow(Record values, RowState state, Record original) {
    const int fields = static_cast<int>(d->fields.size());
    if (values.fieldCount() != fields || (original.isValid() && original.fieldCount() != fields))
        throw std::invalid_argument("packet row does not have one value per field");
    d->rows.push_back(PacketRow{state, std::move(values), std::move(original)});
}

void DataPacket::appendValues(const std::vector<Variant> &values, RowState state) {
    const int fields = static_cast<int>(d->fields.size());
    if (static_cast<int>(values.size()) != fields)
        throw std::invalid_argument("packet row does not have one value per field");
    RecordBuilder builder(fields);
    for (int i = 0; i < fields; ++i)
        builder.add(d->fields[i].kind, values[static_cast<size_t>(i)]);
    appendRow(builder.build(), state);
}

bool DataPacket::isChangeLog() const {
    for (const auto &row : d->rows)
        if (row.state != RowState::Unchanged)
            return true;
    return false;
}

bool operator==(const DataPacket &a, const DataPacket &b) {
    if (a.d == b.d)
        return true;
    if (a.d->fields != b.d->fields || a.d->rows.size() != b.d->rows.size())
        return false;
    for (size_t i = 0; i < a.d->rows.size(); ++i) {
        const auto &x = a.d->rows[i];
        const auto &y = b.d->rows[i];
        if (x.state != y.state || !(x.values == y.values) || !(x.original == y.original))
            return false;
    }
    return true;
}

} // namespace bco
