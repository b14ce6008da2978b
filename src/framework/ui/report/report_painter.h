#pragma once

#include <memory>
#include <stdexcept>
#include <vector>

#include <QImage>
#include <QPointF>
#include <QString>

#include "framework/report/report_document.h"

class QFont;
class QPainter;
class QPrinter;

namespace bco {

class ReportProgress;

// An output that could not be written (a file that cannot be created), with the operator's message.
class ReportOutputError : public std::runtime_error {
public:
    explicit ReportOutputError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// What a page is painted on: texts at a baseline and lines, in the page's decipoints from its top left
// corner. A font given is one of the painter's own, the same object for every text of that font.
class ReportSurface {
public:
    virtual ~ReportSurface() = default;
    virtual void DrawText(const QFont &font, QPointF baseline, const QString &text) = 0;
    virtual void DrawLine(QPointF from, QPointF to, qreal width) = 0;
};

// Paints the pages of a report document. The painter's logical coordinates must be the page's decipoints
// (MapToPage does that for any device); letters are DejaVu Sans at the design's size, a text too wide for
// its column is drawn smaller, down to half the size, and cut with an ellipsis past that. Widths are summed
// from a cache of each character's advance, so a page costs its texts and no text layout.
class ReportPainter {
public:
    explicit ReportPainter(const ReportDocument &document);
    ~ReportPainter();
    ReportPainter(const ReportPainter &) = delete;
    ReportPainter &operator=(const ReportPainter &) = delete;

    void PaintPage(QPainter &painter, int page);
    void PaintPage(ReportSurface &surface, int page);
    // Every font the pages are painted with.
    std::vector<const QFont *> PageFonts() const;

    // Makes the painter's coordinates the page's decipoints over `deviceWidth` by `deviceHeight`.
    static void MapToPage(QPainter &painter, const ReportDocument &document, int deviceWidth,
                          int deviceHeight);

private:
    struct Fonts;
    std::unique_ptr<Fonts> fonts_;
    const ReportDocument &document_;
};

// Writes every page to a PDF file, page by page, telling `progress` of each. Answers false when the
// operator stopped it (the file is then removed). Throws ReportOutputError when the file cannot be written
// whole (nothing is left of it then). The file embeds the glyphs the pages use, of the fonts the pages are
// measured with; when those fonts cannot be embedded so, or lack a character a page shows, it is written
// again through the system's PDF device, whose fonts stand in for the missing characters.
bool WriteReportPdf(const ReportDocument &document, const QString &fileName, ReportProgress &progress);

// Prints every page on a printer the operator chose, as WriteReportPdf; when stopped, the print job is
// abandoned when `abortOnStop` (a preview keeps the pages painted). A printer that cannot start throws
// ReportOutputError.
bool PrintReport(const ReportDocument &document, QPrinter &printer, ReportProgress &progress,
                 bool abortOnStop = true);

// Sets a printer up for the sheet of the design titled so: A4, upright or across, the whole sheet painted.
void SetUpPrinter(const ReportDesign &design, const QString &title, QPrinter &printer);

// A picture of one page, `width` pixels wide, on white (the designer's preview).
QImage RenderReportPage(const ReportDocument &document, int page, int width);

} // namespace bco
