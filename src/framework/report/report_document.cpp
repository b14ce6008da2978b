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

// Digits of a whole number, most significant first, written backwards from `end`.
char *writeDigits(char *end, quint64 number) {
    do {
        *--end = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    return end;
}

// dd/mm/yyyy without QDate::toString's parsing of its format, for the years it writes with four digits.
std::optional<QString> plainDate(const QDate &date) {
    if (!date.isValid() || date.year() < 1000 || date.year() > 9999)
        return std::nullopt;
    const int parts[] = {date.day(), date.month()};
    QString text(10, u'/');
    QChar *out = text.data();
    for (int i = 0; i < 2; ++i) {
        out[3 * i] = QChar(u'0' + parts[i] / 10);
        out[3 * i + 1] = QChar(u'0' + parts[i] % 10);
    }
    for (int i = 9, year = date.year(); i >= 6; --i, year /= 10)
        out[i] = QChar(u'0' + year % 10);
    return text;
}

// The date of a text that starts yyyy-mm-dd with digits only (what SQLite holds for a date); any other
// text is left to QDate's own reading of ISO dates.
std::optional<QDate> isoDateOf(const QString &text) {
    if (text.size() < 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    int fields[3] = {0, 0, 0};
    const int starts[] = {0, 5, 8};
    const int ends[] = {4, 7, 10};
    for (int f = 0; f < 3; ++f)
        for (int i = starts[f]; i < ends[f]; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return std::nullopt;
            fields[f] = fields[f] * 10 + (c - u'0');
        }
    return QDate(fields[0], fields[1], fields[2]);
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

ReportValueFormat::ReportValueFormat(const QLocale &locale)
    : locale_(locale)
    , group_(locale.groupSeparator())
    , decimal_(locale.decimalPoint())
    , minus_(locale.negativeSign()) {
    // Numbers of every length up to the largest written here, either sign, so that each way of grouping and
    // of signing is seen.
    plainDigits_ = true;
    for (qint64 units = 1; units < qint64{1000000000000000}; units = units * 10 + 7) {
        for (const qint64 probe : {units, -units, qint64{0}}) {
            if (number(probe, 2) != locale.toString(static_cast<double>(probe) / 100.0, 'f', 2) ||
                number(probe, 0) != locale.toString(static_cast<qlonglong>(probe))) {
                plainDigits_ = false;
                return;
            }
        }
    }
}

QString ReportValueFormat::number(qint64 units, int decimals) const {
    char digits[24];
    char *const end = digits + sizeof digits;
    char *first = writeDigits(end, units < 0 ? 0 - static_cast<quint64>(units) : static_cast<quint64>(units));
    // At least one whole digit before the decimals.
    while (end - first < decimals + 1)
        *--first = '0';
    const auto whole = static_cast<int>(end - first) - decimals;
    QString text;
    text.reserve(whole + whole / 3 * group_.size() + decimals + 4);
    if (units < 0)
        text += minus_;
    for (int i = 0; i < whole; ++i) {
        if (i > 0 && (whole - i) % 3 == 0)
            text += group_;
        text += QLatin1Char(first[i]);
    }
    if (decimals > 0) {
        text += decimal_;
        text += QLatin1StringView(first + whole, decimals);
    }
    return text;
}

QString ReportValueFormat::operator()(const QVariant &value, ReportFormat format) const {
    if (value.isNull() || !value.isValid())
        return {};
    switch (format) {
    case ReportFormat::Text:
        return value.toString();
    case ReportFormat::Date: {
        std::optional<QDate> date;
        if (value.metaType().id() == QMetaType::QDate)
            date = value.toDate();
        else if (value.metaType().id() == QMetaType::QString)
            date = isoDateOf(value.toString());
        if (date)
            if (std::optional<QString> text = plainDate(*date))
                return *std::move(text);
        break;
    }
    case ReportFormat::Money: {
        const double cents = std::round(value.toDouble() * 100.0);
        if (plainDigits_ && std::fabs(cents) < 1e15)
            return number(static_cast<qint64>(cents), 2);
        break;
    }
    case ReportFormat::Integer: {
        const double whole = value.toDouble();
        if (plainDigits_ && std::fabs(whole) < 1e15)
            return number(std::llround(whole), 0);
        break;
    }
    }
    return FormatReportValue(value, format, locale_);
}

ReportDocument::ReportDocument(ReportDesign design, QString title, ReportRows rows, ReportParams params,
                               ReportContext context)
    : design_(std::move(design))
    , title_(std::move(title))
    , rows_(std::move(rows))
    , params_(std::move(params))
    , context_(std::move(context))
    , format_(context_.locale) {
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
        if (!rows_.IsNull(row, columnFields_[c])) {
            aggregate.sums[c] +=
                std::llround(rows_.Number(row, columnFields_[c]) * unitsPerValue(column.format));
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
            if (!rows_.SameValue(row, row - 1, field)) {
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
        return format_(static_cast<double>(aggregate.sums[static_cast<std::size_t>(column)]) /
                           unitsPerValue(declared.format),
                       declared.format);
    if (declared.aggregate == ReportAggregate::Last && aggregate.lastRow >= 0)
        return format_(rows_.Value(aggregate.lastRow, columnFields_[static_cast<std::size_t>(column)]),
                       declared.format);
    return {};
}

QString ReportDocument::CellText(const ReportBand &band, int column) const {
    switch (band.kind) {
    case ReportBandKind::Detail:
        return format_(rows_.Value(band.index, columnFields_.at(static_cast<std::size_t>(column))),
                       design_.columns[static_cast<std::size_t>(column)].format);
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
        // A value without a format of its own shows a date as a date, anything else as text.
        const auto shown = [&](const QVariant &value) {
            return format_(value, format ? *format
                                         : (value.metaType().id() == QMetaType::QDate ? ReportFormat::Date
                                                                                      : ReportFormat::Text));
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
