#pragma once

#include <optional>

#include <QStringView>
#include <QXmlStreamReader>

namespace bco {

// Moves to the next token of a workbook part. Throws WorkbookError::damaged for malformed XML (a truncated
// part included) and for a DTD, which no workbook part has and which only serves entity tricks.
QXmlStreamReader::TokenType nextToken(QXmlStreamReader &reader);

// The number an XML attribute or element writes ("1234.5", "-1E-3"); nothing for anything else.
std::optional<double> numberFromXml(QStringView text);

// A non-negative count ("3"); `fallback` when absent or unreadable, `cap` at most.
quint32 countFromXml(QStringView text, quint32 fallback, quint32 cap);

} // namespace bco
