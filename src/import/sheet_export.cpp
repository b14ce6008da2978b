#include "import/sheet_export.h"

#include <optional>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include <QDate>
#include <QLocale>

#include <zip.h>

#include "import/workbook_cell.h"

namespace bco {

namespace {

// ---- cells as text, for the delimited forms ----

bool looksLikeFormula(const QString &text) {
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    return first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' ||
           first == u'\r';
}

QString cellText(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Double:
    case QMetaType::Float: {
        QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        // A thousands separator would make the amount a text to the spreadsheet that reads it back.
        brazil.setNumberOptions(QLocale::OmitGroupSeparator);
        return brazil.toString(value.toDouble(), 'f', 2);
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
    default: {
        const QString text = value.toString();
        return looksLikeFormula(text) ? u'\'' + text : text;
    }
    }
}

QString quoted(const QString &field, QChar separator) {
    const bool needs =
        field.contains(separator) || field.contains(u'"') || field.contains(u'\n') || field.contains(u'\r');
    if (!needs)
        return field;
    QString doubled = field;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

QString delimited(const ExportedTable &table, QChar separator, const QString &lineEnd) {
    QString out;
    const auto line = [&](const QStringList &fields) {
        out += fields.join(separator);
        out += lineEnd;
    };
    QStringList fields;
    for (const QString &title : table.titles)
        fields << quoted(cellText(title), separator);
    line(fields);
    for (const QVariantList &row : table.rows) {
        fields.clear();
        for (const QVariant &value : row)
            fields << quoted(cellText(value), separator);
        line(fields);
    }
    return out;
}

// ---- the workbook ----

QString xmlEscaped(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'&':
            out += QStringLiteral("&amp;");
            break;
        case u'<':
            out += QStringLiteral("&lt;");
            break;
        case u'>':
            out += QStringLiteral("&gt;");
            break;
        case u'"':
            out += QStringLiteral("&quot;");
            break;
        case u'\r':
            // A reader would turn it into a line feed anyway; CR LF is one line break.
            if (i + 1 >= text.size() || text[i + 1] != u'\n')
                out += u'\n';
            break;
        default:
            // XML 1.0 carries no other control character.
            if (c.unicode() >= 0x20 || c == u'\t' || c == u'\n')
                out += c;
        }
    }
    return out;
}

// The styles of styles.xml's cellXfs, in its order.
enum Style { General = 0, DateStyle = 1, AmountStyle = 2, TitleStyle = 3 };

// The 1900 date system's serial: days since 30/12/1899, from March 1900. None before: the programs read the
// serials of January and February 1900 a day apart (some count a 29 February 1900 that never was), and
// none reads a date before 1900.
std::optional<qint64> serialOf(QDate date) {
    if (date >= QDate(1900, 3, 1))
        return QDate(1899, 12, 30).daysTo(date);
    return std::nullopt;
}

QString cellXml(const QString &reference, const QVariant &value, Style textStyle) {
    const QString at = QStringLiteral("<c r=\"%1\"").arg(reference);
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Double:
    case QMetaType::Float:
        return at + QStringLiteral(" s=\"%1\"><v>%2</v></c>")
                        .arg(AmountStyle)
                        .arg(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest));
    case QMetaType::Int:
    case QMetaType::LongLong:
        return at + QStringLiteral("><v>%1</v></c>").arg(value.toLongLong());
    case QMetaType::QDate:
        if (!value.toDate().isValid())
            return {};
        if (const std::optional<qint64> serial = serialOf(value.toDate()))
            return at + QStringLiteral(" s=\"%1\"><v>%2</v></c>").arg(DateStyle).arg(*serial);
        return at + QStringLiteral(" s=\"%1\" t=\"inlineStr\"><is><t>%2</t></is></c>")
                        .arg(textStyle)
                        .arg(value.toDate().toString(u"dd/MM/yyyy"));
    default:
        return at + QStringLiteral(" s=\"%1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">%2</t></is></c>")
                        .arg(textStyle)
                        .arg(xmlEscaped(value.toString()));
    }
}

// Wide enough for the longest line of any cell of the column, in characters, within reason.
double columnWidth(const ExportedTable &table, int column) {
    qsizetype widest = column < table.titles.size() ? table.titles[column].size() : 0;
    for (const QVariantList &row : table.rows)
        if (column < row.size())
            for (const QString &line : cellText(row[column]).split(u'\n'))
                widest = std::max(widest, line.size());
    return static_cast<double>(std::clamp<qsizetype>(widest, 8, 60)) + 2;
}

