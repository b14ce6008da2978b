#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include "import/plain_xml_reader.h"
#include "import/zip_archive.h"

namespace bco {

// Reads the XML of the named part of `archive` with `read` as the part inflates, so that a part of any length
// costs a buffer, not its text; false when there is no such part. `read` may stop before the end of the
// document; it starts its results afresh each time it is called, for it may be called twice.
//
// The file reads, and the operator is told, as when the part was inflated whole before its XML was looked
// into: an error of the archive anywhere in the part (a bound passed, a bad checksum) comes first, and badly
// encoded text anywhere in the part before anything `read` found. So the rest of the document is still
// scanned after `read` is done or has thrown; when that scan finds anything wrong, the part is read again
// whole, as every part once was, and that reading decides.
bool readXmlPart(const ZipArchive &archive, const QString &name,
                 const std::function<void(QXmlStreamReader &)> &read);

// Reads the named part with a PlainXmlReader as it inflates, to its end. False when there is no such part,
// and when the part is not plain or `read` throws: the caller then reads it with readXmlPart, which decides
// what the file reads as, so that `read` must start its results afresh. Throws only what readXmlPart would
// throw first: the archive's errors.
bool readPlainPart(const ZipArchive &archive, const QString &name,
                   const std::function<void(PlainXmlReader &)> &read);

// Moves to the next token of a workbook part. Throws WorkbookError::damaged for malformed XML (a truncated
// part included) and for a DTD, which no workbook part has and which only serves entity tricks.
QXmlStreamReader::TokenType nextToken(QXmlStreamReader &reader);

// The number an XML attribute or element writes ("1234.5", "-1E-3"); nothing for anything else.
std::optional<double> numberFromXml(QStringView text);

// A non-negative count ("3"); `fallback` when absent or unreadable, `cap` at most.
quint32 countFromXml(QStringView text, quint32 fallback, quint32 cap);

} // namespace bco
