#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringView>

class QFont;
class QIODevice;

namespace bco {

// A PDF file of texts and lines, written to a device page by page as the pages are drawn, so that a
// document of thousands of pages holds one page in memory. A text is one string of glyph numbers in a font
// embedded as the subset of glyphs the document drew (Identity encoding, with each glyph's characters
// recorded so readers extract the text); its glyphs are placed by the font's own advances, without kerning,
// which is how the caller measured it. Page contents are compressed.
//
// Positions are in points from the page's top left corner, y growing downwards.
class PdfTextWriter {
public:
    PdfTextWriter(QIODevice &device, QSizeF pagePoints, const QString &title, const QString &creator);
    ~PdfTextWriter();
    PdfTextWriter(const PdfTextWriter &) = delete;
    PdfTextWriter &operator=(const PdfTextWriter &) = delete;

    // Makes the face `font` resolves to one to draw with and answers its number, or -1 when its outlines
    // cannot be embedded (a font that is not TrueType). A slant or a weight the system synthesises for the
    // font is synthesised in the file as well.
    int AddFont(const QFont &font);

    void BeginPage();
    // Draws `text` at `size` points, the start of its baseline at `origin`. Answers false when the font
    // lacks one of its characters (drawn as the font's box for a missing character), or when the text holds
    // right-to-left letters or direction marks, which only the system's layout orders as it shows them
    // (drawn in the order stored).
    bool DrawText(int font, qreal size, QPointF origin, QStringView text);
    void DrawLine(QPointF from, QPointF to, qreal width);
    void EndPage();

    // Writes the fonts and the file's index. Answers false when the device refused any write.
    bool Finish();

private:
    struct Font;
    // A font asked for: the face embedded, and what the file must synthesise of what was asked.
    struct Handle {
        int face;
        bool slanted;
        bool emboldened;
        bool operator==(const Handle &) const = default;
    };
    qint64 write(const QByteArray &bytes);
    int reserveObject();
    void startObject(int object);
    void writeStream(int object, const QByteArray &data, const QByteArray &extraEntries = {});
    void writeFont(Font &font);
    void closeText();
    void setLineWidth(qint64 width);

    QIODevice &device_;
    QSizeF page_;
    QString title_;
    QString creator_;
    bool ok_ = true;
    qint64 written_ = 0;
    std::vector<qint64> offsets_; // of each object, by number (0 unused)
    std::vector<int> pages_;
    std::vector<std::unique_ptr<Font>> fonts_; // the faces, each embedded once
    std::vector<Handle> handles_;

    // The page being drawn.
    QByteArray content_;
    bool inText_ = false;
    bool skewed_ = false; // the text matrix holds a slant
    qint64 lineX_ = 0;    // the text line's start, in hundredths of a point
    qint64 lineY_ = 0;
    int textFont_ = -1;     // the face set
    qint64 textSize_ = -1;  // hundredths of a point
    bool stroked_ = false;  // texts are drawn outlined as well as filled
    qint64 lineWidth_ = -1; // hundredths of a point
};

} // namespace bco
