#include "import/plain_xml_reader.h"

#include <algorithm>

namespace bco {

namespace {

constexpr qint64 ChunkBytes = 64 * 1024;
// Parts use a dozen names; a document that uses far more is left to Qt's reader rather than searched long.
constexpr size_t MaxNames = 256;
// Far within the length Qt's reader allows a name (4,096 characters).
constexpr qsizetype MaxNameLength = 256;
const QLatin1StringView XmlNamespace("http://www.w3.org/XML/1998/namespace");
const QLatin1StringView XmlnsNamespace("http://www.w3.org/2000/xmlns/");

bool isNameStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isNameChar(char16_t c) {
    return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

// Characters XML allows as they are (carriage returns, which it changes, left out).
bool isPlainChar(char16_t c) {
    return c >= 0x20 ? c != 0xFFFE && c != 0xFFFF : c == u'\t' || c == u'\n';
}

// Whether the bytes end in the middle of a UTF-8 sequence.
bool endsInsideSequence(QByteArrayView bytes) {
    for (qsizetype back = 1; back <= std::min<qsizetype>(4, bytes.size()); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back;
    }
    return false;
}

} // namespace

QStringView PlainAttributes::qualifiedName(qsizetype index) const {
    const Attribute &attribute = attributes_[static_cast<size_t>(index)];
    return QStringView(text_ + attribute.name, attribute.nameLength);
}

QStringView PlainAttributes::value(qsizetype index) const {
    const Attribute &attribute = attributes_[static_cast<size_t>(index)];
    return QStringView(text_ + attribute.value, attribute.valueLength);
}

QStringView PlainAttributes::value(QLatin1StringView qualifiedName) const {
    for (const Attribute &attribute : attributes_)
        if (QStringView(text_ + attribute.name, attribute.nameLength) == qualifiedName)
            return QStringView(text_ + attribute.value, attribute.valueLength);
    return QStringView();
}

PlainXmlReader::PlainXmlReader(QIODevice *device)
    : device_(device)
    , decoder_(QStringDecoder::Utf8) {
}

bool PlainXmlReader::readMore(qsizetype count) {
    while (buffer_.size() - pos_ < count) {
        if (deviceEnded_)
            return false;
        if (pos_ > 0) {
            buffer_.remove(0, pos_);
            pos_ = 0;
        }
        // As much again as the buffer holds, so that a long token costs its length, not its square.
        QByteArray bytes(std::max<qint64>(ChunkBytes, buffer_.size()), Qt::Uninitialized);
        const qint64 read = device_->read(bytes.data(), bytes.size());
        if (read <= 0) {
            deviceEnded_ = true;
            if (endsInsideSequence(tail_))
                notPlain();
            return false;
        }
        bytes.truncate(read);
        decode(bytes);
    }
    return true;
}

void PlainXmlReader::decode(const QByteArray &bytes) {
    tail_ = (tail_ + bytes).right(4);
    const qsizetype held = buffer_.size();
    buffer_.resize(held + decoder_.requiredSpace(bytes.size()));
    const QChar *end = decoder_.appendToBuffer(buffer_.data() + held, bytes);
    buffer_.truncate(end - buffer_.constData());
    if (decoder_.hasError())
        notPlain();
}

bool PlainXmlReader::startsWith(qsizetype offset, QLatin1StringView text) {
    return available(offset + text.size()) && QStringView(buffer_).sliced(pos_ + offset, text.size()) == text;
}

void PlainXmlReader::readFirstChunk() {
    // What Qt's reader would take for another encoding than UTF-8, or for no XML, is left to it.
    // Enough for a byte order mark and two characters.
    QByteArray first;
    while (first.size() < 5) {
        char bytes[ChunkBytes];
        const qint64 read = device_->read(bytes, sizeof bytes);
        if (read <= 0)
            notPlain();
        first.append(bytes, static_cast<qsizetype>(read));
    }
    const QByteArrayView start = QByteArrayView(first).sliced(first.startsWith("\xEF\xBB\xBF") ? 3 : 0);
    if (start.size() < 2 || start[0] != '<' || start[1] == '\0')
        notPlain();
    decode(first);
    if (first.startsWith("\xEF\xBB\xBF") && buffer_.startsWith(QChar(0xFEFF)))
        pos_ = 1; // the byte order mark, when the decoder keeps it
    if (startsWith(0, QLatin1StringView("<?xml")) && available(6) && isSpace(buffer_[pos_ + 5].unicode()))
        readDeclaration();
}

// <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, encoding and standalone optional, in that order.
qsizetype PlainXmlReader::quotedValue(qsizetype afterName, char16_t &quote) {
    qsizetype i = skipSpace(afterName);
    if (at(i) != u'=')
        notPlain();
    i = skipSpace(i + 1);
    quote = at(i);
    if (quote != u'"' && quote != u'\'')
        notPlain();
    return i + 1;
}

void PlainXmlReader::readDeclaration() {
    qsizetype offset = 5;
    const auto pseudoAttribute = [&](QLatin1StringView name, QStringView &value) {
        const qsizetype start = skipSpace(offset);
        if (start == offset || !startsWith(start, name))
            return false;
        char16_t quote = 0;
        const qsizetype valueStart = quotedValue(start + name.size(), quote);
        qsizetype i = valueStart;
        for (i = valueStart; at(i) != quote; ++i) {
        }
        value = QStringView(buffer_).sliced(pos_ + valueStart, i - valueStart);
        offset = i + 1;
        return true;
    };
    QStringView value;
    if (!pseudoAttribute(QLatin1StringView("version"), value) || value != u"1.0")
        notPlain();
    if (pseudoAttribute(QLatin1StringView("encoding"), value) &&
        value.compare(u"UTF-8", Qt::CaseInsensitive) != 0)
        notPlain();
    if (pseudoAttribute(QLatin1StringView("standalone"), value) && value != u"yes" && value != u"no")
        notPlain();
    offset = skipSpace(offset);
    if (!startsWith(offset, QLatin1StringView("?>")))
        notPlain();
    pos_ += offset + 2;
}

qsizetype PlainXmlReader::scanName(qsizetype offset, qsizetype &colon) {
    colon = -1;
    if (!isNameStart(at(offset)))
        notPlain();
    qsizetype i = offset + 1;
    for (;; ++i) {
        const char16_t c = at(i);
        if (c == u':') {
            if (colon >= 0 || !isNameStart(at(i + 1)))
                notPlain();
            colon = i - offset;
        } else if (!isNameChar(c)) {
            break;
        }
        if (i - offset >= MaxNameLength)
            notPlain();
    }
    return i - offset;
}

int PlainXmlReader::nameId(qsizetype offset, qsizetype length, qsizetype colon) {
    const QStringView name = QStringView(buffer_).sliced(pos_ + offset, length);
    for (size_t id = 0; id < names_.size(); ++id)
        if (names_[id].size() == length && std::equal(name.begin(), name.end(), names_[id].constBegin()))
            return static_cast<int>(id);
    if (names_.size() >= MaxNames)
        notPlain();
    const QStringView prefix = name.first(std::max<qsizetype>(colon, 0));
    // Qt's reader refuses an element of an undeclared prefix; only prefixes declared on the root are known.
    if (colon >= 0 && place_ == Place::InRoot && !declared(prefix))
        notPlain();
    names_.push_back(name.toString());
    localStarts_.push_back(colon + 1);
    return static_cast<int>(names_.size() - 1);
}

bool PlainXmlReader::declared(QStringView prefix) const {
    return std::find(prefixes_.begin(), prefixes_.end(), prefix) != prefixes_.end();
}

QStringView PlainXmlReader::name() const {
    return QStringView(names_[static_cast<size_t>(current_)])
        .sliced(localStarts_[static_cast<size_t>(current_)]);
}

void PlainXmlReader::readStartTag() {
    qsizetype colon;
    const qsizetype nameLength = scanName(1, colon);
    const int id = nameId(1, nameLength, colon);
    std::vector<Found> &found = found_;
    found.clear();
    qsizetype i = 1 + nameLength;
    for (;;) {
        const qsizetype afterSpace = skipSpace(i);
        const char16_t c = at(afterSpace);
        if (c == u'>' || c == u'/')
            break;
        if (afterSpace == i)
            notPlain(); // attributes run together
        Found attribute;
        attribute.name = afterSpace;
        attribute.nameLength = scanName(afterSpace, attribute.colon);
        char16_t quote = 0;
        attribute.value = quotedValue(afterSpace + attribute.nameLength, quote);
        for (i = attribute.value;; ++i) {
            const char16_t v = at(i);
            if (v == quote)
                break;
            // Entities, and the blanks that Qt's reader turns into spaces, are left to it.
            if (v == u'<' || v == u'&' || v == u'\t' || v == u'\n' || !isPlainChar(v))
                notPlain();
        }
        attribute.valueLength = i - attribute.value;
        ++i;
        found.push_back(attribute);
    }
    const char16_t end = at(skipSpace(i));
    i = skipSpace(i);
    const bool empty = end == u'/';
    if (empty && at(i + 1) != u'>')
        notPlain();
    const qsizetype length = i + (empty ? 2 : 1);

    const QStringView text(buffer_);
    const auto nameOf = [&](const Found &attribute) {
        return text.sliced(pos_ + attribute.name, attribute.nameLength);
    };
    for (size_t a = 0; a < found.size(); ++a)
        for (size_t b = a + 1; b < found.size(); ++b)
            if (nameOf(found[a]) == nameOf(found[b]))
                notPlain();
    const bool root = place_ == Place::BeforeRoot;
    if (root) {
        for (const Found &attribute : found) {
            const QStringView name = nameOf(attribute);
            const QStringView value = text.sliced(pos_ + attribute.value, attribute.valueLength);
            const bool prefixed = attribute.colon >= 0 && name.first(attribute.colon) == u"xmlns";
            // The namespaces that the rules of namespaces reserve are left to Qt's reader to refuse.
            if ((prefixed || name == u"xmlns") && (value == XmlNamespace || value == XmlnsNamespace))
                notPlain();
            if (prefixed) {
                const QStringView prefix = name.sliced(attribute.colon + 1);
                // Two prefixes of one namespace make attributes alike that look apart.
                if (value.isEmpty() || prefix == u"xml" || prefix == u"xmlns" ||
                    std::find(uris_.begin(), uris_.end(), value) != uris_.end())
                    notPlain();
                prefixes_.push_back(prefix.toString());
                uris_.push_back(value.toString());
            }
        }
        place_ = Place::InRoot;
        const QString &rootName = names_[static_cast<size_t>(id)];
        if (localStarts_[static_cast<size_t>(id)] > 0 &&
            !declared(QStringView(rootName).first(localStarts_[static_cast<size_t>(id)] - 1)))
            notPlain();
    }
    for (const Found &attribute : found) {
        if (attribute.colon < 0) {
            if (!root && nameOf(attribute) == u"xmlns")
                notPlain();
            continue;
        }
        const QStringView prefix = nameOf(attribute).first(attribute.colon);
        if (prefix == u"xmlns" ? !root : prefix != u"xml" && !declared(prefix))
            notPlain();
    }

    attributes_.text_ = buffer_.constData();
    attributes_.attributes_.clear();
    for (const Found &attribute : found)
        // Declarations are no attributes to Qt's reader either.
        if (!(attribute.colon < 0 ? nameOf(attribute) == u"xmlns"
                                  : nameOf(attribute).first(attribute.colon) == u"xmlns"))
            attributes_.attributes_.push_back(
                {pos_ + attribute.name, attribute.nameLength, pos_ + attribute.value, attribute.valueLength});
    pos_ += length;
    current_ = id;
    type_ = QXmlStreamReader::StartElement;
    if (empty)
        pendingEnd_ = true;
    else
        open_.push_back(id);
}

void PlainXmlReader::readEndTag() {
    qsizetype colon;
    const qsizetype nameLength = scanName(2, colon);
    const qsizetype end = skipSpace(2 + nameLength);
    if (at(end) != u'>' || open_.empty() ||
        names_[static_cast<size_t>(open_.back())] != QStringView(buffer_).sliced(pos_ + 2, nameLength))
        notPlain();
    current_ = open_.back();
    open_.pop_back();
    pos_ += end + 1;
    type_ = QXmlStreamReader::EndElement;
    if (open_.empty())
        place_ = Place::AfterRoot;
}

qsizetype PlainXmlReader::readEntity(qsizetype offset) {
    static const struct {
        QLatin1StringView name;
        char16_t character;
    } named[] = {{QLatin1StringView("amp;"), u'&'},
                 {QLatin1StringView("lt;"), u'<'},
                 {QLatin1StringView("gt;"), u'>'},
                 {QLatin1StringView("quot;"), u'"'},
                 {QLatin1StringView("apos;"), u'\''}};
    for (const auto &entity : named) {
        if (startsWith(offset, entity.name)) {
            decodedText_ += QChar(entity.character);
            return entity.name.size();
        }
    }
    if (at(offset) != u'#')
        notPlain();
    const bool hex = at(offset + 1) == u'x';
    qsizetype i = offset + (hex ? 2 : 1);
    char32_t code = 0;
    const qsizetype digitsStart = i;
    for (;; ++i) {
        const char16_t c = at(i);
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        if (i - digitsStart >= 7)
            notPlain();
        code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    if (i == digitsStart || at(i) != u';')
        notPlain();
    // Only the characters XML allows; the rest is for Qt's reader to refuse.
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        (code < 0x10000 && !isPlainChar(static_cast<char16_t>(code))))
        notPlain();
    decodedText_ += QChar::fromUcs4(code);
    return i + 1 - offset;
}

void PlainXmlReader::readText() {
    decodedText_.resize(0);
    bool decoded = false;
    qsizetype runStart = 0;
    qsizetype i = 0;
    for (bool ended = false; !ended;) {
        if (!available(i + 1))
            notPlain(); // the document ends inside its root element
        // The characters already held, without asking for more at each.
        const char16_t *text = reinterpret_cast<const char16_t *>(buffer_.constData()) + pos_;
        const qsizetype held = buffer_.size() - pos_;
        for (; i < held; ++i) {
            const char16_t c = text[i];
            if (c >= 0x20 && c != u'<' && c != u'&' && c != u'>' && c < 0xFFFE)
                continue;
            if (c == u'<') {
                ended = true;
                break;
            }
            if (c == u'&') {
                decodedText_ += QStringView(buffer_).sliced(pos_ + runStart, i - runStart);
                i += 1 + readEntity(i + 1); // may read more, and move the buffer
                runStart = i;
                decoded = true;
                break;
            }
            if (!isPlainChar(c) || (c == u'>' && i >= 2 && text[i - 1] == u']' && text[i - 2] == u']'))
                notPlain();
        }
    }
    if (decoded) {
        decodedText_ += QStringView(buffer_).sliced(pos_ + runStart, i - runStart);
        text_ = decodedText_;
    } else {
        text_ = QStringView(buffer_).sliced(pos_, i);
    }
    pos_ += i;
    type_ = QXmlStreamReader::Characters;
}

QXmlStreamReader::TokenType PlainXmlReader::readNext() {
    if (!started_) {
        started_ = true;
        readFirstChunk();
    }
    if (pendingEnd_) {
        pendingEnd_ = false;
        type_ = QXmlStreamReader::EndElement;
        if (open_.empty())
            place_ = Place::AfterRoot;
        return type_;
    }
    for (;;) {
        if (place_ != Place::InRoot) {
            // Only blanks around the root element.
            pos_ += skipSpace(0);
            if (!available(1)) {
                if (place_ != Place::AfterRoot)
                    notPlain();
                return type_ = QXmlStreamReader::EndDocument;
            }
            if (place_ == Place::AfterRoot || buffer_[pos_] != u'<')
                notPlain();
        }
        if (at(0) != u'<') {
            readText();
            return type_;
        }
        const char16_t next = at(1);
        if (next == u'/') {
            readEndTag();
        } else if (next == u'!' || next == u'?') {
            notPlain(); // comments, CDATA, a DTD, processing instructions
        } else {
            readStartTag();
        }
        return type_;
    }
}

QString PlainXmlReader::readElementText(QXmlStreamReader::ReadElementTextBehaviour behaviour) {
    QString text;
    for (int depth = 0;;) {
        switch (readNext()) {
        case QXmlStreamReader::Characters:
            text += text_;
            break;
        case QXmlStreamReader::StartElement:
            if (behaviour != QXmlStreamReader::IncludeChildElements)
                notPlain();
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            if (depth-- == 0)
                return text;
            break;
        default:
            notPlain();
        }
    }
}

} // namespace bco
