#include "framework/report/report_document.h"

#include <cmath>
#include <numeric>
#include <optional>

#include <QRegularExpression>

#include "framework/text/edit_mask.h"

namespace bco {

namespace {

// An A4 sheet in decipoints (210 mm by 297 mm at 720 to the inch).
constexpr int a4Short = 5953;
constexpr int a4Long = 8419;
// Half an inch around the page.
constexpr int pageMargin = 360;

// {CDAGENCIA:mascara(CDPICTAGEN)}: the code shown through the picture the row holds in another column.
const QRegularExpression picturePlaceholder(QStringLiteral("^mascara\\s*\\(\\s*(\\w+)\\s*\\)$"),
                                            QRegularExpression::CaseInsensitiveOption);

QDate dateOf(const QVariant &value) {
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate();
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().date();
    return QDate::fromString(value.toString().left(10), Qt::ISODate);
}

// How many whole units of what a column shows make one of its values: money shows cents.
double unitsPerValue(ReportFormat format) {
    return format == ReportFormat::Money ? 100.0 : 1.0;
}

bool isSummed(const ReportColumn &column) {
    return column.aggregate == ReportAggregate::Sum &&
           (column.format == ReportFormat::Money || column.format == ReportFormat::Integer);
}

QVariant toQVariant(const Variant &value) {
    switch (value.type()) {
    case VariantType::Date:
        return value.toDate();
    case VariantType::Int:
        return static_cast<qlonglong>(value.toInt());
    case VariantType::Float:
        return value.toFloat();
    case VariantType::Null:
        return {};
    default:
        return value.toText();
    }
}

// A value shown without a format of its own: a date as a date, anything else as text.
QString plainText(const QVariant &value, const QLocale &locale) {
    return FormatReportValue(
        value, value.metaType().id() == QMetaType::QDate ? ReportFormat::Date : ReportFormat::Text, locale);
}

} // namespace

QString FormatReportValue(const QVariant &value, ReportFormat format, const QLocale &locale) {
    if (value.isNull() || !value.isValid())
        return {};
    switch (format) {
    case ReportFormat::Text:
        return value.toString();
    case ReportFormat::Date: {
        const QDate date = dateOf(value);
        return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : value.toString();
    }
    case ReportFormat::Money: {
        // Rounded to the cent first, so that a value a hair under zero shows as 0,00 and not -0,00.
        const double cents = std::round(value.toDouble() * 100.0);
        return locale.toString(cents == 0.0 ? 0.0 : cents / 100.0, 'f', 2);
    }
    case ReportFormat::Integer:
        return locale.toString(static_cast<qlonglong>(std::llround(value.toDouble())));
    }
    return {};
}

ReportDocument::ReportDocument(ReportDesign design, QString title, ReportRows rows, ReportParams params,
                               ReportContext context)
    : design_(std::move(design))
    , title_(std::move(title))
    , rows_(std::move(rows))
    , params_(std::move(params))
    , context_(std::move(context)) {
    design_.validate();
    pageWidth_ = design_.landscape ? a4Long : a4Short;
    pageHeight_ = design_.landscape ? a4Short : a4Long;
    margin_ = pageMargin;
    line_ = static_cast<int>(std::lround(design_.fontSize * 10 * 1.35));
    titleLine_ = static_cast<int>(std::lround(design_.fontSize * 14 * 1.35));
    bodyTop_ = CaptionsTop() + line_ + line_ / 2;
    bodyBottom_ = pageHeight_ - margin_ - line_ - line_ / 3;

    const double shares = std::accumulate(design_.columns.begin(), design_.columns.end(), 0.0,
                                          [](double sum, const ReportColumn &c) { return sum + c.width; });
    const int printable = pageWidth_ - 2 * margin_;
    double left = margin_;
    for (const ReportColumn &column : design_.columns) {
        const double width = printable * column.width / shares;
        boxes_.push_back({static_cast<int>(std::lround(left)), static_cast<int>(std::lround(width))});
        left += width;
        columnFields_.push_back(rows_.FieldIndex(column.field));
    }
    for (const ReportGroup &group : design_.groups)
        groupFields_.push_back(rows_.FieldIndex(group.field));
    layOut();
}

int ReportDocument::CaptionsTop() const {
    return HeaderLinesTop() + static_cast<int>(design_.pageHeader.size()) * line_ + line_ / 3;
}

std::span<const ReportBand> ReportDocument::BandsOfPage(int page) const {
    const std::size_t first = pageStarts_.at(static_cast<std::size_t>(page));
    const std::size_t end = static_cast<std::size_t>(page) + 1 < pageStarts_.size()
                                ? pageStarts_[static_cast<std::size_t>(page) + 1]
                                : bands_.size();
    return {bands_.data() + first, end - first};
}

int ReportDocument::headerHeight(int level) const {
    const auto lines = design_.groups[static_cast<std::size_t>(level)].header.size();
    return lines == 0 ? 0 : static_cast<int>(lines) * line_ + line_ / 4;
}

void ReportDocument::newPage() {
    pageStarts_.push_back(bands_.size());
    cursor_ = bodyTop_;
    // The reader of a page that goes on with a group is told which one.
    for (std::size_t level = 0; level < openGroups_.size(); ++level) {
        if (openGroups_[level] < 0 || design_.groups[level].header.isEmpty())
            continue;
        const int height = line_ + line_ / 4;
        bands_.push_back({ReportBandKind::GroupContinued, static_cast<quint8>(level), openGroups_[level],
                          cursor_, height});
        cursor_ += height;
    }
}

void ReportDocument::ensureRoom(int height) {
    const bool pageHasBands = !pageStarts_.empty() && pageStarts_.back() < bands_.size();
    if (pageStarts_.empty() || (pageHasBands && cursor_ + height > bodyBottom_))
        newPage();
}

void ReportDocument::addBand(ReportBandKind kind, int level, int index, int height) {
    ensureRoom(height);
    bands_.push_back({kind, static_cast<quint8>(level), index, cursor_, height});
    cursor_ += height;
}

void ReportDocument::accumulate(Aggregate &aggregate, int row) const {
    aggregate.lastRow = row;
    for (std::size_t c = 0; c < design_.columns.size(); ++c) {
        const ReportColumn &column = design_.columns[c];
        if (!isSummed(column))
            continue;
        const QVariant &value = rows_.Value(row, columnFields_[c]);
        if (!value.isNull()) {
            aggregate.sums[c] += std::llround(value.toDouble() * unitsPerValue(column.format));
            ++aggregate.values[c];
        }
    }
}

void ReportDocument::layOut() {
    const int levels = static_cast<int>(design_.groups.size());
    const int footerHeight = line_ + line_ / 2;
    const auto emptyAggregate = [this](int firstRow) {
        return Aggregate{firstRow, -1, std::vector<qint64>(design_.columns.size(), 0),
                         std::vector<int>(design_.columns.size(), 0)};
    };
    std::vector<std::size_t> open(static_cast<std::size_t>(levels)); // aggregate of each open group
    openGroups_.assign(static_cast<std::size_t>(levels), -1);
    Aggregate total = emptyAggregate(0);
    const auto closeGroups = [&](int downTo) {
        for (int level = levels - 1; level >= downTo; --level) {
            const std::size_t aggregate = open[static_cast<std::size_t>(level)];
            if (!design_.groups[static_cast<std::size_t>(level)].footer.isEmpty())
                addBand(ReportBandKind::GroupFooter, level, static_cast<int>(aggregate), footerHeight);
            openGroups_[static_cast<std::size_t>(level)] = -1;
        }
    };

    newPage();
    const int rowCount = rows_.RowCount();
    for (int row = 0; row < rowCount; ++row) {
        int changed = row == 0 ? 0 : levels;
        for (int level = 0; row > 0 && level < levels; ++level) {
            const int field = groupFields_[static_cast<std::size_t>(level)];
            if (rows_.Value(row, field) != rows_.Value(row - 1, field)) {
                changed = level;
                break;
            }
        }
        if (row > 0 && changed < levels) {
            closeGroups(changed);
            for (int level = changed; level < levels; ++level)
                if (design_.groups[static_cast<std::size_t>(level)].newPage) {
                    if (pageStarts_.back() < bands_.size())
                        newPage();
                    break;
                }
        }
        // A group's header lines stay on the page of its first row.
        int opening = line_;
        for (int level = changed; level < levels; ++level)
            opening += headerHeight(level);
        ensureRoom(opening);
        for (int level = changed; level < levels; ++level) {
            open[static_cast<std::size_t>(level)] = aggregates_.size();
            openGroups_[static_cast<std::size_t>(level)] = row;
            aggregates_.push_back(emptyAggregate(row));
            if (const int height = headerHeight(level); height > 0)
                addBand(ReportBandKind::GroupHeader, level, row, height);
        }
        addBand(ReportBandKind::Detail, 0, row, line_);
        for (int level = 0; level < levels; ++level)
            accumulate(aggregates_[open[static_cast<std::size_t>(level)]], row);
        accumulate(total, row);
    }
    if (rowCount > 0)
        closeGroups(0);
    else
        addBand(ReportBandKind::NoRows, 0, 0, 2 * line_);
    if (!design_.totalCaption.isEmpty()) {
        aggregates_.push_back(std::move(total));
        addBand(ReportBandKind::Total, 0, static_cast<int>(aggregates_.size()) - 1, line_ + line_ / 4);
    }
}

QString ReportDocument::EmittedText() const {
    return QStringLiteral("Emissão: %1").arg(context_.emitted.toString(QStringLiteral("dd/MM/yyyy hh:mm")));
}

int ReportDocument::firstRowOf(int page) const {
    for (const ReportBand &band : BandsOfPage(page)) {
        switch (band.kind) {
        case ReportBandKind::GroupHeader:
        case ReportBandKind::GroupContinued:
        case ReportBandKind::Detail:
            return band.index;
        case ReportBandKind::GroupFooter:
        case ReportBandKind::Total:
            return aggregates_.at(static_cast<std::size_t>(band.index)).lastRow;
        case ReportBandKind::NoRows:
            return -1;
        }
    }
    return -1;
}

QString ReportDocument::CompanyText(int page) const {
    const int row = design_.pageCompany.isEmpty() ? -1 : firstRowOf(page);
    return row < 0 ? context_.company : expand(design_.pageCompany, page, row, -1);
}

QStringList ReportDocument::PageHeaderLines(int page) const {
    QStringList lines;
    for (const QString &line : design_.pageHeader)
        lines << expand(line, page, -1, -1);
    return lines;
}

QStringList ReportDocument::ColumnCaptions() const {
    QStringList captions;
    for (const ReportColumn &column : design_.columns)
        captions << column.caption;
    return captions;
}

QString ReportDocument::FooterText(int page) const {
    return expand(design_.pageFooter, page, -1, -1);
}

QString ReportDocument::PageNumberText(int page) const {
    return QStringLiteral("Página %1 de %2").arg(page + 1).arg(PageCount());
}

QStringList ReportDocument::GroupHeaderLines(const ReportBand &band) const {
    QStringList lines;
    for (const QString &line : design_.groups.at(band.level).header)
        lines << expand(line, -1, band.index, -1);
    if (band.kind == ReportBandKind::GroupContinued)
        return {lines.value(0) + QStringLiteral(" (continuação)")};
    return lines;
}

int ReportDocument::RowsCounted(const ReportBand &band) const {
    if (band.kind != ReportBandKind::GroupFooter && band.kind != ReportBandKind::Total)
        return 0;
    const Aggregate &aggregate = aggregates_.at(static_cast<std::size_t>(band.index));
    return aggregate.lastRow - aggregate.firstRow + 1;
}

QString ReportDocument::BandCaption(const ReportBand &band) const {
    switch (band.kind) {
    case ReportBandKind::GroupFooter: {
        const Aggregate &aggregate = aggregates_.at(static_cast<std::size_t>(band.index));
        return expand(design_.groups.at(band.level).footer, -1, aggregate.lastRow, RowsCounted(band));
    }
    case ReportBandKind::Total:
        return expand(design_.totalCaption, -1, -1, RowsCounted(band));
    case ReportBandKind::NoRows:
        return QStringLiteral("Não há dados para os parâmetros informados.");
    case ReportBandKind::GroupHeader:
    case ReportBandKind::GroupContinued:
    case ReportBandKind::Detail:
        break;
    }
    return {};
}

QString ReportDocument::aggregateText(const Aggregate &aggregate, int column) const {
    const ReportColumn &declared = design_.columns[static_cast<std::size_t>(column)];
    if (isSummed(declared) && aggregate.values[static_cast<std::size_t>(column)] == 0)
        return {};
    if (isSummed(declared))
        return FormatReportValue(static_cast<double>(aggregate.sums[static_cast<std::size_t>(column)]) /
                                     unitsPerValue(declared.format),
                                 declared.format, context_.locale);
    if (declared.aggregate == ReportAggregate::Last && aggregate.lastRow >= 0)
        return FormatReportValue(
            rows_.Value(aggregate.lastRow, columnFields_[static_cast<std::size_t>(column)]), declared.format,
            context_.locale);
    return {};
}

QString ReportDocument::CellText(const ReportBand &band, int column) const {
    switch (band.kind) {
    case ReportBandKind::Detail:
        return FormatReportValue(rows_.Value(band.index, columnFields_.at(static_cast<std::size_t>(column))),
                                 design_.columns[static_cast<std::size_t>(column)].format, context_.locale);
    case ReportBandKind::GroupFooter:
        return aggregateText(aggregates_.at(static_cast<std::size_t>(band.index)), column);
    case ReportBandKind::Total: {
        // A running balance of one group means nothing summed over the others.
        if (design_.columns[static_cast<std::size_t>(column)].aggregate != ReportAggregate::Sum)
            return {};
        return aggregateText(aggregates_.at(static_cast<std::size_t>(band.index)), column);
    }
    case ReportBandKind::GroupHeader:
    case ReportBandKind::GroupContinued:
    case ReportBandKind::NoRows:
        break;
    }
    return {};
}

QString ReportDocument::expand(const QString &text, int page, int row, int counted) const {
    QString result;
    qsizetype from = 0;
    while (true) {
        const qsizetype open = text.indexOf(u'{', from);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'}', open + 1);
        if (close < 0) {
            result += text.mid(from);
            return result;
        }
        result += text.mid(from, open - from);
        from = close + 1;
        const QString placeholder = text.mid(open + 1, close - open - 1);
        const QString name = placeholder.section(u':', 0, 0).trimmed().toUpper();
        const QString formatText = placeholder.section(u':', 1).trimmed();
        if (const QRegularExpressionMatch picture = picturePlaceholder.match(formatText);
            picture.hasMatch()) {
            const int field = rows_.FieldIndex(name);
            const int pictureField = rows_.FieldIndex(picture.captured(1).toUpper());
            if (row >= 0 && field >= 0 && pictureField >= 0)
                result += FormatThroughPicture(rows_.Value(row, pictureField).toString(),
                                               rows_.Value(row, field).toString());
            else
                result += text.mid(open, close - open + 1);
            continue;
        }
        std::optional<ReportFormat> format;
        if (!formatText.isEmpty()) {
            try {
                format = formatFromName(formatText);
            } catch (const ReportDesignError &) {
                result += text.mid(open, close - open + 1);
                continue;
            }
        }
        const auto shown = [&](const QVariant &value) {
            return format ? FormatReportValue(value, *format, context_.locale)
                          : plainText(value, context_.locale);
        };
        if (name == u"EMPRESA") {
            result += context_.company;
        } else if (name == u"TITULO") {
            result += title_;
        } else if (name == u"PAGINA" && page >= 0) {
            result += QString::number(page + 1);
        } else if (name == u"PAGINAS") {
            result += QString::number(PageCount());
        } else if (name == u"EMISSAO") {
            result += context_.emitted.toString(QStringLiteral("dd/MM/yyyy hh:mm"));
        } else if (name == u"OPERADOR") {
            result += context_.operatorCode;
        } else if (name == u"QTDE" && counted >= 0) {
            result += context_.locale.toString(counted);
        } else if (ExistParam(params_, name)) {
            result += shown(toQVariant(params_.Value(name)));
        } else if (const int field = rows_.FieldIndex(name); row >= 0 && field >= 0) {
            result += shown(rows_.Value(row, field));
        } else {
            result += text.mid(open, close - open + 1);
        }
    }
}

} // namespace bco
