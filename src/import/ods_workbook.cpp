#include "import/ods_workbook.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <QXmlStreamReader>

#include "import/workbook_error.h"
#include "import/xml_parts.h"

namespace bco {

namespace {

const QString TableNamespace = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString OfficeNamespace = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString TextNamespace = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
// LibreOffice's own attributes, which tell an error cell from a text.
const QString CalcExtensionNamespace =
    QStringLiteral("urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0");

bool is(const QXmlStreamReader &reader, const QString &ns, QStringView name) {
    return reader.name() == name && reader.namespaceUri() == ns;
}

// Passes over the element the reader stands on, whatever it holds.
void skipElement(QXmlStreamReader &reader) {
    for (int depth = 1; depth > 0;) {
        const QXmlStreamReader::TokenType token = nextToken(reader);
        if (token == QXmlStreamReader::StartElement)
            ++depth;
        else if (token == QXmlStreamReader::EndElement)
            --depth;
        else if (token == QXmlStreamReader::EndDocument)
            throw WorkbookError::damaged(QStringLiteral("elemento incompleto"));
    }
}

// The text of a paragraph, spans and links included, spaces and tabs as text:s and text:tab write them.
void appendParagraph(QXmlStreamReader &reader, QString &text) {
    for (int depth = 1; depth > 0;) {
        switch (nextToken(reader)) {
        case QXmlStreamReader::Characters:
            text += reader.text();
            break;
        case QXmlStreamReader::StartElement:
            if (is(reader, TextNamespace, u"s")) {
                text += QString(
                    countFromXml(reader.attributes().value(TextNamespace, QLatin1StringView("c")), 1, 1024),
                    u' ');
            } else if (is(reader, TextNamespace, u"tab")) {
                text += u'\t';
            } else if (is(reader, TextNamespace, u"line-break")) {
                text += u'\n';
            } else if (is(reader, OfficeNamespace, u"annotation") || is(reader, TextNamespace, u"note")) {
                skipElement(reader);
                break;
            }
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::EndDocument:
            throw WorkbookError::damaged(QStringLiteral("parágrafo incompleto"));
        default:
            break;
        }
    }
}

class ContentReader {
public:
    ContentReader(const QString &sheet, SheetCells &cells)
        : sheet_(sheet)
        , cells_(cells)
        , dateSystem_(cells.dateSystem) {}

    void read(QXmlStreamReader &reader) {
        cells_.cells().clear();
        cells_.dateSystem = dateSystem_;
        row_ = 0;
        QString found;
        while (nextToken(reader) != QXmlStreamReader::EndDocument) {
            if (!reader.isStartElement())
                continue;
            if (is(reader, TableNamespace, u"null-date")) {
                const QDate epoch = QDate::fromString(
                    reader.attributes().value(TableNamespace, QLatin1StringView("date-value")).left(10),
                    Qt::ISODate);
                if (epoch.isValid())
                    cells_.dateSystem = DateSystem::fromEpoch(epoch);
            } else if (is(reader, TableNamespace, u"table")) {
                const QString name =
                    reader.attributes().value(TableNamespace, QLatin1StringView("name")).toString();
                if (name.compare(sheet_, Qt::CaseInsensitive) != 0) {
                    skipElement(reader);
                } else if (!found.isNull()) {
                    throw WorkbookError::sheetNamedTwice(found, name);
                } else {
                    // Read, and the rest of the tables looked through for another of its name.
                    found = name;
                    readTable(reader);
                }
            }
        }
        if (found.isNull())
            throw WorkbookError::missingSheet(sheet_);
    }

private:
    void readTable(QXmlStreamReader &reader) {
        const quint32 maxRows = cells_.limits().maxRows;
        for (int depth = 1; depth > 0;) {
            const QXmlStreamReader::TokenType token = nextToken(reader);
            if (token == QXmlStreamReader::EndElement) {
                --depth;
            } else if (token == QXmlStreamReader::EndDocument) {
                throw WorkbookError::damaged(QStringLiteral("tabela incompleta"));
            } else if (token == QXmlStreamReader::StartElement) {
                if (is(reader, TableNamespace, u"table-row")) {
                    const quint32 repeat = countFromXml(
                        reader.attributes().value(TableNamespace, QLatin1StringView("number-rows-repeated")),
                        1, maxRows);
                    readRow(reader, repeat);
                } else if (is(reader, TableNamespace, u"table-column") ||
                           is(reader, OfficeNamespace, u"forms") || is(reader, TableNamespace, u"shapes")) {
                    skipElement(reader);
                } else {
                    ++depth; // header rows, row groups
                }
            }
        }
    }

