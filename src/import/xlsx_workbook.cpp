#include "import/xlsx_workbook.h"

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include <QXmlStreamReader>

#include "import/number_formats.h"
#include "import/plain_xml_reader.h"
#include "import/workbook_error.h"
#include "import/xml_parts.h"

namespace bco {

namespace {

[[noreturn]] void fail(const QString &detail) {
    throw WorkbookError::damaged(detail);
}

void readRequiredPart(const ZipArchive &archive, const QString &name,
                      const std::function<void(QXmlStreamReader &)> &read) {
    if (!readXmlPart(archive, name, read))
        fail(QStringLiteral("parte %1 ausente").arg(name));
}

// A part name relative to the package root, from a target relative to `base`'s folder (or absolute).
QString resolveTarget(const QString &base, const QString &target) {
    QStringList parts;
    if (!target.startsWith(u'/'))
        parts = base.section(u'/', 0, -2, QString::SectionSkipEmpty).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : target.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (part != u".") {
            parts.append(part);
        }
    }
    return parts.join(u'/');
}

struct Relationship {
    QString id;
    QString type; // the last segment of the type's URI: "worksheet", "sharedStrings", "styles", ...
    QString target;
};

std::vector<Relationship> readRelationships(const ZipArchive &archive, const QString &part) {
    const QString folder = part.section(u'/', 0, -2);
    const QString name = (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/") +
                         part.section(u'/', -1) + QStringLiteral(".rels");
    std::vector<Relationship> relationships;
    readXmlPart(archive, name, [&](QXmlStreamReader &reader) {
        relationships.clear();
        while (nextToken(reader) != QXmlStreamReader::EndDocument) {
            if (reader.isStartElement() && reader.name() == u"Relationship") {
                const QXmlStreamAttributes attributes = reader.attributes();
                if (attributes.value(QLatin1StringView("TargetMode")) == u"External")
                    continue;
                relationships.push_back(
                    {attributes.value(QLatin1StringView("Id")).toString(),
                     attributes.value(QLatin1StringView("Type")).toString().section(u'/', -1),
                     resolveTarget(part, attributes.value(QLatin1StringView("Target")).toString())});
            }
        }
    });
    return relationships;
}

const Relationship *findRelationship(const std::vector<Relationship> &relationships, QStringView type) {
    for (const Relationship &relationship : relationships)
        if (relationship.type == type)
            return &relationship;
    return nullptr;
}

// Text in these parts may hide characters XML cannot hold as "_xHHHH_".
QString decodeEscapes(QString text) {
    if (!text.contains(u"_x"))
        return text;
    QString decoded;
    decoded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool ok = false;
            const ushort code = QStringView(text).sliced(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                decoded.append(QChar(code));
                i += 6;
                continue;
            }
        }
        decoded.append(text[i]);
    }
    return decoded;
}

