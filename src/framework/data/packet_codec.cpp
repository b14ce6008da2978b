#include "framework/data/packet_codec.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <future>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <QSet>

namespace bco {

namespace {

constexpr char FieldsKey[] = "fields";
constexpr char RowsKey[] = "rows";
constexpr int FieldDefItems = 4;
constexpr int MaxFields = 0xFFFF; // what a Record can hold
constexpr RowState LastRowState = RowState::Deleted;
// Lists of at least this many rows are encoded, and read, in two halves at once.
constexpr int RowsInTwoHalves = 16384;

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

// The encoding of a row takes about its record's bytes, a date some more: room for a long packet is made
// once, not found by doubling and copying.
qsizetype encodedRowsEstimate(const DataPacket &packet, int first, int end) {
    const FieldDefs &fields = packet.fields();
    const auto dates = std::count_if(fields.begin(), fields.end(),
                                     [](const FieldDef &field) { return field.kind == FieldKind::Date; });
    qsizetype estimate = 0;
    for (int i = first; i < end; ++i) {
        const PacketRow &row = packet.row(i);
        estimate += row.values.byteSize() + row.original.byteSize() + 8 * dates + 8;
    }
    return estimate;
}

// Rows [first, end) of the packet, each as an array of its state, its values and, on a row that carries
// them, its original values.
void writeRows(CborWriter &writer, const DataPacket &packet, int first, int end) {
    const FieldDefs &fields = packet.fields();
    const auto fieldCount = static_cast<quint64>(fields.size());
    writer.reserve(encodedRowsEstimate(packet, first, end));
    for (int i = first; i < end; ++i) {
        const PacketRow &row = packet.row(i);
        const bool withOriginal = row.original.isValid();
        writer.startArray(1 + fieldCount * (withOriginal ? 2 : 1));
        writer.append(static_cast<quint64>(row.state));
        writeRecord(writer, row.values, fields);
        if (withOriginal)
            writeRecord(writer, row.original, fields);
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
    const int rowCount = packet.rowCount();
    writer.startArray(static_cast<quint64>(rowCount));
    // A long list is encoded in two halves at once, as a reader reads it: encoding is much of the time the
    // server takes over an account's whole list.
    if (rowCount >= RowsInTwoHalves && std::thread::hardware_concurrency() > 1) {
        const int split = rowCount / 2;
        auto later = std::async(std::launch::async, [&packet, split, rowCount] {
            CborWriter own;
            writeRows(own, packet, split, rowCount);
            return own.take();
        });
        // One block for the whole list, unless the halves travel as pieces: copying the later half in after
        // it costs less than growing the first half's block to take it.
        if (!writer.keepsPieces())
            writer.reserve(encodedRowsEstimate(packet, 0, rowCount));
        writeRows(writer, packet, 0, split);
        writer.appendPiece(later.get());
    } else {
        writeRows(writer, packet, 0, rowCount);
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

// "YYYY-MM-DD" as the encoder writes it, read without QDate's general calendar: a null date for anything
// else, which the general reader then refuses with its message. The day number is the Julian day of the
// proleptic Gregorian calendar, as QDate counts it (Fliegel and Van Flandern's formula).
QDate isoDate(const unsigned char *text) {
    if (text[4] != '-' || text[7] != '-')
        return {};
    int parts[3] = {0, 0, 0};
    const int ends[3] = {4, 7, 10};
    for (int part = 0, i = 0; part < 3; ++part, ++i) {
        for (; i < ends[part]; ++i) {
            const unsigned digit = text[i] - unsigned('0');
            if (digit > 9)
                return {};
            parts[part] = parts[part] * 10 + static_cast<int>(digit);
        }
    }
    const int year = parts[0], month = parts[1], day = parts[2];
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] + (month == 2 && leap))
        return {};
    const int a = (14 - month) / 12;
    const int y = year + 4800 - a;
    const int m = month + 12 * a - 3;
    return QDate::fromJulianDay(day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045);
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

namespace {

QByteArrayView withinLimit(QByteArrayView bytes, const DecodeLimits &limits) {
    if (bytes.size() > limits.maxBytes)
        throw DecodeError(QStringLiteral("%1 bytes exceed the limit of %2 bytes")
                              .arg(bytes.size())
                              .arg(limits.maxBytes)
                              .toStdString());
    return bytes;
}

quint64 bigEndian(const unsigned char *at, int bytes) {
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | at[i];
    return value;
}

// IEEE half precision: sign, five bits of exponent, ten of fraction.
double halfToDouble(quint64 bits) {
    const int exponent = static_cast<int>((bits >> 10) & 0x1F);
    const double fraction = static_cast<double>(bits & 0x3FF);
    double value;
    if (exponent == 0)
        value = std::ldexp(fraction, -24);
    else if (exponent == 31)
        value = fraction == 0 ? std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::quiet_NaN();
    else
        value = std::ldexp(fraction + 1024, exponent - 25);
    return (bits & 0x8000) ? -value : value;
}

// The argument of the head at `at` and the head's size, for heads of a definite length or value; nullopt for
// any other (an open length, a break, a reserved value) or a head cut short.
std::optional<std::pair<quint64, int>> definiteHead(const unsigned char *at, const unsigned char *end) {
    if (at == end)
        return std::nullopt;
    const unsigned info = *at & 0x1F;
    if (info < 24)
        return std::pair<quint64, int>{info, 1};
    if (info >= 28)
        return std::nullopt;
    const int bytes = 1 << (info - 24);
    if (end - at < 1 + bytes)
        return std::nullopt;
    return std::pair<quint64, int>{bigEndian(at + 1, bytes), 1 + bytes};
}

// Past one value as the packet's encoder writes it (a number, a simple value, a string, a tag over one of
// these); nullptr for anything else, or for bytes that end inside it.
const unsigned char *skipPlainValue(const unsigned char *at, const unsigned char *end, bool tagged = false) {
    const auto head = definiteHead(at, end);
    if (!head)
        return nullptr;
    const auto [argument, size] = *head;
    switch (*at >> 5) {
    case 0:
    case 1:
    case 7:
        return at + size;
    case 2:
    case 3:
        return argument <= quint64(end - at - size) ? at + size + argument : nullptr;
    case 6:
        return tagged ? nullptr : skipPlainValue(at + size, end, true);
    default:
        return nullptr;
    }
}

// How many rows a reader of the later half reads between looks at whether it was abandoned.
constexpr qint64 RowsBetweenLooks = 1024;

// Where the row `rows` rows on from `at` starts, each row an array of a known length of `fieldCount` values
// after its state, or twice as many; nullptr when a row is anything else, or once `abandoned` is set.
const unsigned char *skipPlainRows(const unsigned char *at, const unsigned char *end, qint64 rows,
                                   qint64 fieldCount, const std::atomic<bool> &abandoned) {
    for (qint64 row = 0; row < rows && at != nullptr; ++row) {
        if (row % RowsBetweenLooks == 0 && abandoned.load(std::memory_order_relaxed))
            return nullptr;
        const auto head = definiteHead(at, end);
        if (!head || *at >> 5 != 4)
            return nullptr;
        const auto items = static_cast<qint64>(head->first);
        if (items != 1 + fieldCount && items != 1 + 2 * fieldCount)
            return nullptr;
        at += head->second;
        for (qint64 item = 0; item < items && at != nullptr; ++item)
            at = skipPlainValue(at, end);
    }
    return at;
}

} // namespace

// The bytes are read where they lie: a large answer is neither copied nor gathered item by item, and text
// that comes in one piece goes from the bytes straight into its record.
VariantReader::VariantReader(QByteArrayView bytes, const DecodeLimits &limits)
    : begin_(reinterpret_cast<const unsigned char *>(withinLimit(bytes, limits).data()))
    , position_(begin_)
    , end_(begin_ + bytes.size())
    , limits_(limits) {
}

void VariantReader::fail(const QString &message) const {
    throw DecodeError(QStringLiteral("%1 (at byte %2)").arg(message).arg(offset()).toStdString());
}

void VariantReader::failTruncated() const {
    fail(QStringLiteral("truncated: the bytes end before the value is complete"));
}

void VariantReader::failMalformed(const char *why) const {
    fail(QStringLiteral("malformed CBOR: %1").arg(QLatin1StringView(why)));
}

void VariantReader::readHead() {
    if (position_ == end_)
        failTruncated();
    const unsigned char initial = *position_;
    const unsigned major = initial >> 5;
    const unsigned info = initial & 0x1F;
    Head read;
    read.size = 1;
    if (info < 24) {
        read.argument = info;
    } else if (info < 28) {
        const int bytes = 1 << (info - 24);
        if (remaining() < 1 + bytes)
            failTruncated();
        read.argument = bigEndian(position_ + 1, bytes);
        read.size += bytes;
    } else if (info == 31 && major >= 2 && major <= 5) {
        read.open = true;
    } else if (info == 31 && major == 7) {
        failMalformed("a break where an item belongs");
    } else {
        failMalformed("a reserved or invalid additional information");
    }
    switch (major) {
    case 0:
        read.item = Item::Unsigned;
        break;
    case 1:
        read.item = Item::Negative;
        break;
    case 2:
        read.item = Item::Bytes;
        break;
    case 3:
        read.item = Item::Text;
        break;
    case 4:
        read.item = Item::Array;
        break;
    case 5:
        read.item = Item::Map;
        break;
    case 6:
        read.item = Item::Tag;
        break;
    default:
        switch (info) {
        case 20:
            read.item = Item::False;
            break;
        case 21:
            read.item = Item::True;
            break;
        case 22:
            read.item = Item::Null;
            break;
        case 23:
            read.item = Item::Undefined;
            break;
        case 24:
            if (read.argument < 32)
                failMalformed("a simple value in two bytes below 32");
            read.item = Item::Simple;
            break;
        case 25:
            read.item = Item::Half;
            break;
        case 26:
            read.item = Item::Single;
            break;
        case 27:
            read.item = Item::Double;
            break;
        default:
            read.item = Item::Simple;
            break;
        }
    }
    head_ = read;
    headRead_ = true;
}

const VariantReader::Head &VariantReader::head(const char *what) {
    if (headRead_)
        return head_;
    if (!containers_.empty()) {
        const Container &container = containers_.back();
        if (container.open ? position_ != end_ && *position_ == 0xFF : container.left == 0)
            fail(QStringLiteral("%1 is missing").arg(QLatin1StringView(what)));
    }
    readHead();
    return head_;
}

void VariantReader::countItem() {
    if (!containers_.empty() && !containers_.back().open)
        --containers_.back().left;
}

void VariantReader::skipHead() {
    position_ += head_.size;
    headRead_ = false;
    if (head_.item != Item::Tag)
        countItem();
}

void VariantReader::checkDepth(int depth) const {
    if (depth > limits_.maxDepth)
        fail(QStringLiteral("nesting deeper than %1 levels").arg(limits_.maxDepth));
}

QString VariantReader::foundName() {
    if (!headRead_ && (position_ == end_ || *position_ == 0xFF))
        return QStringLiteral("nothing");
    switch (head("value").item) {
    case Item::Unsigned:
    case Item::Negative:
        return QStringLiteral("an integer");
    case Item::Bytes:
        return QStringLiteral("a byte string");
    case Item::Text:
        return QStringLiteral("text");
    case Item::Array:
        return QStringLiteral("an array");
    case Item::Map:
        return QStringLiteral("a map");
    case Item::Tag:
        return QStringLiteral("tag %1").arg(head_.argument);
    case Item::Null:
        return QStringLiteral("null");
    case Item::False:
    case Item::True:
        return QStringLiteral("a boolean");
    case Item::Undefined:
        return QStringLiteral("undefined");
    case Item::Simple:
        return QStringLiteral("simple value %1").arg(head_.argument);
    case Item::Half:
    case Item::Single:
    case Item::Double:
        return QStringLiteral("a float");
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

void VariantReader::failFound(const QString &expected, const Place &place) {
    fail(QStringLiteral("%1: expected %2, found %3").arg(place.text(), expected, foundName()));
}

qint64 VariantReader::enterContainer(Item item, const char *what) {
    const Head &found = head(what);
    const bool isMap = item == Item::Map;
    if (found.item != item)
        failFound(isMap ? QStringLiteral("a map") : QStringLiteral("an array"), {what});
    Container container{.left = 0, .open = found.open};
    qint64 length = -1;
    if (!found.open) {
        const quint64 declared = found.argument;
        // Every item takes at least one byte: a longer declaration cannot be true, and believing it would
        // reserve memory for bytes that are not there.
        const quint64 minimumBytes = isMap ? 2 : 1;
        if (declared > quint64(remaining() - found.size) / minimumBytes)
            fail(QStringLiteral("truncated: %1 declares %2 items, only %3 bytes remain")
                     .arg(QLatin1StringView(what))
                     .arg(declared)
                     .arg(remaining() - found.size));
        length = static_cast<qint64>(declared);
        container.left = isMap ? 2 * declared : declared;
    }
    position_ += found.size;
    headRead_ = false;
    containers_.push_back(container);
    return length;
}

qint64 VariantReader::enterArray(const char *what) {
    return enterContainer(Item::Array, what);
}

qint64 VariantReader::enterMap(const char *what) {
    return enterContainer(Item::Map, what);
}

bool VariantReader::hasNext() {
    if (containers_.empty())
        return position_ != end_;
    const Container &container = containers_.back();
    if (!container.open)
        return container.left > 0;
    if (position_ == end_)
        failTruncated();
    return *position_ != 0xFF;
}

void VariantReader::leaveContainer(const char *what) {
    if (hasNext())
        fail(QStringLiteral("%1 holds more items than expected").arg(QLatin1StringView(what)));
    if (containers_.back().open)
        ++position_; // the break
    containers_.pop_back();
    countItem();
}

void VariantReader::expectEnd() {
    if (remaining() > 0)
        fail(QStringLiteral("%1 trailing bytes after the value").arg(remaining()));
}

QByteArrayView VariantReader::readUtf8(const char *what) {
    const Head &found = head(what);
    if (found.item != Item::Text)
        failFound(QStringLiteral("text"), {what});
    const auto checkLength = [&](quint64 length, int headSize) {
        if (length > quint64(remaining() - headSize))
            fail(QStringLiteral("truncated: %1 declares %2 bytes, only %3 remain")
                     .arg(QLatin1StringView(what))
                     .arg(length)
                     .arg(remaining() - headSize));
    };
    QByteArrayView text;
    if (!found.open) {
        checkLength(found.argument, found.size);
        text = QByteArrayView(reinterpret_cast<const char *>(position_) + found.size,
                              static_cast<qsizetype>(found.argument));
        position_ += found.size + text.size();
    } else {
        // Text in chunks, each a text string of known length, up to a break.
        position_ += found.size;
        scratch_.clear();
        for (;;) {
            if (position_ == end_)
                failTruncated();
            if (*position_ == 0xFF) {
                ++position_;
                break;
            }
            readHead();
            if (head_.item != Item::Text || head_.open)
                failMalformed("a chunk of text that is not text of known length");
            checkLength(head_.argument, head_.size);
            scratch_.append(reinterpret_cast<const char *>(position_) + head_.size,
                            static_cast<size_t>(head_.argument));
            position_ += head_.size + static_cast<qsizetype>(head_.argument);
        }
        text = QByteArrayView(scratch_.data(), static_cast<qsizetype>(scratch_.size()));
    }
    headRead_ = false;
    countItem();
    if (!isValidUtf8(text))
        fail(QStringLiteral("%1 is not valid UTF-8").arg(QLatin1StringView(what)));
    if (!limits_.textMayHoldNul && text.contains('\0'))
        fail(QStringLiteral("%1 holds the character NUL").arg(QLatin1StringView(what)));
    return text;
}

QString VariantReader::readText(const char *what) {
    return QString::fromUtf8(readUtf8(what));
}

qint64 VariantReader::readInteger(const Place &place) {
    constexpr auto largest = quint64(std::numeric_limits<qint64>::max());
    const Head &found = head(place.what);
    if (found.item == Item::Unsigned) {
        if (found.argument > largest)
            fail(QStringLiteral("%1: %2 is beyond the 64-bit integer range")
                     .arg(place.text())
                     .arg(found.argument));
        skipHead();
        return static_cast<qint64>(found.argument);
    }
    if (found.item == Item::Negative) {
        // -1 - argument: down to -2^63 fits.
        if (found.argument > largest)
            fail(QStringLiteral("%1: a negative number beyond the 64-bit integer range").arg(place.text()));
        skipHead();
        return -1 - static_cast<qint64>(found.argument);
    }
    failFound(QStringLiteral("an integer"), place);
}

double VariantReader::readReal(const Place &place) {
    const Head &found = head(place.what);
    double value = 0;
    switch (found.item) {
    case Item::Double:
        value = std::bit_cast<double>(found.argument);
        break;
    case Item::Single:
        value = std::bit_cast<float>(static_cast<quint32>(found.argument));
        break;
    case Item::Half:
        value = halfToDouble(found.argument);
        break;
    default:
        failFound(QStringLiteral("a float"), place);
    }
    skipHead();
    return value;
}

QDate VariantReader::readDate(const Place &place) {
    const Head &found = head(place.what);
    if (found.item != Item::Tag || found.argument != DateTag)
        failFound(QStringLiteral("a date (tag %1)").arg(DateTag), place);
    skipHead();
    const QByteArrayView text = readUtf8("date");
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
    const Head &found = head("value");
    switch (found.item) {
    case Item::Unsigned:
    case Item::Negative:
        return readInteger({"integer"});
    case Item::Half:
    case Item::Single:
    case Item::Double:
        return readReal({"float"});
    case Item::Text:
        return readText("text");
    case Item::Array: {
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
    case Item::Tag: {
        if (found.argument == DateTag)
            return readDate({"date"});
        if (found.argument == PacketTag)
            return readPacket(depth);
        fail(QStringLiteral("unknown tag %1").arg(found.argument));
    }
    case Item::Null:
        skipHead();
        return {};
    case Item::False:
    case Item::True: {
        const bool value = found.item == Item::True;
        skipHead();
        return value;
    }
    default:
        break;
    }
    failFound(QStringLiteral("a value"), {"value"});
}

DataPacket VariantReader::readPacket(int depth) {
    checkDepth(depth + 1);
    const Head &found = head("data packet");
    if (found.item != Item::Tag || found.argument != PacketTag)
        failFound(QStringLiteral("a data packet (tag %1)").arg(PacketTag), {"data packet"});
    skipHead();
    const qint64 pairs = enterMap("data packet");
    if (pairs >= 0 && pairs != 2)
        fail(QStringLiteral("a data packet holds fields and rows, this one %1 entries").arg(pairs));
    const auto expectKey = [this](const char *key) {
        if (!hasNext())
            fail(QStringLiteral("%1 is missing").arg(QLatin1StringView(key)));
        const QByteArrayView read = readUtf8("data packet key");
        if (read != QByteArrayView(key))
            fail(QStringLiteral("data packet: expected the key \"%1\", found \"%2\"")
                     .arg(QLatin1StringView(key), QString::fromUtf8(read).left(40)));
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
    // Fields are found by name, letter case aside: of two with one name, one would be read and the other's
    // value lost, whichever the reader of the packet took.
    QSet<QString> names;
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
        field.name = readText("field name");
        const QByteArrayView kind = readUtf8("field kind");
        bool known = false;
        for (FieldKind candidate :
             {FieldKind::Text, FieldKind::Integer, FieldKind::Float, FieldKind::Date, FieldKind::Boolean}) {
            if (kind == QByteArrayView(fieldKindName(candidate))) {
                field.kind = candidate;
                known = true;
            }
        }
        if (!known)
            fail(QStringLiteral("field %1: unknown kind \"%2\"")
                     .arg(field.name, QString::fromUtf8(kind).left(40)));
        if (const QString name = field.name.toUpper(); names.contains(name))
            fail(QStringLiteral("field %1: a packet names each field once").arg(field.name.left(40)));
        else
            names.insert(name);
        const qint64 size = readInteger({"field size", -1, &field.name});
        if (size < 0 || size > std::numeric_limits<int>::max())
            fail(QStringLiteral("field %1: size %2 out of range").arg(field.name).arg(size));
        field.size = static_cast<int>(size);
        const Head &flag = head("field required flag");
        if (flag.item != Item::True && flag.item != Item::False)
            failFound(QStringLiteral("a boolean"), {"required flag", -1, &field.name});
        field.required = flag.item == Item::True;
        skipHead();
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
    // Refused before the first row is read, so that a hostile packet costs its head and not the allowance.
    if (declared > 0 && declared > (limits_.maxPacketValues - packetValues_) / (RowWeight + fieldCount))
        fail(QStringLiteral("more than %1 packet values").arg(limits_.maxPacketValues));
    if (declared > 0)
        packet.reserve(static_cast<int>(declared));
    // A long list is read in two halves at once: decoding it is much of the time an account with many entries
    // takes to open. Only where no limit can trip within the rows, so that both halves count alone.
    // A first half that fails abandons the later one, which would otherwise be read to its end first: a
    // packet broken at its first row costs its head, as it does read by one reader.
    std::atomic<bool> abandoned{false};
    std::future<LaterRows> laterRows;
    const struct Abandon {
        std::atomic<bool> &flag;
        ~Abandon() { flag = true; }
    } abandon{abandoned};
    qint64 split = declared;
    if (declared >= RowsInTwoHalves && std::thread::hardware_concurrency() > 1 &&
        declared <= (limits_.maxPacketValues - packetValues_) / (RowWeight + 2 * fieldCount)) {
        split = declared / 2;
        laterRows = std::async(std::launch::async, [reader = *this, fields, split, &abandoned]() mutable {
            return reader.readLaterRows(fields, split, abandoned);
        });
    }
    RecordBuilder builder(static_cast<int>(fieldCount), RecordBuilder::Storage::Batch);
    if (declared > 0)
        builder.expectRecords(split);
    int row = 0;
    while (hasNext()) {
        if (laterRows.valid() && row == split && takeLaterRows(packet, laterRows.get()))
            break;
        if (row == std::numeric_limits<int>::max())
            fail(QStringLiteral("a data packet holds too many rows"));
        PacketRow read = readRow(builder, fields, row);
        packet.appendRow(std::move(read.values), read.state, std::move(read.original));
        ++row;
    }
    leaveContainer("row list");
}

VariantReader::LaterRows VariantReader::readLaterRows(const FieldDefs &fields, qint64 firstRow,
                                                      const std::atomic<bool> &abandoned) {
    LaterRows later;
    later.start = skipPlainRows(position_, end_, firstRow, fields.size(), abandoned);
    if (later.start == nullptr)
        return later;
    position_ = later.start;
    containers_.back().left -= static_cast<quint64>(firstRow);
    const qsizetype valuesBefore = packetValues_;
    try {
        RecordBuilder builder(static_cast<int>(fields.size()), RecordBuilder::Storage::Batch);
        builder.expectRecords(static_cast<qint64>(containers_.back().left));
        later.rows.reserve(containers_.back().left);
        for (auto row = static_cast<int>(firstRow); hasNext(); ++row) {
            if ((row - firstRow) % RowsBetweenLooks == 0 && abandoned.load(std::memory_order_relaxed))
                return {};
            later.rows.push_back(readRow(builder, fields, row));
        }
    } catch (...) {
        later.failure = std::current_exception();
    }
    later.end = position_;
    later.values = packetValues_ - valuesBefore;
    return later;
}

bool VariantReader::takeLaterRows(DataPacket &packet, LaterRows later) {
    // The halves meet only where stepping over the first half ended where reading it did; elsewhere the rest
    // is read here, one row after another, as it would have been.
    if (later.start != position_)
        return false;
    if (later.failure)
        std::rethrow_exception(later.failure);
    for (PacketRow &row : later.rows)
        packet.appendRow(std::move(row.values), row.state, std::move(row.original));
    position_ = later.end;
    containers_.back().left = 0;
    packetValues_ += later.values;
    return true;
}

PacketRow VariantReader::readRow(RecordBuilder &builder, const FieldDefs &fields, int row) {
    const auto fieldCount = static_cast<qint64>(fields.size());
    const qint64 items = enterArray("row");
    if (items >= 0 && items != 1 + fieldCount && items != 1 + 2 * fieldCount)
        fail(QStringLiteral("row %1 holds %2 items (its state and its values), its packet has %3 fields")
                 .arg(row)
                 .arg(items)
                 .arg(fieldCount));
    const qint64 state = readInteger({"row state", row});
    if (state < 0 || state > qint64(LastRowState))
        fail(QStringLiteral("row %1: unknown row state %2").arg(row).arg(state));
    const bool counted = items >= 0;
    packetValues_ += RowWeight + (items > 1 + fieldCount ? 2 * fieldCount : fieldCount);
    if (packetValues_ > limits_.maxPacketValues)
        fail(QStringLiteral("more than %1 packet values").arg(limits_.maxPacketValues));
    PacketRow read;
    read.state = static_cast<RowState>(state);
    read.values = readRecord(builder, fields, row, counted);
    if (counted ? items == 1 + 2 * fieldCount && fieldCount > 0 : fieldCount > 0 && hasNext())
        read.original = readRecord(builder, fields, row, counted);
    if (hasNext())
        fail(QStringLiteral("row %1 holds more values than its packet has fields").arg(row));
    leaveContainer("row");
    return read;
}

// `counted`: the row declared how many values it holds, so they need not be counted while read.
Record VariantReader::readRecord(RecordBuilder &builder, const FieldDefs &fields, int row, bool counted) {
    for (const FieldDef &field : fields) {
        if (!counted && !hasNext())
            fail(QStringLiteral("row %1 holds fewer values than its packet has fields").arg(row));
        if (!readPlainValue(builder, field.kind))
            readField(builder, field, row);
    }
    return builder.build();
}

// Nearly every value of a long packet is null, short text, a double or a date, in the one form our encoder
// writes: read straight from the bytes, without the head and the place the general reader makes for each
// value. Anything else, or anything wrong, leaves the bytes unread for readField, which reads it or fails
// with its message at the same offset.
bool VariantReader::readPlainValue(RecordBuilder &builder, FieldKind kind) {
    const qsizetype left = remaining();
    if (headRead_ || left == 0)
        return false;
    const unsigned char initial = *position_;
    qsizetype size = 0;
    if (initial == 0xF6) {
        builder.addNull();
        size = 1;
    } else if (kind == FieldKind::Text) {
        // Lengths up to 23 in the head, then in one or two bytes after it.
        qsizetype length = 0, headSize = 1;
        if (initial >= 0x60 && initial < 0x78)
            length = initial - 0x60;
        else if (initial == 0x78 && left >= 2)
            length = position_[1], headSize = 2;
        else if (initial == 0x79 && left >= 3)
            length = qsizetype(position_[1]) << 8 | position_[2], headSize = 3;
        else
            return false;
        if (length > left - headSize)
            return false;
        const QByteArrayView text(reinterpret_cast<const char *>(position_) + headSize, length);
        // Text that fails a check is read again the long way, which names what was wrong.
        if (!isValidUtf8(text) || (!limits_.textMayHoldNul && text.contains('\0')))
            return false;
        builder.addUtf8(text);
        size = headSize + length;
    } else if (kind == FieldKind::Float) {
        if (initial != 0xFB || left < 9)
            return false;
        builder.addReal(std::bit_cast<double>(bigEndian(position_ + 1, 8)));
        size = 9;
    } else if (kind == FieldKind::Date) {
        // The date tag's head (0xd9 0x03 0xec) and the head of ten bytes of text.
        constexpr unsigned char DateHeads[] = {0xD9, 0x03, 0xEC, 0x6A};
        if (left < 14 || std::memcmp(position_, DateHeads, sizeof DateHeads) != 0)
            return false;
        const QDate date = isoDate(position_ + sizeof DateHeads);
        if (!date.isValid())
            return false;
        builder.addDate(date);
        size = 14;
    } else {
        return false;
    }
    position_ += size;
    countItem();
    return true;
}

void VariantReader::readField(RecordBuilder &builder, const FieldDef &field, int row) {
    const Head &found = head("field value");
    if (found.item == Item::Null) {
        skipHead();
        builder.addNull();
        return;
    }
    const Place where{"value", row, &field.name};
    switch (field.kind) {
    case FieldKind::Text:
        if (found.item != Item::Text)
            failFound(QStringLiteral("text"), where);
        builder.addUtf8(readUtf8("text value"));
        break;
    case FieldKind::Integer:
        builder.addInteger(readInteger(where));
        break;
    case FieldKind::Float:
        // A whole amount may come as an integer from a writer that packs numbers tightly.
        if (found.item == Item::Unsigned || found.item == Item::Negative)
            builder.addReal(static_cast<double>(readInteger(where)));
        else
            builder.addReal(readReal(where));
        break;
    case FieldKind::Date:
        builder.addDate(readDate(where));
        break;
    case FieldKind::Boolean:
        if (found.item != Item::True && found.item != Item::False)
            failFound(QStringLiteral("a boolean"), where);
        builder.addBoolean(found.item == Item::True);
        skipHead();
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
