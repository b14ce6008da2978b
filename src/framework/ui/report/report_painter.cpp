#include "framework/ui/report/report_painter.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextBoundaryFinder>

#include "framework/ui/report/pdf_text_writer.h"
#include "framework/ui/report/report_progress.h"

namespace bco {

// Not in an unnamed namespace: the painter's fonts, a member of a class every file may name, hold it.
namespace report_painting {

// A font with the advance of each character it has measured: summing advances costs a look-up per
// character, where measuring a string lays it out.
class MeasuredFont {
public:
    MeasuredFont(int size, bool bold, bool italic)
        : font_(QStringLiteral("DejaVu Sans")) {
        font_.setPixelSize(size);
        font_.setBold(bold);
        font_.setItalic(italic);
        font_.setHintingPreference(QFont::PreferNoHinting);
        const QFontMetricsF metrics(font_);
        ascent_ = metrics.ascent();
        height_ = metrics.ascent() + metrics.descent();
        ellipsis_ = metrics.horizontalAdvance(QChar(0x2026));
    }

    const QFont &font() const { return font_; }

    qreal width(const QString &text) {
        qreal width = 0;
        for (qsizetype at = 0; at < text.size();)
            width += advance(text, at);
        return width;
    }

    // The text cut to `room`, with an ellipsis where it was cut. It is cut between the characters a reader
    // sees, never inside one: not between the halves of a character beyond the first plane (an emoji), nor
    // between a letter and its accent.
    QString fitted(const QString &text, qreal room) {
        if (width(text) <= room)
            return text;
        qreal used = ellipsis_;
        qsizetype kept = 0;
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
        for (qsizetype next = graphemes.toNextBoundary(); next > 0; next = graphemes.toNextBoundary()) {
            qreal cluster = 0;
            for (qsizetype at = kept; at < next;)
                cluster += advance(text, at);
            if (used + cluster > room)
                break;
            used += cluster;
            kept = next;
        }
        return text.left(kept) + QChar(0x2026);
    }

    // The baseline of a line of text whose box starts at `top` and is `lineHeight` high.
    qreal baseline(int top, int lineHeight) const { return top + (lineHeight - height_) / 2 + ascent_; }

private:
    // The advance of the character at `at` (one or two units), moving `at` past it.
    qreal advance(const QString &text, qsizetype &at) {
        const bool pair = at + 1 < text.size() && text[at].isHighSurrogate() && text[at + 1].isLowSurrogate();
        const char32_t character = pair ? QChar::surrogateToUcs4(text[at], text[at + 1]) : text[at].unicode();
        at += pair ? 2 : 1;
        auto found = advances_.constFind(character);
        if (found == advances_.constEnd())
            found = advances_.insert(
                character, QFontMetricsF(font_).horizontalAdvance(QString::fromUcs4(&character, 1)));
        return found.value();
    }

    QFont font_;
    qreal ascent_ = 0;
    qreal height_ = 0;
    qreal ellipsis_ = 0;
    QHash<char32_t, qreal> advances_;
};

} // namespace report_painting

using report_painting::MeasuredFont;

namespace {

enum class Align { Left, Center, Right };

// A cell is one line: a line break or a tab in a stored text (a workbook's cell may hold them) shows as a
// space, which every font has, rather than as a box of a missing letter.
QString oneLine(const QString &text) {
    const auto control = [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f;
    };
    if (std::none_of(text.begin(), text.end(), control))
        return text;
    QString line = text;
    std::replace_if(line.begin(), line.end(), control, QChar(u' '));
    return line;
}

Align alignOf(ReportAlignment alignment) {
    switch (alignment) {
    case ReportAlignment::Center:
        return Align::Center;
    case ReportAlignment::Right:
        return Align::Right;
    case ReportAlignment::Left:
        break;
    }
    return Align::Left;
}

} // namespace

struct ReportPainter::Fonts {
    MeasuredFont body;
    MeasuredFont bold;
    MeasuredFont title;
    MeasuredFont notice;
    // Smaller sizes of the body and its bold, made as numbers need them.
    std::map<std::pair<int, bool>, std::unique_ptr<MeasuredFont>> smaller;

