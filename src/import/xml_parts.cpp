#include "import/xml_parts.h"

#include <charconv>

#include "import/workbook_error.h"

namespace bco {

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
