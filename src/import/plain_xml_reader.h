#pragma once

#include <vector>

#include <QIODevice>
#include <QLatin1StringView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>
#include <QXmlStreamReader>

namespace bco {

// The attributes of the start element a PlainXmlReader stands on, valid until it moves on.
class PlainAttributes {
public:
    // The value of the attribute of that qualified name; null when there is none.
    QStringView value(QLatin1StringView qualifiedName) const;
    // Each attribute, in the order written; namespace declarations are none.
    qsizetype size() const { return static_cast<qsizetype>(attributes_.size()); }
    QStringView qualifiedName(qsizetype index) const;
    QStringView value(qsizetype index) const;

private:
    friend class PlainXmlReader;
    struct Attribute {
        qsizetype name, nameLength, value, valueLength; // places in the reader's text
    };
    const QChar *text_ = nullptr;
    std::vector<Attribute> attributes_;
};

// A fast reader of the plain XML that spreadsheet programs write for a large part (a sheet, its strings):
// UTF-8 elements and attributes with ASCII names, namespace prefixes declared on the root element, text with
// the five named entities and character references. Whatever lies outside that (comments, processing
// instructions, CDATA, a DTD, other encodings, carriage returns, entities in attribute values, declarations
// below the root) and whatever is not well formed throws NotPlain, and the caller reads the part with Qt's
// reader instead, so that every result and every message stay Qt's. Within it, the tokens it gives are those
// Qt's reader gives, with the subset of that reader's interface the part readers use: local names, attributes
// by qualified name, element text. It never reports an error: the caller counts a document as read only
// once readNext() has given EndDocument.
class PlainXmlReader {
public:
    struct NotPlain {};

    explicit PlainXmlReader(QIODevice *device);

    QXmlStreamReader::TokenType readNext();
    bool isStartElement() const { return type_ == QXmlStreamReader::StartElement; }
    bool isEndElement() const { return type_ == QXmlStreamReader::EndElement; }
    bool atEnd() const { return type_ == QXmlStreamReader::EndDocument; }
    // The local name of the element started or ended.
    QStringView name() const;
    const PlainAttributes &attributes() const { return attributes_; }
    QStringView text() const { return text_; }
    // As QXmlStreamReader's: from a start element to its end, the text within; a child element throws
    // NotPlain unless `behaviour` includes the text of child elements.
    QString readElementText(
        QXmlStreamReader::ReadElementTextBehaviour behaviour = QXmlStreamReader::ErrorOnUnexpectedElement);
    bool hasError() const { return false; }
    QString errorString() const { return QString(); }

private:
    enum class Place { BeforeRoot, InRoot, AfterRoot };

    [[noreturn]] static void notPlain() { throw NotPlain(); }
    // Whether the buffer holds `count` characters from `pos_`, reading and decoding more as needed; false at
    // the part's end. Moves what the buffer holds: places in it are counted from `pos_`.
    bool available(qsizetype count) { return buffer_.size() - pos_ >= count || readMore(count); }
    bool readMore(qsizetype count);
    // The character at `offset` from `pos_`; a document that ends there is not plain.
    char16_t at(qsizetype offset) {
        if (!available(offset + 1))
            notPlain();
        return buffer_.constData()[pos_ + offset].unicode();
    }
    bool startsWith(qsizetype offset, QLatin1StringView text);
    // Appends the bytes' characters to the buffer; badly encoded bytes are not plain.
    void decode(const QByteArray &bytes);
    void readFirstChunk();
    void readDeclaration();
    // The length of the qualified name at `offset`, `colon` where its prefix ends (-1 without one).
    qsizetype scanName(qsizetype offset, qsizetype &colon);
    // After a name: the blanks, '=', the blanks and the opening quote, which `quote` takes; answers where
    // the value starts.
    qsizetype quotedValue(qsizetype afterName, char16_t &quote);
    qsizetype skipSpace(qsizetype offset) {
        while (available(offset + 1) && isSpace(buffer_.constData()[pos_ + offset].unicode()))
            ++offset;
        return offset;
    }
    static bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }
    void readStartTag();
    void readEndTag();
    void readText();
    // Decodes the entity at `offset` (after its '&') into `decodedText_`; its length.
    qsizetype readEntity(qsizetype offset);
    int nameId(qsizetype offset, qsizetype length, qsizetype colon);
    bool declared(QStringView prefix) const;

    QIODevice *device_;
    QStringDecoder decoder_;
    QString buffer_;
    qsizetype pos_ = 0; // the first character not yet read
    bool deviceEnded_ = false;
    bool started_ = false;
    QByteArray tail_; // the last bytes read, to tell a character cut at the part's end
    Place place_ = Place::BeforeRoot;
    QXmlStreamReader::TokenType type_ = QXmlStreamReader::NoToken;
    bool pendingEnd_ = false;              // an empty element's end follows its start
    std::vector<QString> names_;           // qualified names seen, by id
    std::vector<qsizetype> localStarts_;   // where each name's local part starts
    std::vector<int> open_;                // ids of the elements open
    int current_ = -1;                     // id of the element started or ended
    std::vector<QString> prefixes_, uris_; // declared on the root
    struct Found {
        qsizetype name, nameLength, colon, value, valueLength; // counted from `pos_`
    };
    std::vector<Found> found_; // the attributes of the tag being read
    PlainAttributes attributes_;
    QStringView text_;
    QString decodedText_;
};

inline QXmlStreamReader::TokenType nextToken(PlainXmlReader &reader) {
    return reader.readNext();
}

} // namespace bco