    // A row's cells go in once per repetition, so that only rows holding values cost anything.
    void readRow(QXmlStreamReader &reader, quint32 repeat) {
        const quint32 maxColumns = cells_.limits().maxColumns;
        rowCells_.clear();
        bool holdsValue = false;
        quint32 column = 0;
        for (int depth = 1; depth > 0;) {
            const QXmlStreamReader::TokenType token = nextToken(reader);
            if (token == QXmlStreamReader::EndElement) {
                --depth;
            } else if (token == QXmlStreamReader::EndDocument) {
                throw WorkbookError::damaged(QStringLiteral("linha incompleta"));
            } else if (token == QXmlStreamReader::StartElement) {
                const bool covered = is(reader, TableNamespace, u"covered-table-cell");
                if (covered || is(reader, TableNamespace, u"table-cell")) {
                    const quint32 columns =
                        countFromXml(reader.attributes().value(TableNamespace,
                                                               QLatin1StringView("number-columns-repeated")),
                                     1, maxColumns);
                    const quint32 rowsSpanned = countFromXml(
                        reader.attributes().value(TableNamespace, QLatin1StringView("number-rows-spanned")),
                        1, cells_.limits().maxRows);
                    if (!covered && rowsSpanned > 1)
                        cells_.addMerge({row_, column, row_ + rowsSpanned - 1, column});
                    const WorkbookCell value = readCell(reader, column);
                    // A formula computed as an empty text tells a row's date apart from one left empty,
                    // where the row holds a value; a row of such formulas only is an empty row.
                    holdsValue = holdsValue || (!covered && value.kind() != CellKind::Empty);
                    if (!covered && (value.kind() != CellKind::Empty || value.isEmptyFormula()))
                        for (quint32 i = 0; i < columns && column + i < maxColumns; ++i)
                            rowCells_.push_back({column + i, value});
                    column = std::min(maxColumns, column + columns);
                } else {
                    skipElement(reader);
                }
            }
        }
        if (!holdsValue) {
            // Files end with a million empty rows declared in one element: they cost nothing.
            row_ = static_cast<quint32>(
                std::min<quint64>(static_cast<quint64>(row_) + repeat, cells_.limits().maxRows));
            return;
        }
        for (quint32 i = 0; i < repeat; ++i, ++row_)
            for (const auto &[cellColumn, value] : rowCells_)
                cells_.add(row_, cellColumn, value);
    }

