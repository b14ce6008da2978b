#include "import/xml_parts.h"

#include <charconv>
#include <exception>
#include <memory>

#include "import/workbook_error.h"

namespace bco {

namespace {

// Whether the reader gets to the end of the document without an error that could hide another: a document
// that ends too soon has had every byte decoded, so the whole text would tell nothing more.
bool scansToItsEnd(QXmlStreamReader &reader) {
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError() || reader.error() == QXmlStreamReader::PrematureEndOfDocumentError;
}

} // namespace

bool readXmlPart(const ZipArchive &archive, const QString &name,
                 const std::function<void(QXmlStreamReader &)> &read) {
    const std::unique_ptr<ZipPartStream> part = archive.open(name);
    if (!part)
        return false;
    std::exception_ptr failure;
    QXmlStreamReader reader(part.get());
    try {
        read(reader);
    } catch (const WorkbookError &) {
        failure = std::current_exception();
    }
    const bool scanned = scansToItsEnd(reader);
    part->finish();
    if (scanned) {
        if (failure)
            std::rethrow_exception(failure);
        return true;
    }
    QXmlStreamReader whole(*archive.read(name));
    read(whole);
    return true;
}

bool readPlainPart(const ZipArchive &archive, const QString &name,
                   const std::function<void(PlainXmlReader &)> &read) {
    const std::unique_ptr<ZipPartStream> part = archive.open(name);
    if (!part)
        return false;
    try {
        PlainXmlReader reader(part.get());
        read(reader);
        while (!reader.atEnd())
            reader.readNext();
    } catch (const PlainXmlReader::NotPlain &) {
        return false;
    } catch (const WorkbookError &) {
        return false;
    }
    part->finish();
    return true;
}

QXmlStreamReader::TokenType nextToken(QXmlStreamReader &reader) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    if (token == QXmlStreamReader::Invalid)
        throw WorkbookError::damaged(QStringLiteral("XML inválido: %1").arg(reader.errorString()));
    if (token == QXmlStreamReader::DTD)
        throw WorkbookError::damaged(QStringLiteral("XML com declaração de tipo de documento"));
    return token;
}

namespace {

// The text as ASCII in `buffer`; false when it is too long or holds anything else.
bool toAscii(QStringView text, char (&buffer)[64], qsizetype &length) {
    text = text.trimmed();
    if (text.startsWith(u'+'))
        text = text.mid(1);
    if (text.isEmpty() || text.size() >= static_cast<qsizetype>(sizeof buffer))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 127)
            return false;
        buffer[i] = static_cast<char>(text[i].unicode());
    }
    length = text.size();
    return true;
}

} // namespace

std::optional<double> numberFromXml(QStringView text) {
    char buffer[64];
    qsizetype length = 0;
    if (!toAscii(text, buffer, length))
        return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(buffer, buffer + length, value);
    if (result.ec != std::errc() || result.ptr != buffer + length)
        return std::nullopt;
    return value;
}

quint32 countFromXml(QStringView text, quint32 fallback, quint32 cap) {
    char buffer[64];
    qsizetype length = 0;
    if (!toAscii(text, buffer, length))
        return fallback;
    quint64 value = 0;
    const auto result = std::from_chars(buffer, buffer + length, value);
    if (result.ptr != buffer + length ||
        (result.ec != std::errc() && result.ec != std::errc::result_out_of_range))
        return fallback;
    return result.ec == std::errc::result_out_of_range || value > cap ? cap : static_cast<quint32>(value);
}

} // namespace bco
