#include "framework/data/packet_codec.h"

#include <cstring>
#include <limits>
#include <string>

namespace bco {

namespace {

constexpr char FieldsKey[] = "fields";
constexpr char RowsKey[] = "rows";
constexpr int FieldDefItems = 4;
constexpr int MaxFields = 0xFFFF; // what a Record can hold
constexpr RowState LastRowState = RowState::Deleted;

// Writes "YYYY-MM-DD"; the tag's text has four digits of year, so dates outside 0001..9999 cannot travel.
void writeDate(CborWriter &writer, QDate date) {
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        throw std::invalid_argument("a date outside the years 1 to 9999 cannot be encoded");
    char text[10];
    text[0] = static_cast<char>('0' + year / 1000);
    text[1] = static_cast<char>('0' + year / 100 % 10);
    text[2] = static_cast<char>('0' + year / 10 % 10);
    text[3] = static_cast<char>('0' + year % 10);
    text[4] = '-';
    text[5] = static_cast<char>('0' + month / 10);
    text[6] = static_cast<char>('0' + month % 10);
    text[7] = '-';
    text[8] = static_cast<char>('0' + day / 10);
    text[9] = static_cast<char>('0' + day % 10);
    writer.appendTag(DateTag);
    writer.appendTextString(QByteArrayView(text, sizeof text));
}

void writeUtf8(CborWriter &writer, QByteArrayView utf8) {
    writer.appendTextString(utf8);
}

void writeRecord(CborWriter &writer, const Record &record, const FieldDefs &fields) {
    RecordFields values(record);
    for (const FieldDef &field : fields) {
        if (values.isNull()) {
            writer.appendNull();
        } else {
            switch (field.kind) {
            case FieldKind::Text:
                writeUtf8(writer, values.utf8());
                break;
            case FieldKind::Integer:
                writer.append(values.integer());
                break;
            case FieldKind::Float:
                writer.append(values.real());
                break;
            case FieldKind::Date:
                writeDate(writer, values.date());
                break;
            case FieldKind::Boolean:
                writer.append(values.boolean());
                break;
            }
        }
        values.next();
    }
}

void writePacket(CborWriter &writer, const DataPacket &packet) {
    const FieldDefs &fields = packet.fields();
    writer.appendTag(PacketTag);
    writer.startMap(2);

    writeUtf8(writer, FieldsKey);
    writer.startArray(static_cast<quint64>(fields.size()));
    for (const FieldDef &field : fields) {
        writer.startArray(FieldDefItems);
        writer.append(field.name);
        writeUtf8(writer, fieldKindName(field.kind));
        // A width of zero or less means the default width alike, so it travels as zero.
        writer.append(static_cast<quint64>(std::max(field.size, 0)));
        writer.append(field.required);
    }

    writeUtf8(writer, RowsKey);
    const auto fieldCount = static_cast<quint64>(fields.size());
    writer.startArray(static_cast<quint64>(packet.rowCount()));
    for (int i = 0; i < packet.rowCount(); ++i) {
        const PacketRow &row = packet.row(i);
        const bool withOriginal = row.original.isValid();
        writer.startArray(1 + fieldCount * (withOriginal ? 2 : 1));
        writer.append(static_cast<quint64>(row.state));
        writeRecord(writer, row.values, fields);
        if (withOriginal)
            writeRecord(writer, row.original, fields);
    }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF. Text is mostly ASCII, which is
// skipped eight bytes at a time.
bool isValidUtf8(QByteArrayView text) {
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, sizeof word);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        char32_t point = 0, smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, point = lead & 0x1Fu, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, point = lead & 0x0Fu, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, point = lead & 0x07u, smallest = 0x10000;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (p[i] & 0x3Fu);
        }
        if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

int digitsValue(QByteArrayView text, qsizetype from, qsizetype count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

void writeVariant(CborWriter &writer, const Variant &value) {
    switch (value.type()) {
    case VariantType::Null:
        writer.appendNull();
        break;
    case VariantType::Bool:
        writer.append(value.toBool());
        break;
    case VariantType::Int:
        writer.append(value.toInt());
        break;
    case VariantType::Float:
        writer.append(value.toFloat());
        break;
    case VariantType::Text:
        writer.append(value.toText());
        break;
    case VariantType::Date:
        writeDate(writer, value.toDate());
        break;
    case VariantType::Array:
        writer.startArray(static_cast<quint64>(value.array().size()));
        for (const Variant &item : value.array())
            writeVariant(writer, item);
        break;
    case VariantType::Packet:
        writePacket(writer, value.packet());
        break;
    }
}

// The buffer grows by doubling while written; giving back the slack costs little (a large block shrinks in
// place) and keeps a large answer from holding half as much again while it travels.
QByteArray encodeVariant(const Variant &value) {
    CborWriter writer;
    writeVariant(writer, value);
    QByteArray bytes = writer.take();
    bytes.squeeze();
    return bytes;
}

QByteArray encodePacket(const DataPacket &packet) {
    CborWriter writer;
    writePacket(writer, packet);
    QByteArray bytes = writer.take();
    bytes.squeeze();
    return bytes;
}

VariantReader::VariantReader(QByteArrayView bytes, const DecodeLimits &limits)
    : bytes_(bytes)
    , limits_(limits) {
    if (bytes.size() > limits.maxBytes)
        throw DecodeError(QStringLiteral("%1 bytes exceed the limit of %2 bytes")
                              .arg(bytes.size())
                              .arg(limits.maxBytes)
                              .toStdString());
    // The reader reads in place: no copy of a large answer.
    reader_.addData(QByteArray::fromRawData(bytes.data(), bytes.size()));
}

void VariantReader::fail(const QString &message) const {
    throw DecodeError(
        QStringLiteral("%1 (at byte %2)").arg(message).arg(reader_.currentOffset()).toStdString());
}

void VariantReader::checkError() {
    const QCborError error = reader_.lastError();
    if (error == QCborError::NoError)
        return;
    if (error == QCborError::EndOfFile)
        fail(QStringLiteral("truncated: the bytes end before the value is complete"));
    fail(QStringLiteral("malformed CBOR: %1").arg(error.toString()));
}

// Qt's reader reports a failure by a false answer or an invalid type and keeps the error; the codec asks for
// the error only then, which keeps the per-value cost down.
void VariantReader::advance() {
    if (!reader_.next()) {
        checkError();
        fail(QStringLiteral("the value could not be read"));
    }
}

void VariantReader::checkValid(const char *what) {
    if (reader_.type() != QCborStreamReader::Invalid)
        return;
    checkError();
    fail(QStringLiteral("%1 is missing").arg(QLatin1StringView(what)));
}

void VariantReader::requireItem(const char *what) {
    if (!hasNext())
        fail(QStringLiteral("%1 is missing").arg(QLatin1StringView(what)));
}

qsizetype VariantReader::remaining() const {
    return bytes_.size() - reader_.currentOffset();
}

void VariantReader::checkDepth(int depth) const {
    if (depth > limits_.maxDepth)
        fail(QStringLiteral("nesting deeper than %1 levels").arg(limits_.maxDepth));
}

QString VariantReader::foundName() const {
    switch (reader_.type()) {
    case QCborStreamReader::UnsignedInteger:
    case QCborStreamReader::NegativeInteger:
        return QStringLiteral("an integer");
    case QCborStreamReader::ByteString:
        return QStringLiteral("a byte string");
    case QCborStreamReader::TextString:
        return QStringLiteral("text");
    case QCborStreamReader::Array:
        return QStringLiteral("an array");
    case QCborStreamReader::Map:
        return QStringLiteral("a map");
    case QCborStreamReader::Tag:
        return QStringLiteral("tag %1").arg(quint64(reader_.toTag()));
    case QCborStreamReader::SimpleType:
        if (reader_.isNull())
            return QStringLiteral("null");
        if (reader_.isBool())
            return QStringLiteral("a boolean");
        if (reader_.isUndefined())
            return QStringLiteral("undefined");
        return QStringLiteral("simple value %1").arg(int(reader_.toSimpleType()));
    case QCborStreamReader::Float16:
    case QCborStreamReader::Float:
    case QCborStreamReader::Double:
        return QStringLiteral("a float");
    case QCborStreamReader::Invalid:
        break;
    }
    return QStringLiteral("nothing");
}

QString VariantReader::Place::text() const {
    QString where = QLatin1StringView(what);
    if (row >= 0)
        where = QStringLiteral("row %1, %2").arg(row).arg(where);
    if (field)
        where += QStringLiteral(" of field %1").arg(*field);
    return where;
}

void VariantReader::failFound(const QString &expected, const Place &place) const {
    fail(QStringLiteral("%1: expected %2, found %3").arg(place.text(), expected, foundName()));
}

qint64 VariantReader::enterContainer(QCborStreamReader::Type type, const char *what) {
    checkValid(what);
    const bool isMap = type == QCborStreamReader::Map;
    if (reader_.type() != type)
        failFound(isMap ? QStringLiteral("a map") : QStringLiteral("an array"), {what});
    qint64 length = -1;
    if (reader_.isLengthKnown()) {
        const quint64 declared = reader_.length();
        // Every item takes at least one byte: a longer declaration cannot be true, and believing it would
        // reserve memory for bytes that are not there.
        const quint64 minimumBytes = isMap ? 2 : 1;
        if (declared > quint64(remaining()) / minimumBytes)
            fail(QStringLiteral("truncated: %1 declares %2 items, only %3 bytes remain")
                     .arg(QLatin1StringView(what))
                     .arg(declared)
                     .arg(remaining()));
        length = static_cast<qint64>(declared);
    }
    if (!reader_.enterContainer()) {
        checkError();
        fail(QStringLiteral("%1 could not be entered").arg(QLatin1StringView(what)));
    }
    return length;
}

qint64 VariantReader::enterArray(const char *what) {
    return enterContainer(QCborStreamReader::Array, what);
}

qint64 VariantReader::enterMap(const char *what) {
    return enterContainer(QCborStreamReader::Map, what);
}

bool VariantReader::hasNext() {
    if (reader_.hasNext())
        return true;
    checkError();
    return false;
}

void VariantReader::leaveContainer(const char *what) {
    if (hasNext())
        fail(QStringLiteral("%1 holds more items than expected").arg(QLatin1StringView(what)));
    if (!reader_.leaveContainer()) {
        checkError();
        fail(QStringLiteral("%1 could not be left").arg(QLatin1StringView(what)));
    }
}

void VariantReader::expectEnd() {
    checkError();
    if (remaining() > 0)
        fail(QStringLiteral("%1 trailing bytes after the value").arg(remaining()));
}

void VariantReader::readUtf8(std::string &into, const char *what) {
    // A chunk this small is read whatever it declares: the buffer it takes is bounded anyway, and asking
    // for the offset on every short text would cost more than the rest of the reading.
    constexpr qsizetype smallChunk = 256;
    checkValid(what);
    if (!reader_.isString())
        failFound(QStringLiteral("text"), {what});
    into.clear();
    for (;;) {
        const qsizetype chunk = reader_.currentStringChunkSize();
        if (chunk < 0) {
            checkError();
            fail(QStringLiteral("%1 is longer than this system can hold").arg(QLatin1StringView(what)));
        }
        if (chunk > smallChunk && chunk > remaining())
            fail(QStringLiteral("truncated: %1 declares %2 bytes, only %3 remain")
                     .arg(QLatin1StringView(what))
                     .arg(chunk)
                     .arg(remaining()));
        const size_t before = into.size();
        if (chunk > 0)
            into.resize(before + static_cast<size_t>(chunk));
        const auto result = reader_.readStringChunk(into.data() + before, chunk);
        if (result.status == QCborStreamReader::Error) {
            checkError();
            fail(QStringLiteral("%1 could not be read").arg(QLatin1StringView(what)));
        }
        if (result.status == QCborStreamReader::EndOfString) {
            into.resize(before);
            break;
        }
        if (result.data != chunk)
            into.resize(before + static_cast<size_t>(result.data));
    }
    if (!isValidUtf8(into))
        fail(QStringLiteral("%1 is not valid UTF-8").arg(QLatin1StringView(what)));
}

QString VariantReader::readText(const char *what) {
    readUtf8(scratch_, what);
    return QString::fromUtf8(scratch_.data(), static_cast<qsizetype>(scratch_.size()));
}

qint64 VariantReader::readInteger(const Place &place) {
    constexpr auto largest = quint64(std::numeric_limits<qint64>::max());
    if (reader_.isUnsignedInteger()) {
        const quint64 value = reader_.toUnsignedInteger();
        if (value > largest)
            fail(QStringLiteral("%1: %2 is beyond the 64-bit integer range").arg(place.text()).arg(value));
        advance();
        return static_cast<qint64>(value);
    }
    if (reader_.isNegativeInteger()) {
        // Qt answers the magnitude, with 0 standing for 2^64; down to -2^63 fits.
        const auto magnitude = quint64(reader_.toNegativeInteger());
        if (magnitude == 0 || magnitude > largest + 1)
            fail(QStringLiteral("%1: a negative number beyond the 64-bit integer range").arg(place.text()));
        advance();
        return magnitude == largest + 1 ? std::numeric_limits<qint64>::min()
                                        : -static_cast<qint64>(magnitude);
    }
    checkValid(place.what);
    failFound(QStringLiteral("an integer"), place);
}

double VariantReader::readReal(const Place &place) {
    double value = 0;
    switch (reader_.type()) {
    case QCborStreamReader::Double:
        value = reader_.toDouble();
        break;
    case QCborStreamReader::Float:
        value = reader_.toFloat();
        break;
    case QCborStreamReader::Float16:
        value = reader_.toFloat16();
        break;
    default:
        checkValid(place.what);
        failFound(QStringLiteral("a float"), place);
    }
    advance();
    return value;
}

QDate VariantReader::readDate(const Place &place) {
    if (!reader_.isTag() || reader_.toTag() != QCborTag(DateTag)) {
        checkValid(place.what);
        failFound(QStringLiteral("a date (tag %1)").arg(DateTag), place);
    }
    advance();
    readUtf8(scratch_, "date");
    const QByteArrayView text(scratch_.data(), static_cast<qsizetype>(scratch_.size()));
    QDate date;
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        const int year = digitsValue(text, 0, 4), month = digitsValue(text, 5, 2),
                  day = digitsValue(text, 8, 2);
        if (year > 0 && month > 0 && day > 0)
            date = QDate(year, month, day);
    }
    if (!date.isValid())
        fail(QStringLiteral("%1: \"%2\" is not a date YYYY-MM-DD")
                 .arg(place.text(), QString::fromUtf8(text).left(40)));
    return date;
}

Variant VariantReader::readVariant(int depth) {
    checkValid("value");
    switch (reader_.type()) {
    case QCborStreamReader::UnsignedInteger:
    case QCborStreamReader::NegativeInteger:
        return readInteger({"integer"});
    case QCborStreamReader::Float16:
    case QCborStreamReader::Float:
    case QCborStreamReader::Double:
        return readReal({"float"});
    case QCborStreamReader::TextString:
        return readText("text");
    case QCborStreamReader::Array: {
        checkDepth(depth + 1);
        const qint64 length = enterArray("array");
        VariantList items;
        if (length > 0)
            items.reserve(static_cast<size_t>(length));
        while (hasNext()) {
            if (++arrayItems_ > limits_.maxArrayItems)
                fail(QStringLiteral("more than %1 array items").arg(limits_.maxArrayItems));
            items.push_back(readVariant(depth + 1));
        }
        leaveContainer("array");
        return Variant(std::move(items));
    }
    case QCborStreamReader::Tag: {
        const auto tag = quint64(reader_.toTag());
        if (tag == DateTag)
            return readDate({"date"});
        if (tag == PacketTag)
            return readPacket(depth);
        fail(QStringLiteral("unknown tag %1").arg(tag));
    }
    case QCborStreamReader::SimpleType:
        if (reader_.isNull()) {
            advance();
            return {};
        }
        if (reader_.isBool()) {
            const bool value = reader_.toBool();
            advance();
            return value;
        }
        break;
    default:
        break;
    }
    failFound(QStringLiteral("a value"), {"value"});
}

DataPacket VariantReader::readPacket(int depth) {
    checkDepth(depth + 1);
    checkValid("data packet");
    if (!reader_.isTag() || reader_.toTag() != QCborTag(PacketTag))
        failFound(QStringLiteral("a data packet (tag %1)").arg(PacketTag), {"data packet"});
    advance();
    const qint64 pairs = enterMap("data packet");
    if (pairs >= 0 && pairs != 2)
        fail(QStringLiteral("a data packet holds fields and rows, this one %1 entries").arg(pairs));
    const auto expectKey = [this](const char *key) {
        requireItem(key);
        if (readText("data packet key") != QLatin1StringView(key))
            fail(QStringLiteral("data packet: expected the key \"%1\", found \"%2\"")
                     .arg(QLatin1StringView(key), QString::fromUtf8(scratch_.data()).left(40)));
    };
    expectKey(FieldsKey);
    DataPacket packet(readFields());
    expectKey(RowsKey);
    readRows(packet);
    leaveContainer("data packet");
    return packet;
}

FieldDefs VariantReader::readFields() {
    FieldDefs fields;
    const qint64 count = enterArray("field list");
    if (count > MaxFields)
        fail(QStringLiteral("a data packet holds at most %1 fields, this one %2").arg(MaxFields).arg(count));
    if (count > 0)
        fields.reserve(count);
    while (hasNext()) {
        if (fields.size() == MaxFields)
            fail(QStringLiteral("a data packet holds at most %1 fields").arg(MaxFields));
        const qint64 items = enterArray("field definition");
        if (items >= 0 && items != FieldDefItems)
            fail(QStringLiteral(
                     "field %1: a field definition holds name, kind, size and required, this one %2 "
                     "items")
                     .arg(fields.size())
                     .arg(items));
        FieldDef field;
        requireItem("field name");
        field.name = readText("field name");
        requireItem("field kind");
        const QString kind = readText("field kind");
        bool known = false;
        for (FieldKind candidate :
             {FieldKind::Text, FieldKind::Integer, FieldKind::Float, FieldKind::Date, FieldKind::Boolean}) {
            if (kind == QLatin1StringView(fieldKindName(candidate))) {
                field.kind = candidate;
                known = true;
            }
        }
        if (!known)
            fail(QStringLiteral("field %1: unknown kind \"%2\"").arg(field.name, kind.left(40)));
        requireItem("field size");
        const qint64 size = readInteger({"size", -1, &field.name});
        if (size < 0 || size > std::numeric_limits<int>::max())
            fail(QStringLiteral("field %1: size %2 out of range").arg(field.name).arg(size));
        field.size = static_cast<int>(size);
        requireItem("field required flag");
        if (!reader_.isBool())
            failFound(QStringLiteral("a boolean"), {"required flag", -1, &field.name});
        field.required = reader_.toBool();
        advance();
        leaveContainer("field definition");
        fields.append(std::move(field));
    }
    leaveContainer("field list");
    return fields;
}

void VariantReader::readRows(DataPacket &packet) {
    const FieldDefs &fields = packet.fields();
    const auto fieldCount = static_cast<qint64>(fields.size());
    const qint64 declared = enterArray("row list");
    // A row takes at least its array head, its state and one byte a value.
    if (declared > remaining() / (2 + fieldCount))
        fail(QStringLiteral("truncated: the packet declares %1 rows of %2 fields, only %3 bytes remain")
                 .arg(declared)
                 .arg(fieldCount)
                 .arg(remaining()));
    if (declared > 0)
        packet.reserve(static_cast<int>(declared));
    RecordBuilder builder(static_cast<int>(fieldCount));
    int row = 0;
    while (hasNext()) {
        if (row == std::numeric_limits<int>::max())
            fail(QStringLiteral("a data packet holds too many rows"));
        const qint64 items = enterArray("row");
        if (items >= 0 && items != 1 + fieldCount && items != 1 + 2 * fieldCount)
            fail(QStringLiteral("row %1 holds %2 items, its packet has %3 fields")
                     .arg(row)
                     .arg(items)
                     .arg(fieldCount));
        requireItem("row state");
        const qint64 state = readInteger({"state", row});
        if (state < 0 || state > qint64(LastRowState))
            fail(QStringLiteral("row %1: unknown row state %2").arg(row).arg(state));
        const bool counted = items >= 0;
        Record values = readRecord(builder, fields, row, counted);
        Record original;
        if (counted ? items == 1 + 2 * fieldCount && fieldCount > 0 : fieldCount > 0 && hasNext())
            original = readRecord(builder, fields, row, counted);
        if (hasNext())
            fail(QStringLiteral("row %1 holds more values than its packet has fields").arg(row));
        leaveContainer("row");
        packet.appendRow(std::move(values), static_cast<RowState>(state), std::move(original));
        ++row;
    }
    leaveContainer("row list");
}

// `counted`: the row declared how many values it holds, so they need not be counted while read.
Record VariantReader::readRecord(RecordBuilder &builder, const FieldDefs &fields, int row, bool counted) {
    for (const FieldDef &field : fields) {
        if (!counted && !hasNext())
            fail(QStringLiteral("row %1 holds fewer values than its packet has fields").arg(row));
        readField(builder, field, row);
    }
    return builder.build();
}

void VariantReader::readField(RecordBuilder &builder, const FieldDef &field, int row) {
    checkValid("field value");
    if (reader_.isNull()) {
        advance();
        builder.addNull();
        return;
    }
    const Place where{"value", row, &field.name};
    switch (field.kind) {
    case FieldKind::Text:
        if (!reader_.isString())
            failFound(QStringLiteral("text"), where);
        readUtf8(scratch_, "text value");
        builder.addUtf8(QByteArrayView(scratch_.data(), static_cast<qsizetype>(scratch_.size())));
        break;
    case FieldKind::Integer:
        if (!reader_.isInteger())
            failFound(QStringLiteral("an integer"), where);
        builder.addInteger(readInteger(where));
        break;
    case FieldKind::Float:
        // A whole amount may come as an integer from a writer that packs numbers tightly.
        if (reader_.isInteger()) {
            const qint64 value = readInteger(where);
            builder.addReal(static_cast<double>(value));
        } else {
            builder.addReal(readReal(where));
        }
        break;
    case FieldKind::Date:
        builder.addDate(readDate(where));
        break;
    case FieldKind::Boolean:
        if (!reader_.isBool())
            failFound(QStringLiteral("a boolean"), where);
        builder.addBoolean(reader_.toBool());
        advance();
        break;
    }
}

Variant decodeVariant(QByteArrayView bytes, const DecodeLimits &limits) {
    VariantReader reader(bytes, limits);
    Variant value = reader.readVariant();
    reader.expectEnd();
    return value;
}

DataPacket decodePacket(QByteArrayView bytes, const DecodeLimits &limits) {
    VariantReader reader(bytes, limits);
    DataPacket packet = reader.readPacket();
    reader.expectEnd();
    return packet;
}

} // namespace bco