QByteArray sheetXml(const ExportedTable &table) {
    qsizetype columns = table.titles.size();
    for (const QVariantList &row : table.rows)
        columns = std::max(columns, row.size());
    QString xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                       "<sheetViews><sheetView workbookViewId=\"0\"><pane ySplit=\"1\" topLeftCell=\"A2\" "
                       "activePane=\"bottomLeft\" "
                       "state=\"frozen\"/></sheetView></sheetViews>");
    if (columns > 0) {
        xml += QStringLiteral("<cols>");
        for (int c = 0; c < columns; ++c)
            xml += QStringLiteral("<col min=\"%1\" max=\"%1\" width=\"%2\" customWidth=\"1\"/>")
                       .arg(c + 1)
                       .arg(columnWidth(table, c));
        xml += QStringLiteral("</cols>");
    }
    xml += QStringLiteral("<sheetData>");
    const auto row = [&xml](int number, const QVariantList &values, Style textStyle) {
        xml += QStringLiteral("<row r=\"%1\">").arg(number);
        for (int c = 0; c < values.size(); ++c)
            xml += cellXml(columnLetters(c) + QString::number(number), values[c], textStyle);
        xml += QStringLiteral("</row>");
    };
    QVariantList titles;
    for (const QString &title : table.titles)
        titles << title;
    row(1, titles, TitleStyle);
    for (int r = 0; r < table.rows.size(); ++r)
        row(r + 2, table.rows[r], General);
    xml += QStringLiteral("</sheetData></worksheet>");
    return xml.toUtf8();
}

QByteArray workbookXml(const QString &sheet) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                          "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                          "<sheets><sheet name=\"%1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>")
        .arg(xmlEscaped(sheet))
        .toUtf8();
}

const char contentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";

const char packageRelationships[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/></Relationships>";

const char workbookRelationships[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/></Relationships>";

// cellXfs in the order of Style: general, date, amount (the built-in format 4, "#,##0.00", which each
// spreadsheet shows with its own locale's separators), title (bold).
const char styles[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\"/></numFmts>"
    "<fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
    "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"4\">"
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"4\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>"
    "</cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "</styleSheet>";

struct SourceFree {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};

[[noreturn]] void zipFailed(const char *what) {
    throw std::runtime_error(std::string("xlsx: ") + what);
}

} // namespace

QByteArray writeXlsx(const ExportedTable &table, const QString &sheet) {
    // Every part lives until the archive is closed: libzip reads them only then.
    const QList<std::pair<const char *, QByteArray>> parts = {
        {"[Content_Types].xml", QByteArray(contentTypes)},
        {"_rels/.rels", QByteArray(packageRelationships)},
        {"xl/workbook.xml", workbookXml(sheet)},
        {"xl/_rels/workbook.xml.rels", QByteArray(workbookRelationships)},
        {"xl/styles.xml", QByteArray(styles)},
        {"xl/worksheets/sheet1.xml", sheetXml(table)},
    };

    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceFree> memory(zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_error_fini(&error);
    if (!memory)
        zipFailed("no buffer");
    // The archive frees its source when it is closed or discarded; the bytes are read from it after that.
    zip_source_keep(memory.get());
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(memory.get(), ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(memory.get());
        zipFailed("cannot open");
    }
    for (const auto &[name, bytes] : parts) {
        zip_source_t *part =
            zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        if (!part || zip_file_add(archive, name, part, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(part);
            zip_discard(archive);
            zipFailed("cannot add a part");
        }
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        zipFailed("cannot close");
    }

    zip_stat_t stat;
    if (zip_source_stat(memory.get(), &stat) < 0 || zip_source_open(memory.get()) < 0)
        zipFailed("cannot read back");
    QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_source_read(memory.get(), bytes.data(), stat.size);
    zip_source_close(memory.get());
    if (read != static_cast<zip_int64_t>(stat.size))
        zipFailed("cannot read back");
    return bytes;
}

QByteArray writeCsv(const ExportedTable &table) {
    return QByteArray("\xEF\xBB\xBF") + delimited(table, u';', QStringLiteral("\r\n")).toUtf8();
}

QString tabSeparatedText(const ExportedTable &table) {
    return delimited(table, u'\t', QStringLiteral("\n"));
}

QString htmlTable(const ExportedTable &table) {
    QString html = QStringLiteral("<table>\n<tr>");
    for (const QString &title : table.titles)
        html += QStringLiteral("<th>%1</th>").arg(cellText(title).toHtmlEscaped());
    html += QStringLiteral("</tr>\n");
    for (const QVariantList &row : table.rows) {
        html += QStringLiteral("<tr>");
        for (const QVariant &value : row)
            html += QStringLiteral("<td>%1</td>")
                        .arg(cellText(value).toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")));
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</table>\n");
    return html;
}

} // namespace bco
