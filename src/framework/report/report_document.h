#pragma once

#include <span>
#include <vector>

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include "framework/report/report_design.h"
#include "framework/report/report_params.h"
#include "framework/report/report_rows.h"

namespace bco {

// What the page header and footer show besides the design's own texts.
struct ReportContext {
    QString company;      // name of the company of the session's processing branch
    QString operatorCode; // who emitted the report
    QDateTime emitted;
    QLocale locale; // numbers and dates
};

// A value shown through a format: a date as dd/mm/yyyy (from a date or ISO text), money with two decimals,
// a whole number, text as it is; each with the locale's separators. Null shows as nothing.
QString FormatReportValue(const QVariant &value, ReportFormat format, const QLocale &locale);

// FormatReportValue for one locale, at the pace a report's every cell asks it: where the locale writes
// numbers with ASCII digits and one separator every three of them (checked once, against the locale
// itself, when made), money and whole numbers are written without going through the locale per value;
// for any other locale each value goes through it. Either way the texts are FormatReportValue's.
class ReportValueFormat {
public:
    explicit ReportValueFormat(const QLocale &locale);
    QString operator()(const QVariant &value, ReportFormat format) const;

private:
    QString number(qint64 units, int decimals) const;

    QLocale locale_;
    bool plainDigits_ = false;
    QString group_;
    QString decimal_;
    QString minus_;
};

// One horizontal strip of a page: the header lines of a group, the first of them again atop a page that goes
// on with a group, a row, a group's footer (its aggregates), the report's total line, or the notice that the
// query found nothing.
enum class ReportBandKind : quint8 { GroupHeader, GroupContinued, Detail, GroupFooter, Total, NoRows };

struct ReportBand {
    ReportBandKind kind;
    quint8 level; // grouping level of a group header or footer
    int index;    // the row (header, detail) or the aggregate (footer, total)
    int top;      // in decipoints from the top of the page
    int height;
};

// Where a column stands across the page, in decipoints from its left edge.
struct ReportColumnBox {
    int left;
    int width;
};

// A design run: its rows laid out on pages, page by page, with every text the pages show. Lengths are in
// decipoints (1/720 inch) on an A4 sheet, upright or across as the design says; rows take one line each
// (a text too wide for its column is cut when painted), so the layout is arithmetic and a 100,000-row report
// is laid out in the time it takes to read its group keys.
//
// Pagination: the page header (the company of the page's rows, or of the session when the design names none;
// title, the design's header lines, the column captions) and footer
// (the design's footer, "Página X de Y") are on every page; a group's header lines never end a page without
// its first row after them, and a page that goes on with a group repeats the first header line of each
// group still open; a group whose level asks for it starts a new page. Sums are kept in whole units of what
// their column shows (cents for money), so that what the footers show is the exact sum of what the rows
// show; a column none of whose rows holds a value shows no sum.
class ReportDocument {
public:
    ReportDocument(ReportDesign design, QString title, ReportRows rows, ReportParams params,
                   ReportContext context);

    const ReportDesign &Design() const { return design_; }
    const ReportRows &Rows() const { return rows_; }
    const QString &Title() const { return title_; }

    int PageWidth() const { return pageWidth_; }
    int PageHeight() const { return pageHeight_; }
    int Margin() const { return margin_; }
    int LineHeight() const { return line_; }
    // Letter heights, in decipoints: the body's and the title's.
    int FontSize() const { return design_.fontSize * 10; }
    int TitleFontSize() const { return design_.fontSize * 14; }
    // Where the page header's parts stand, from the top of the page.
    int TitleTop() const { return margin_ + line_; }
    int HeaderLinesTop() const { return TitleTop() + titleLine_; }
    int CaptionsTop() const;
    int BodyTop() const { return bodyTop_; }
    int BodyBottom() const { return bodyBottom_; }
    int FooterTop() const { return bodyBottom_ + line_ / 3; }
    const std::vector<ReportColumnBox> &ColumnBoxes() const { return boxes_; }
    // Room left blank at each side of a cell's text.
    int CellPadding() const { return line_ / 4; }

    int PageCount() const { return static_cast<int>(pageStarts_.size()); }
    std::span<const ReportBand> BandsOfPage(int page) const;

    // The texts of the page (page numbers start at 0).
    QString CompanyText(int page) const;
    QString EmittedText() const;
    QStringList PageHeaderLines(int page) const;
    QStringList ColumnCaptions() const;
    QString FooterText(int page) const;
    QString PageNumberText(int page) const;
    // The texts of a band: a group header's lines; a footer's, the total's or the notice's caption; a cell.
    QStringList GroupHeaderLines(const ReportBand &band) const;
    QString BandCaption(const ReportBand &band) const;
    QString CellText(const ReportBand &band, int column) const;

    // The number of rows of a footer's group or of the whole report (the total line).
    int RowsCounted(const ReportBand &band) const;

private:
    struct Aggregate {
        int firstRow = 0;
        int lastRow = -1;
        std::vector<qint64> sums; // per column, in whole units of what it shows
        std::vector<int> values;  // per column, the rows that held a value
    };

    void layOut();
    void addBand(ReportBandKind kind, int level, int index, int height);
    void newPage();
    void ensureRoom(int height);
    void accumulate(Aggregate &aggregate, int row) const;
    int headerHeight(int level) const;
    // The first row a page shows (a footer's last row when it opens with a footer); -1 when it shows none.
    int firstRowOf(int page) const;
    QString expand(const QString &text, int page, int row, int counted) const;
    QString aggregateText(const Aggregate &aggregate, int column) const;

    ReportDesign design_;
    QString title_;
    ReportRows rows_;
    ReportParams params_;
    ReportContext context_;
    ReportValueFormat format_;

    int pageWidth_ = 0;
    int pageHeight_ = 0;
    int margin_ = 0;
    int line_ = 0;
    int titleLine_ = 0;
    int bodyTop_ = 0;
    int bodyBottom_ = 0;
    std::vector<ReportColumnBox> boxes_;
    std::vector<int> columnFields_;
    std::vector<int> groupFields_;

    std::vector<ReportBand> bands_;
    std::vector<std::size_t> pageStarts_;
    std::vector<Aggregate> aggregates_;
    int cursor_ = 0;              // top of the next band on the current page
    std::vector<int> openGroups_; // first row of each level's open group, -1 when none is open
};

} // namespace bco