    MeasuredFont &sized(MeasuredFont &font, int size) {
        if (size == font.font().pixelSize())
            return font;
        const bool isBold = font.font().bold();
        std::unique_ptr<MeasuredFont> &made = smaller[{size, isBold}];
        if (!made)
            made = std::make_unique<MeasuredFont>(size, isBold, font.font().italic());
        return *made;
    }

    // The font a text `width` wide takes to fit `room`, no smaller than half its size.
    MeasuredFont &shrunkToFit(MeasuredFont &font, qreal width, qreal room) {
        const int size = font.font().pixelSize();
        return sized(font, std::max(static_cast<int>(size * room / width), (size + 1) / 2));
    }

    // A number cut would read as another number: one that does not fit is drawn smaller, down to half its
    // size, and past that as "#" across its cell, as spreadsheets show it. Answers the font and the text.
    std::pair<MeasuredFont *, QString> fittedNumber(MeasuredFont &font, const QString &number, qreal room) {
        const qreal width = font.width(number);
        if (width <= room)
            return {&font, number};
        MeasuredFont &shrunk = shrunkToFit(font, width, room);
        if (shrunk.width(number) <= room)
            return {&shrunk, number};
        const qreal hash = std::max<qreal>(1, shrunk.width(QStringLiteral("#")));
        return {&shrunk, QString(static_cast<qsizetype>(room / hash), u'#')};
    }

    // A text cut loses what the reader came for (a description of forty wide letters in a column sized for
    // common ones): one that does not fit is drawn smaller, down to half its size, and cut past that.
    std::pair<MeasuredFont *, QString> fittedText(MeasuredFont &font, const QString &text, qreal room) {
        const qreal width = font.width(text);
        if (width <= room)
            return {&font, text};
        MeasuredFont &shrunk = shrunkToFit(font, width, room);
        return {&shrunk, shrunk.fitted(text, room)};
    }
};

ReportPainter::ReportPainter(const ReportDocument &document)
    : fonts_(std::make_unique<Fonts>(Fonts{{document.FontSize(), false, false},
                                           {document.FontSize(), true, false},
                                           {document.TitleFontSize(), true, false},
                                           {document.FontSize(), false, true},
                                           {}}))
    , document_(document) {
}

ReportPainter::~ReportPainter() = default;

std::vector<const QFont *> ReportPainter::PageFonts() const {
    return {&fonts_->body.font(), &fonts_->bold.font(), &fonts_->title.font(), &fonts_->notice.font()};
}

void ReportPainter::MapToPage(QPainter &painter, const ReportDocument &document, int deviceWidth,
                              int deviceHeight) {
    painter.setViewport(0, 0, deviceWidth, deviceHeight);
    painter.setWindow(0, 0, document.PageWidth(), document.PageHeight());
}

namespace {

// A surface over a painter whose coordinates are the page's decipoints.
class PainterSurface final : public ReportSurface {
public:
    explicit PainterSurface(QPainter &painter)
        : painter_(painter) {
        painter_.setPen(Qt::black);
        // Each text runs from the left, as the screens show it, whatever letters it starts with.
        painter_.setLayoutDirection(Qt::LeftToRight);
    }

    void DrawText(const QFont &font, QPointF baseline, const QString &text) override {
        // Setting a font, even the one set, costs the painter a font resolved again; most texts keep the
        // font.
        if (fontSet_ != &font) {
            painter_.setFont(font);
            fontSet_ = &font;
        }
        painter_.drawText(baseline, text);
    }