// The text of a string item (<si>, <is>): its <t> elements, run by run, without the phonetic guides.
template <class Reader> QString readStringItem(Reader &reader) {
    QString text;
    int depth = 1;
    int phonetic = 0;
    while (depth > 0) {
        switch (nextToken(reader)) {
        case QXmlStreamReader::StartElement:
            if (reader.name() == u"t" && phonetic == 0) {
                text += reader.readElementText(QXmlStreamReader::IncludeChildElements);
            } else {
                ++depth;
                if (reader.name() == u"rPh")
                    ++phonetic;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            if (reader.name() == u"rPh")
                --phonetic;
            break;
        case QXmlStreamReader::EndDocument:
            fail(QStringLiteral("texto incompleto"));
        default:
            break;
        }
    }
    if (reader.hasError())
        fail(QStringLiteral("XML inválido: %1").arg(reader.errorString()));
    return decodeEscapes(std::move(text));
}

// At most `most` strings: a small part can list millions of empty ones, each costing memory of its own.
template <class Reader> std::vector<QString> readSharedStrings(Reader &reader, qsizetype most) {
    std::vector<QString> strings;
    while (nextToken(reader) != QXmlStreamReader::EndDocument)
        if (reader.isStartElement() && reader.name() == u"si") {
            if (static_cast<qsizetype>(strings.size()) == most)
                throw WorkbookError::tooLarge();
            strings.push_back(readStringItem(reader));
        }
    return strings;
}

// What each cell format (by its index in cellXfs) shows its numbers as.
std::vector<NumberShown> readCellStyles(QXmlStreamReader &reader) {
    std::map<int, NumberShown> customFormats;
    std::vector<NumberShown> shown;
    bool inCellFormats = false;
    while (nextToken(reader) != QXmlStreamReader::EndDocument) {
        if (reader.isStartElement()) {
            const QXmlStreamAttributes attributes = reader.attributes();
            if (reader.name() == u"numFmt") {
                customFormats[attributes.value(QLatin1StringView("numFmtId")).toInt()] =
                    formatCodeShows(attributes.value(QLatin1StringView("formatCode")));
            } else if (reader.name() == u"cellXfs") {
                inCellFormats = true;
            } else if (inCellFormats && reader.name() == u"xf") {
                const int format = attributes.value(QLatin1StringView("numFmtId")).toInt();
                const auto custom = customFormats.find(format);
                shown.push_back(custom != customFormats.end() ? custom->second : builtInFormatShows(format));
            }
        } else if (reader.isEndElement() && reader.name() == u"cellXfs") {
            inCellFormats = false;
        }
    }
    return shown;
}

struct WorkbookPart {
    QString sheetRelationship;
    bool date1904 = false;
};

WorkbookPart readWorkbookPart(QXmlStreamReader &reader, const QString &sheet) {
    WorkbookPart workbook;
    QString found;
    while (nextToken(reader) != QXmlStreamReader::EndDocument) {
        if (!reader.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == u"workbookPr") {
            const QStringView value = attributes.value(QLatin1StringView("date1904"));
            workbook.date1904 = value == u"1" || value == u"true";
        } else if (reader.name() == u"sheet" &&
                   attributes.value(QLatin1StringView("name")).compare(sheet, Qt::CaseInsensitive) == 0) {
            const QString name = attributes.value(QLatin1StringView("name")).toString();
            if (!found.isNull())
                throw WorkbookError::sheetNamedTwice(found, name);
            // r:id, whatever prefix the relationships namespace has here.
            for (const QXmlStreamAttribute &attribute : attributes)
                if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
                    workbook.sheetRelationship = attribute.value().toString();
            found = name;
        }
    }
    if (found.isNull())
        throw WorkbookError::missingSheet(sheet);
    return workbook;
}

// "BC12" -> column 54, row 11 (from 0); false when it is no such reference.
bool parseReference(QStringView reference, quint32 &row, quint32 &column) {
    qsizetype i = 0;
    quint32 letters = 0;
    // Letters in either case, as spreadsheet programs read them.
    const auto letter = [](QChar c) -> int {
        if (c >= u'A' && c <= u'Z')
            return c.unicode() - 'A' + 1;
        if (c >= u'a' && c <= u'z')
            return c.unicode() - 'a' + 1;
        return 0;
    };
    for (; i < reference.size() && i < 4 && letter(reference[i]) > 0; ++i)
        letters = letters * 26 + static_cast<quint32>(letter(reference[i]));
    quint32 number = 0;
    const qsizetype digitsStart = i;
    for (; i < reference.size() && i - digitsStart < 8 && reference[i] >= u'0' && reference[i] <= u'9'; ++i)
        number = number * 10 + (reference[i].unicode() - '0');
    if (letters == 0 || number == 0 || i != reference.size() || i == digitsStart)
        return false;
    column = letters - 1;
    row = number - 1;
    return true;
}

// A cell's type (its t attribute) as far as reading its value goes; a number for any other.
enum class CellType { Number, Shared, Text, Formula, Boolean, Date, Error };

CellType cellType(QStringView type) {
    if (type == u"s")
        return CellType::Shared;
    if (type == u"inlineStr")
        return CellType::Text;
    if (type == u"e")
        return CellType::Error;
    if (type == u"str")
        return CellType::Formula;
    if (type == u"b")
        return CellType::Boolean;
    if (type == u"d")
        return CellType::Date;
    return CellType::Number;
}

class WorksheetPartReader {
public:
    // `partBytes`: the sheet part's size as the archive declares it.
    WorksheetPartReader(const std::vector<QString> &sharedStrings, const std::vector<NumberShown> &cellStyles,
                        SheetCells &cells, qint64 partBytes)
        : sharedStrings_(sharedStrings)
        , styles_(cellStyles)
        , cells_(cells)
        , partBytes_(partBytes) {}

    template <class Reader> void read(Reader &reader) {
        cells_.cells().clear();
        qint64 row = -1;
        qint64 column = -1;
        while (nextToken(reader) != QXmlStreamReader::EndDocument) {
            if (!reader.isStartElement())
                continue;
            if (reader.name() == u"dimension") {
                reserveFor(reader.attributes().value(QLatin1StringView("ref")));
            } else if (reader.name() == u"row") {
                const quint32 number = countFromXml(reader.attributes().value(QLatin1StringView("r")), 0,
                                                    cells_.limits().maxRows);
                row = number > 0 ? number - 1 : row + 1;
                column = -1;
            } else if (reader.name() == u"c") {
                readCell(reader, row, column);
            } else if (reader.name() == u"mergeCell") {
                readMerge(reader.attributes().value(QLatin1StringView("ref")));
            }
        }
    }

private:
    // Room at once for the cells the sheet says it spans ("A1:J60001"), since growing a vector of 600,000
    // cells step by step moves each several times. Only as many as the part's declared size could hold at
    // their smallest (<c><v>0</v></c>) and the limits allow, so that a sheet claiming more than it holds
    // costs no more room than its bytes could have filled.
    void reserveFor(QStringView dimension) {
        const qsizetype colon = dimension.indexOf(u':');
        quint32 firstRow, firstColumn, lastRow, lastColumn;
        if (colon < 0 || !parseReference(dimension.first(colon), firstRow, firstColumn) ||
            !parseReference(dimension.sliced(colon + 1), lastRow, lastColumn) || lastRow < firstRow ||
            lastColumn < firstColumn)
            return;
        constexpr qint64 SmallestCellBytes = 15;
        const qint64 spanned = (static_cast<qint64>(lastRow - firstRow) + 1) * (lastColumn - firstColumn + 1);
        const qint64 cells = std::min(
            {spanned, partBytes_ / SmallestCellBytes, static_cast<qint64>(cells_.limits().maxCells)});
        cells_.cells().reserve(static_cast<size_t>(cells));
    }

    // "A2:A5": a merge whose references do not parse is left alone, as the cells are.
    void readMerge(QStringView reference) {
        const qsizetype colon = reference.indexOf(u':');
        SheetCells::Merge merge{};
        if (colon > 0 && parseReference(reference.first(colon), merge.firstRow, merge.firstColumn) &&
            parseReference(reference.sliced(colon + 1), merge.lastRow, merge.lastColumn) &&
            merge.lastRow >= merge.firstRow && merge.lastColumn >= merge.firstColumn)
            cells_.addMerge(merge);
    }

    // The reader's attributes last only until it moves on: what the cell needs of them is taken first.
    template <class Reader> void readCell(Reader &reader, qint64 &row, qint64 &column) {
        const auto &attributes = reader.attributes();
        quint32 referencedRow, referencedColumn;
        const QStringView reference = attributes.value(QLatin1StringView("r"));
        if (parseReference(reference, referencedRow, referencedColumn)) {
            row = referencedRow;
            column = referencedColumn;
        } else if (reference.isEmpty()) {
            ++column;
        } else {
            // Taken as missing, it would put the cell's value under the heading of the next column.
            fail(QStringLiteral("referência de célula inválida: %1").arg(reference.left(20)));
        }
        if (row < 0)
            row = 0;
        const CellType type = cellType(attributes.value(QLatin1StringView("t")));
        const quint32 style = countFromXml(attributes.value(QLatin1StringView("s")), 0, 0xFFFFFFFFu);
        QString value;
        bool hasValue = false;
        bool hasFormula = false;
        int depth = 1;
        while (depth > 0) {
            const QXmlStreamReader::TokenType token = nextToken(reader);
            if (token == QXmlStreamReader::StartElement) {
                if (reader.name() == u"v") {
                    value = reader.readElementText();
                    hasValue = true;
                } else if (reader.name() == u"is") {
                    value = readStringItem(reader);
                    hasValue = true;
                } else {
                    hasFormula = hasFormula || reader.name() == u"f";
                    ++depth;
                }
            } else if (token == QXmlStreamReader::EndElement) {
                --depth;
            } else if (token == QXmlStreamReader::EndDocument) {
                fail(QStringLiteral("célula incompleta"));
            }
        }
        // An empty value is a formula's only when its result is a text; a number, a date, a truth or an
        // error left empty was never computed, as by a library that writes formulas for a spreadsheet to
        // compute.
        const bool computed = hasValue && !(hasFormula && value.isEmpty() && type != CellType::Formula);
        if (computed)
            cells_.add(static_cast<quint32>(row), static_cast<quint32>(column), cell(type, style, value));
        else if (hasFormula)
            throw WorkbookError::uncomputedFormula(static_cast<quint32>(row) + 1,
                                                   static_cast<quint32>(column) + 1);
    }

    WorkbookCell cell(CellType type, quint32 style, const QString &value) const {
        switch (type) {
        case CellType::Shared: {
            const quint32 index = countFromXml(value, 0xFFFFFFFFu, 0xFFFFFFFFu);
            if (index >= sharedStrings_.size())
                fail(QStringLiteral("texto compartilhado inexistente"));
            return WorkbookCell::fromText(sharedStrings_[index]);
        }
        case CellType::Text:
            return WorkbookCell::fromText(value);
        case CellType::Error:
            return WorkbookCell::fromError(value.trimmed());
        case CellType::Formula:
            return WorkbookCell::fromFormulaText(decodeEscapes(value));
        case CellType::Boolean:
            return WorkbookCell::fromBoolean(value.trimmed() == u"1" || value.trimmed() == u"true");
        case CellType::Date: {
            const QDate date = QDate::fromString(QStringView(value).trimmed().left(10), Qt::ISODate);
            if (date.isValid())
                return WorkbookCell::fromDate(date);
            return value.trimmed().isEmpty() ? WorkbookCell::unreadable() : WorkbookCell::fromText(value);
        }
        case CellType::Number:
            break;
        }
        const auto number = numberFromXml(value);
        if (!number)
            return value.trimmed().isEmpty() ? WorkbookCell::unreadable() : WorkbookCell::fromText(value);
        return numberAsShown(*number, style < styles_.size() ? styles_[style] : NumberShown::Number,
                             cells_.dateSystem);
    }

    const std::vector<QString> &sharedStrings_;
    const std::vector<NumberShown> &styles_;
    SheetCells &cells_;
    qint64 partBytes_;
};

} // namespace