    WorkbookCell readCell(QXmlStreamReader &reader, quint32 column) {
        const QXmlStreamAttributes attributes = reader.attributes();
        const QStringView type = attributes.value(OfficeNamespace, QLatin1StringView("value-type"));
        const bool hasFormula = !attributes.value(TableNamespace, QLatin1StringView("formula")).isEmpty();
        const QStringView shownAs = attributes.value(CalcExtensionNamespace, QLatin1StringView("value-type"));
        const bool error = shownAs == u"error";
        WorkbookCell value;
        // A percentage is shown a hundred times its value ("50,00 %" of 0.5): it is read as shown, which no
        // amount or code takes, not as the fraction it holds.
        const bool percentage = type == u"percentage";
        if (type == u"float" || type == u"currency") {
            // LibreOffice stores a truth as a number it shows as TRUE or FALSE: read as the truth it shows,
            // which no amount takes, as the other formats store it.
            if (const auto number =
                    numberFromXml(attributes.value(OfficeNamespace, QLatin1StringView("value"))))
                value = shownAs == u"boolean" ? WorkbookCell::fromBoolean(*number != 0.0)
                                              : WorkbookCell::fromNumber(*number);
        } else if (type == u"date") {
            const QDate date = QDate::fromString(
                attributes.value(OfficeNamespace, QLatin1StringView("date-value")).left(10), Qt::ISODate);
            if (date.isValid())
                value = WorkbookCell::fromDate(date);
        } else if (type == u"boolean") {
            value = WorkbookCell::fromBoolean(
                attributes.value(OfficeNamespace, QLatin1StringView("boolean-value")) == u"true");
        } else if (!attributes.value(OfficeNamespace, QLatin1StringView("string-value")).isNull()) {
            value = WorkbookCell::fromText(
                attributes.value(OfficeNamespace, QLatin1StringView("string-value")).toString());
        }
        bool shown = false;
        const QString text = readParagraphs(reader, shown);
        // An error (#N/A, #DIV/0!) is stored as an empty text shown as its code: the code is the cell.
        if (error)
            return WorkbookCell::fromError(text);
        // LibreOffice stores a formula whose result is an empty text (=SE(...;"";...)) without a type and
        // with an empty paragraph. Any other formula without a type was never computed: one without a
        // paragraph, and one whose paragraph holds a text, which may be a result from before the formula last
        // changed.
        if (type.isEmpty() && hasFormula) {
            if (!shown || !text.isEmpty())
                throw WorkbookError::uncomputedFormula(row_ + 1, column + 1);
            return WorkbookCell::fromEmptyFormula();
        }
        if (percentage) {
            const auto fraction =
                numberFromXml(attributes.value(OfficeNamespace, QLatin1StringView("value")));
            return WorkbookCell::fromText(
                !text.isEmpty() || !fraction ? text : QString::number(*fraction * 100) + u'%');
        }
        // A value the type does not explain (a time, a broken number) still shows its text; without one, the
        // cell has a value nobody can read.
        if (value.kind() == CellKind::Empty && !text.isEmpty())
            value = WorkbookCell::fromText(text);
        else if (value.kind() == CellKind::Empty && !hasFormula && !type.isEmpty() && type != u"string")
            value = WorkbookCell::unreadable();
        // A formula typed as a text that shows an empty paragraph computed an empty text, as other writers
        // store it; any other formula with neither a value nor a text shown was never computed, whatever type
        // it claims.
        if (value.kind() == CellKind::Empty && hasFormula && type == u"string" && shown)
            return WorkbookCell::fromEmptyFormula();
        if (value.kind() == CellKind::Empty && hasFormula)
            throw WorkbookError::uncomputedFormula(row_ + 1, column + 1);
        if (hasFormula && value.kind() == CellKind::Text)
            value = WorkbookCell::fromFormulaText(value.textValue());
        return value;
    }

    // The cell's paragraphs, one per line; `shown` tells whether it has any, even an empty one.
    static QString readParagraphs(QXmlStreamReader &reader, bool &shown) {
        QString text;
        bool first = true;
        for (int depth = 1; depth > 0;) {
            const QXmlStreamReader::TokenType token = nextToken(reader);
            if (token == QXmlStreamReader::EndElement) {
                --depth;
            } else if (token == QXmlStreamReader::EndDocument) {
                throw WorkbookError::damaged(QStringLiteral("célula incompleta"));
            } else if (token == QXmlStreamReader::StartElement) {
                if (is(reader, TextNamespace, u"p") || is(reader, TextNamespace, u"h")) {
                    if (!first)
                        text += u'\n';
                    first = false;
                    shown = true;
                    appendParagraph(reader, text);
                } else {
                    skipElement(reader); // annotations, drawings
                }
            }
        }
        return text;
    }

    const QString &sheet_;
    SheetCells &cells_;
    const DateSystem dateSystem_; // when the document names no null date
    quint32 row_ = 0;
    std::vector<std::pair<quint32, WorkbookCell>> rowCells_;
};

// Whether the manifest gives a part encryption data, read in pieces to its end so that the archive's errors
// come first, as they do for a part inflated whole.
bool manifestTellsOfEncryption(const ZipArchive &archive) {
    const std::unique_ptr<ZipPartStream> manifest = archive.open(QStringLiteral("META-INF/manifest.xml"));
    if (!manifest)
        return false;
    static constexpr QByteArrayView Mark("encryption-data");
    bool found = false;
    QByteArray window;
    char buffer[64 * 1024];
    for (qint64 count; !found && (count = manifest->read(buffer, sizeof buffer)) > 0;) {
        // The mark may fall across two pieces: keep what could be its beginning.
        window = window.right(Mark.size() - 1);
        window.append(buffer, static_cast<qsizetype>(count));
        found = window.contains(Mark);
    }
    manifest->finish();
    return found;
}

} // namespace

void readOdsSheet(const ZipArchive &archive, const QString &sheet, SheetCells &cells) {
    if (manifestTellsOfEncryption(archive))
        throw WorkbookError::encrypted();
    ContentReader reader(sheet, cells);
    if (!readXmlPart(archive, QStringLiteral("content.xml"),
                     [&](QXmlStreamReader &xml) { reader.read(xml); }))
        throw WorkbookError::notAWorkbook();
}

} // namespace bco
