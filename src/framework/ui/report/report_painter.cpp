#include "framework/ui/report/report_painter.h"

#include <QFile>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include "framework/ui/report/report_progress.h"

namespace bco {

namespace {

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
        for (const QChar c : text)
            width += advance(c);
        return width;
    }

    // The text cut to `room`, with an ellipsis where it was cut.
    QString fitted(const QString &text, qreal room) {
        if (width(text) <= room)
            return text;
        qreal used = ellipsis_;
        qsizetype kept = 0;
        while (kept < text.size() && used + advance(text[kept]) <= room)
            used += advance(text[kept++]);
        return text.left(kept) + QChar(0x2026);
    }

    // The baseline of a line of text whose box starts at `top` and is `lineHeight` high.
    qreal baseline(int top, int lineHeight) const { return top + (lineHeight - height_) / 2 + ascent_; }

private:
    qreal advance(QChar c) {
        auto found = advances_.constFind(c.unicode());
        if (found == advances_.constEnd())
            found = advances_.insert(c.unicode(), QFontMetricsF(font_).horizontalAdvance(c));
        return found.value();
    }

    QFont font_;
    qreal ascent_ = 0;
    qreal height_ = 0;
    qreal ellipsis_ = 0;
    QHash<char16_t, qreal> advances_;
};

enum class Align { Left, Center, Right };

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
};

ReportPainter::ReportPainter(const ReportDocument &document)
    : fonts_(std::make_unique<Fonts>(Fonts{{document.FontSize(), false, false},
                                           {document.FontSize(), true, false},
                                           {document.TitleFontSize(), true, false},
                                           {document.FontSize(), false, true}}))
    , document_(document) {
}

ReportPainter::~ReportPainter() = default;

void ReportPainter::MapToPage(QPainter &painter, const ReportDocument &document, int deviceWidth,
                              int deviceHeight) {
    painter.setViewport(0, 0, deviceWidth, deviceHeight);
    painter.setWindow(0, 0, document.PageWidth(), document.PageHeight());
}

void ReportPainter::PaintPage(QPainter &painter, int page) {
    const ReportDocument &doc = document_;
    const int line = doc.LineHeight();
    const int left = doc.Margin();
    const int right = doc.PageWidth() - doc.Margin();
    const int pad = doc.CellPadding();
    // Setting a font, even the one set, costs the painter a font resolved again; most texts keep the font.
    const QFont *fontSet = nullptr;
    const auto text = [&painter, &fontSet](MeasuredFont &font, const QString &shown, int x0, int x1, int top,
                                           int height, Align align) {
        const QString fitted = font.fitted(shown, x1 - x0);
        if (fitted.isEmpty())
            return;
        const qreal width = font.width(fitted);
        const qreal x = align == Align::Left    ? x0
                        : align == Align::Right ? x1 - width
                                                : x0 + (x1 - x0 - width) / 2;
        if (fontSet != &font.font()) {
            painter.setFont(font.font());
            fontSet = &font.font();
        }
        painter.drawText(QPointF(x, font.baseline(top, height)), fitted);
    };
    const auto rule = [&painter, left, right](int y, qreal width) {
        painter.setPen(QPen(Qt::black, width));
        painter.drawLine(QPointF(left, y), QPointF(right, y));
    };
    const std::vector<ReportColumnBox> &boxes = doc.ColumnBoxes();
    const auto &columns = doc.Design().columns;
    const auto cells = [&](MeasuredFont &font, const ReportBand &band, int top, int height) {
        for (std::size_t c = 0; c < boxes.size(); ++c) {
            const QString shown = doc.CellText(band, static_cast<int>(c));
            if (!shown.isEmpty())
                text(font, shown, boxes[c].left + pad, boxes[c].left + boxes[c].width - pad, top, height,
                     alignOf(columns[c].alignment));
        }
    };

    painter.setPen(Qt::black);
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
            painter.setPen(QPen(Qt::black, line / 16.0));
            painter.drawLine(QPointF(left, lineTop), QPointF(right, lineTop));
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

// Paints every page on a device that is ready, calling `nextPage` between two pages.
bool paintPages(const ReportDocument &document, QPainter &painter, int deviceWidth, int deviceHeight,
                const std::function<bool()> &nextPage, ReportProgress &progress) {
    ReportPainter pages(document);
    const int count = document.PageCount();
    progress.Start(count);
    for (int page = 0; page < count; ++page) {
        if (page > 0 && !nextPage())
            throw ReportOutputError(QStringLiteral("Não foi possível continuar a impressão do relatório."));
        ReportPainter::MapToPage(painter, document, deviceWidth, deviceHeight);
        pages.PaintPage(painter, page);
        if (!progress.Advance(page + 1)) {
            progress.Finish();
            return false;
        }
    }
    progress.Finish();
    return true;
}

QPageLayout sheetOf(const ReportDocument &document) {
    return QPageLayout(QPageSize(QPageSize::A4),
                       document.Design().landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

} // namespace

bool WriteReportPdf(const ReportDocument &document, const QString &fileName, ReportProgress &progress) {
    {
        QFile probe(fileName);
        if (!probe.open(QIODevice::WriteOnly))
            throw ReportOutputError(QStringLiteral("Não foi possível gravar o arquivo %1: %2.")
                                        .arg(fileName, probe.errorString()));
    }
    bool finished = false;
    {
        QPdfWriter writer(fileName);
        // At 720 dots to the inch a device unit is the layout's decipoint.
        writer.setResolution(720);
        writer.setPageLayout(sheetOf(document));
        writer.setTitle(document.Title());
        writer.setCreator(QStringLiteral("Conta Corrente Bancária"));
        QPainter painter;
        if (!painter.begin(&writer))
            throw ReportOutputError(QStringLiteral("Não foi possível gravar o arquivo %1.").arg(fileName));
        finished = paintPages(
            document, painter, writer.width(), writer.height(), [&writer] { return writer.newPage(); },
            progress);
        painter.end();
    }
    if (!finished)
        QFile::remove(fileName);
    return finished;
}

void SetUpPrinter(const ReportDocument &document, QPrinter &printer) {
    printer.setFullPage(true);
    printer.setPageLayout(sheetOf(document));
    printer.setDocName(document.Title());
}

bool PrintReport(const ReportDocument &document, QPrinter &printer, ReportProgress &progress,
                 bool abortOnStop) {
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportOutputError(QStringLiteral("Não foi possível iniciar a impressão do relatório."));
    const QRect sheet = printer.paperRect(QPrinter::DevicePixel).toRect();
    const bool finished = paintPages(
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