void readXlsxSheet(const ZipArchive &archive, const QString &sheet, SheetCells &cells) {
    QString workbookName = QStringLiteral("xl/workbook.xml");
    const std::vector<Relationship> package = readRelationships(archive, QString());
    if (const Relationship *document = findRelationship(package, u"officeDocument"))
        workbookName = document->target;
    WorkbookPart workbook;
    readRequiredPart(archive, workbookName,
                     [&](QXmlStreamReader &reader) { workbook = readWorkbookPart(reader, sheet); });
    cells.dateSystem = workbook.date1904 ? DateSystem::excel1904() : DateSystem::excel1900();

    const std::vector<Relationship> relationships = readRelationships(archive, workbookName);
    std::vector<QString> sharedStrings;
    // No more strings than the cells a sheet may hold.
    const qsizetype mostStrings = cells.limits().maxCells;
    if (const Relationship *part = findRelationship(relationships, u"sharedStrings")) {
        if (!readPlainPart(archive, part->target, [&](PlainXmlReader &reader) {
                sharedStrings = readSharedStrings(reader, mostStrings);
            }))
            readRequiredPart(archive, part->target, [&](QXmlStreamReader &reader) {
                sharedStrings = readSharedStrings(reader, mostStrings);
            });
    }
    std::vector<NumberShown> cellStyles;
    if (const Relationship *part = findRelationship(relationships, u"styles"))
        readRequiredPart(archive, part->target,
                         [&](QXmlStreamReader &reader) { cellStyles = readCellStyles(reader); });
    for (const Relationship &relationship : relationships) {
        if (relationship.id == workbook.sheetRelationship) {
            WorksheetPartReader sheetReader(sharedStrings, cellStyles, cells,
                                            archive.declaredSize(relationship.target).value_or(0));
            if (!readPlainPart(archive, relationship.target,
                               [&](PlainXmlReader &reader) { sheetReader.read(reader); }))
                readRequiredPart(archive, relationship.target,
                                 [&](QXmlStreamReader &reader) { sheetReader.read(reader); });
            return;
        }
    }
    fail(QStringLiteral("planilha %1 sem parte própria").arg(sheet));
}

} // namespace bco