    void DrawLine(QPointF from, QPointF to, qreal width) override {
        painter_.setPen(QPen(Qt::black, width));
        painter_.drawLine(from, to);
    }

private:
    QPainter &painter_;
    const QFont *fontSet_ = nullptr;
};

} // namespace

void ReportPainter::PaintPage(QPainter &painter, int page) {
    PainterSurface surface(painter);
    PaintPage(surface, page);
}

void ReportPainter::PaintPage(ReportSurface &surface, int page) {
    const ReportDocument &doc = document_;
    const int line = doc.LineHeight();
    const int left = doc.Margin();
    const int right = doc.PageWidth() - doc.Margin();
    const int pad = doc.CellPadding();
    const auto text = [this, &surface](MeasuredFont &given, const QString &shown, int x0, int x1, int top,
                                       int height, Align align, bool number = false) {
        const auto [shownIn, fitted] = number ? fonts_->fittedNumber(given, oneLine(shown), x1 - x0)
                                              : fonts_->fittedText(given, oneLine(shown), x1 - x0);
        if (fitted.isEmpty())
            return;
        MeasuredFont &font = *shownIn;
        const qreal width = font.width(fitted);
        const qreal x = align == Align::Left    ? x0
                        : align == Align::Right ? x1 - width
                                                : x0 + (x1 - x0 - width) / 2;
        surface.DrawText(font.font(), QPointF(x, font.baseline(top, height)), fitted);
    };
    const auto rule = [&surface, left, right](int y, qreal width) {
        surface.DrawLine(QPointF(left, y), QPointF(right, y), width);
    };
    const std::vector<ReportColumnBox> &boxes = doc.ColumnBoxes();
    const auto &columns = doc.Design().columns;
    const auto cells = [&](MeasuredFont &font, const ReportBand &band, int top, int height) {
        for (std::size_t c = 0; c < boxes.size(); ++c) {
            const QString shown = doc.CellText(band, static_cast<int>(c));
            if (!shown.isEmpty())
                text(font, shown, boxes[c].left + pad, boxes[c].left + boxes[c].width - pad, top, height,
                     alignOf(columns[c].alignment), columns[c].format != ReportFormat::Text);
        }
    };

    // The page header: who, when, what, the design's lines and the column captions.
    const int top = doc.Margin();
    text(fonts_->bold, doc.CompanyText(page), left, right - right / 4, top, line, Align::Left);
    text(fonts_->body, doc.EmittedText(), right - right / 4, right, top, line, Align::Right);
    text(fonts_->title, doc.Title(), left, right, doc.TitleTop(), doc.HeaderLinesTop() - doc.TitleTop(),
         Align::Center);
    int y = doc.HeaderLinesTop();
    for (const QString &headerLine : doc.PageHeaderLines(page)) {
        text(fonts_->body, headerLine, left, right, y, line, Align::Center);
        y += line;
    }
    const int captions = doc.CaptionsTop();
    rule(captions, line / 12.0);
    const QStringList captionTexts = doc.ColumnCaptions();
    for (std::size_t c = 0; c < boxes.size(); ++c)
        text(fonts_->bold, captionTexts[static_cast<qsizetype>(c)], boxes[c].left + pad,
             boxes[c].left + boxes[c].width - pad, captions, line, alignOf(columns[c].alignment));
    rule(captions + line, line / 12.0);

    for (const ReportBand &band : doc.BandsOfPage(page)) {
        switch (band.kind) {
        case ReportBandKind::Detail:
            cells(fonts_->body, band, band.top, line);
            break;
        case ReportBandKind::GroupHeader:
        case ReportBandKind::GroupContinued: {
            int lineTop = band.top + band.height - static_cast<int>(doc.GroupHeaderLines(band).size()) * line;
            for (const QString &headerLine : doc.GroupHeaderLines(band)) {
                text(fonts_->bold, headerLine, left + pad, right - pad, lineTop, line, Align::Left);
                lineTop += line;
            }
            break;
        }
        case ReportBandKind::GroupFooter:
        case ReportBandKind::Total: {
            const int lineTop = band.kind == ReportBandKind::Total ? band.top + band.height - line : band.top;
            // The caption takes the room up to the first column that shows a value.
            int captionEnd = right - pad;
            for (std::size_t c = 0; c < boxes.size(); ++c)
                if (!doc.CellText(band, static_cast<int>(c)).isEmpty()) {
                    captionEnd = boxes[c].left - pad;
                    break;
                }
            rule(lineTop, line / 16.0);
            text(fonts_->bold, doc.BandCaption(band), left + pad, captionEnd, lineTop, line, Align::Left);
            cells(fonts_->bold, band, lineTop, line);
            if (band.kind == ReportBandKind::Total)
                rule(lineTop + line, line / 12.0);
            break;
        }
        case ReportBandKind::NoRows:
            text(fonts_->notice, doc.BandCaption(band), left + pad, right - pad, band.top + line / 2, line,
                 Align::Left);
            break;
        }
    }

    rule(doc.FooterTop(), line / 16.0);
    text(fonts_->body, doc.FooterText(page), left, right - right / 4, doc.FooterTop(), line, Align::Left);
    text(fonts_->body, doc.PageNumberText(page), right - right / 4, right, doc.FooterTop(), line,
         Align::Right);
}

namespace {

enum class PagesPainted { All, Stopped, Abandoned };

// Paints every page through `paint`, telling `progress` of each; `paint` answers false to abandon the
// document (it cannot be painted that way).
PagesPainted paintPages(const ReportDocument &document, ReportProgress &progress,
                        const std::function<bool(int page)> &paint) {
    const int count = document.PageCount();
    progress.Start(count);
    for (int page = 0; page < count; ++page) {
        if (!paint(page)) {
            progress.Finish();
            return PagesPainted::Abandoned;
        }
        if (!progress.Advance(page + 1)) {
            progress.Finish();
            return PagesPainted::Stopped;
        }
    }
    progress.Finish();
    return PagesPainted::All;
}

// Paints every page on a painter's device that is ready, calling `nextPage` between two pages.
bool paintOnDevice(const ReportDocument &document, QPainter &painter, int deviceWidth, int deviceHeight,
                   const std::function<bool()> &nextPage, ReportProgress &progress) {
    ReportPainter pages(document);
    return paintPages(document, progress, [&](int page) {
               if (page > 0 && !nextPage())
                   throw ReportOutputError(
                       QStringLiteral("Não foi possível continuar a impressão do relatório."));
               ReportPainter::MapToPage(painter, document, deviceWidth, deviceHeight);
               pages.PaintPage(painter, page);
               return true;
           }) == PagesPainted::All;
}

QPageLayout sheetOf(const ReportDesign &design) {
    return QPageLayout(QPageSize(QPageSize::A4),
                       design.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

const QString pdfCreator = QStringLiteral("Conta Corrente Bancária");

// A surface that writes a PDF of its own: the page's decipoints become the file's points.
class PdfSurface final : public ReportSurface {
public:
    explicit PdfSurface(PdfTextWriter &writer)
        : writer_(writer) {}

    // False when a font cannot be embedded.
    bool AddFont(const QFont &font) {
        const int number = writer_.AddFont(font);
        fonts_.push_back({&font, number});
        return number >= 0;
    }

    bool LacksCharacter() const { return lacksCharacter_; }

    void DrawText(const QFont &font, QPointF baseline, const QString &text) override {
        int number = -1;
        for (const auto &[known, added] : fonts_)
            if (known == &font)
                number = added;
        // A font the page did not name at the start (a number drawn smaller to fit its column) is added as
        // it is met, so that a bold total stays bold.
        if (number < 0 && AddFont(font))
            number = fonts_.back().second;
        if (number < 0 || !writer_.DrawText(number, font.pixelSize() / 10.0, baseline / 10, text))
            lacksCharacter_ = true;
    }

    void DrawLine(QPointF from, QPointF to, qreal width) override {
        writer_.DrawLine(from / 10, to / 10, width / 10);
    }

private:
    PdfTextWriter &writer_;
    std::vector<std::pair<const QFont *, int>> fonts_;
    bool lacksCharacter_ = false;
};

// Removes what a stopped or failed writing left at `fileName` when it is a file: a path that names a device,
// or a link to one, is the operator's and stays.
void removeUnfinished(const QString &fileName) {
    if (QFileInfo(fileName).isFile())
        QFile::remove(fileName);
}

QString cannotWrite(const QString &fileName, const QString &reason) {
    return QStringLiteral("Não foi possível gravar o arquivo %1: %2.").arg(fileName, reason);
}

// Writes the file with the report's own PDF writer; answers nothing when the file must be written through the
// system's device instead.
std::optional<bool> writeOwnPdf(const ReportDocument &document, const QString &fileName,
                                ReportProgress &progress) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw ReportOutputError(cannotWrite(fileName, file.errorString()));
    ReportPainter pages(document);
    const QSizeF sheet = QSizeF(document.PageWidth(), document.PageHeight()) / 10;
    PdfTextWriter writer(file, sheet, document.Title(), pdfCreator);
    PdfSurface surface(writer);
    for (const QFont *font : pages.PageFonts())
        if (!surface.AddFont(*font))
            return std::nullopt;
    const PagesPainted painted = paintPages(document, progress, [&](int page) {
        writer.BeginPage();
        pages.PaintPage(surface, page);
        writer.EndPage();
        return !surface.LacksCharacter();
    });
    if (painted == PagesPainted::Abandoned)
        return std::nullopt;
    if (painted == PagesPainted::Stopped) {
        file.close();
        removeUnfinished(fileName);
        return false;
    }
    if (!writer.Finish() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        removeUnfinished(fileName);
        throw ReportOutputError(cannotWrite(fileName, reason));
    }
    return true;
}

bool writeSystemPdf(const ReportDocument &document, const QString &fileName, ReportProgress &progress) {
    bool finished = false;
    {
        QPdfWriter writer(fileName);
        // At 720 dots to the inch a device unit is the layout's decipoint.
        writer.setResolution(720);
        writer.setPageLayout(sheetOf(document.Design()));
        writer.setTitle(document.Title());
        writer.setCreator(pdfCreator);
        QPainter painter;
        if (!painter.begin(&writer))
            throw ReportOutputError(QStringLiteral("Não foi possível gravar o arquivo %1.").arg(fileName));
        finished = paintOnDevice(
            document, painter, writer.width(), writer.height(), [&writer] { return writer.newPage(); },
            progress);
        painter.end();
    }
    if (!finished)
        removeUnfinished(fileName);
    return finished;
}

} // namespace

bool WriteReportPdf(const ReportDocument &document, const QString &fileName, ReportProgress &progress) {
    if (const std::optional<bool> written = writeOwnPdf(document, fileName, progress))
        return *written;
    return writeSystemPdf(document, fileName, progress);
}

void SetUpPrinter(const ReportDesign &design, const QString &title, QPrinter &printer) {
    printer.setFullPage(true);
    printer.setPageLayout(sheetOf(design));
    printer.setDocName(title);
}

bool PrintReport(const ReportDocument &document, QPrinter &printer, ReportProgress &progress,
                 bool abortOnStop) {
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportOutputError(QStringLiteral("Não foi possível iniciar a impressão do relatório."));
    const QRect sheet = printer.paperRect(QPrinter::DevicePixel).toRect();
    const bool finished = paintOnDevice(
        document, painter, sheet.width(), sheet.height(), [&printer] { return printer.newPage(); }, progress);
    if (!finished && abortOnStop)
        printer.abort();
    painter.end();
    return finished;
}

QImage RenderReportPage(const ReportDocument &document, int page, int width) {
    const int height = width * document.PageHeight() / document.PageWidth();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    ReportPainter::MapToPage(painter, document, width, height);
    ReportPainter(document).PaintPage(painter, page);
    return image;
}

} // namespace bco
