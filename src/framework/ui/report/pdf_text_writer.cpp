#include "framework/ui/report/pdf_text_writer.h"

#include <algorithm>
#include <cmath>

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QIODevice>
#include <QRawFont>

#include "framework/ui/report/true_type_subset.h"

namespace bco {

namespace {

// Page contents are compressed at zlib's quickest level: a report's pages repeat the same few operators,
// which the quickest level already shrinks some tenfold, and the next levels cost several times its time.
constexpr int ContentCompression = 1;

// A position or size in hundredths of a point, the precision the file is written in.
qint64 hundredths(qreal points) {
    return std::llround(points * 100);
}

// Appends a number of hundredths as a PDF number, without trailing zeros.
void appendHundredths(QByteArray &out, qint64 value) {
    if (value < 0) {
        out.append('-');
        value = -value;
    }
    out.append(QByteArray::number(value / 100));
    const auto fraction = static_cast<int>(value % 100);
    if (fraction != 0) {
        out.append('.');
        out.append(static_cast<char>('0' + fraction / 10));
        if (fraction % 10 != 0)
            out.append(static_cast<char>('0' + fraction % 10));
    }
}

void appendHex4(QByteArray &out, quint32 value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.append(digits[value >> shift & 0xf]);
}

QByteArray compressed(const QByteArray &data, int level) {
    // qCompress puts the length in four bytes before the zlib stream, which is what a Flate filter reads.
    return qCompress(data, level).mid(4);
}

// A text string of the document information: UTF-16 with its byte order mark, in hex.
QByteArray textString(const QString &text) {
    QByteArray out = "<FEFF";
    for (const QChar c : text)
        appendHex4(out, c.unicode());
    out.append('>');
    return out;
}

// The PostScript-like name of a face ("DejaVuSans-Bold"), of the characters a name may hold.
QByteArray faceName(const QRawFont &raw) {
    QString name = raw.familyName();
    const QString style = raw.styleName();
    if (!style.isEmpty() && style != u"Book" && style != u"Regular" && style != u"Normal")
        name += u'-' + style;
    QByteArray out;
    for (const QChar c : name)
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-')
            out.append(static_cast<char>(c.unicode()));
    return out.isEmpty() ? QByteArray("Font") : out;
}

} // namespace

struct PdfTextWriter::Font {
    QRawFont raw;
    TrueTypeSubset tables;
    int object = 0;
    // The glyph of each character met, +1 (0: not looked up yet); characters beyond the first plane by hash.
    std::vector<quint16> plane;
    QHash<char32_t, quint32> astral;
    std::vector<bool> used;
    std::vector<char32_t> characterOf; // the first character drawn with each glyph, for text extraction

    explicit Font(const QRawFont &font)
        : raw(font)
        , tables([&font](const char *tag) { return font.fontTable(tag); }) {}

    // The glyph of one character, of one unit or of two (beyond the first plane); 0 when the face lacks it.
    // Qt takes room for a glyph per unit, and fills none when given less.
    quint32 glyphOf(const QChar *chars, int length) {
        quint32 glyphs[2] = {0, 0};
        int count = 2;
        if (!raw.glyphIndexesForChars(chars, length, glyphs, &count))
            return 0;
        return count == 1 && glyphs[0] < static_cast<quint32>(tables.GlyphCount()) ? glyphs[0] : 0;
    }
};

PdfTextWriter::PdfTextWriter(QIODevice &device, QSizeF pagePoints, const QString &title,
                             const QString &creator)
    : device_(device)
    , page_(pagePoints)
    , title_(title)
    , creator_(creator)
    , offsets_(4, 0) {
    // 1: the catalog, 2: the page tree, 3: the document information; written at the end, known from the
    // start.
    write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
}

PdfTextWriter::~PdfTextWriter() = default;

qint64 PdfTextWriter::write(const QByteArray &bytes) {
    if (device_.write(bytes) != bytes.size())
        ok_ = false;
    written_ += bytes.size();
    return bytes.size();
}

int PdfTextWriter::reserveObject() {
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size() - 1);
}

void PdfTextWriter::startObject(int object) {
    offsets_[static_cast<std::size_t>(object)] = written_;
    write(QByteArray::number(object) + " 0 obj\n");
}

void PdfTextWriter::writeStream(int object, const QByteArray &data, const QByteArray &extraEntries) {
    const QByteArray packed = compressed(data, ContentCompression);
    startObject(object);
    write("<< /Length " + QByteArray::number(packed.size()) + " /Filter /FlateDecode" + extraEntries +
          " >>\nstream\n");
    write(packed);
    write("\nendstream\nendobj\n");
}

int PdfTextWriter::AddFont(const QFont &font) {
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return -1;
    // Fonts of one face (the same file, whatever size or style was asked) share its embedded glyphs.
    const QByteArray header = raw.fontTable("head");
    std::size_t face = 0;
    while (face < fonts_.size() && (fonts_[face]->raw.familyName() != raw.familyName() ||
                                    fonts_[face]->raw.fontTable("head") != header))
        ++face;
    if (face == fonts_.size()) {
        auto added = std::make_unique<Font>(raw);
        if (!added->tables.IsUsable())
            return -1;
        added->plane.assign(0x10000, 0);
        added->used.assign(static_cast<std::size_t>(added->tables.GlyphCount()), false);
        added->characterOf.assign(static_cast<std::size_t>(added->tables.GlyphCount()), 0);
        fonts_.push_back(std::move(added));
    }
    // The system draws a slant or a weight the face lacks itself; so does the file.
    const TrueTypeSubset &tables = fonts_[face]->tables;
    const Handle handle{static_cast<int>(face), font.italic() && !tables.IsItalic(),
                        font.bold() && !tables.IsBold()};
    const auto known = std::find(handles_.begin(), handles_.end(), handle);
    if (known != handles_.end())
        return static_cast<int>(known - handles_.begin());
    handles_.push_back(handle);
    return static_cast<int>(handles_.size() - 1);
}

void PdfTextWriter::BeginPage() {
    content_.clear();
    content_.reserve(64 * 1024);
    inText_ = false;
    skewed_ = false;
    textFont_ = -1;
    stroked_ = false;
    lineWidth_ = -1;
}

void PdfTextWriter::setLineWidth(qint64 width) {
    if (lineWidth_ == width)
        return;
    appendHundredths(content_, width);
    content_.append(" w\n");
    lineWidth_ = width;
}

void PdfTextWriter::closeText() {
    if (inText_)
        content_.append("ET\n");
    inText_ = false;
}

namespace {

// Glyphs are drawn one after the other in the order of the text: right for left-to-right text alone.
bool needsTheSystemsLayout(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirPDF:
        case QChar::DirRLI:
        case QChar::DirLRI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            return false;
        }
    });
}

} // namespace

bool PdfTextWriter::DrawText(int fontNumber, qreal size, QPointF origin, QStringView text) {
    const bool orderedAsStored = !needsTheSystemsLayout(text);
    const Handle handle = handles_[static_cast<std::size_t>(fontNumber)];
    Font &font = *fonts_[static_cast<std::size_t>(handle.face)];
    if (!inText_) {
        content_.append("BT\n");
        inText_ = true;
        lineX_ = 0;
        lineY_ = 0;
        skewed_ = false;
        textFont_ = -1;
    }
    const qint64 sizeHundredths = hundredths(size);
    if (textFont_ != handle.face || textSize_ != sizeHundredths) {
        content_.append("/F");
        content_.append(QByteArray::number(handle.face));
        content_.append(' ');
        appendHundredths(content_, sizeHundredths);
        content_.append(" Tf\n");
        textFont_ = handle.face;
        textSize_ = sizeHundredths;
    }
    // A weight the face lacks is drawn as the system draws it: the outline stroked as well as filled. The
    // rendering mode outlives a text object, so it is set whenever it must change.
    if (handle.emboldened)
        setLineWidth(hundredths(size / 30));
    if (handle.emboldened != stroked_) {
        content_.append(handle.emboldened ? "2 Tr\n" : "0 Tr\n");
        stroked_ = handle.emboldened;
    }
    const qint64 x = hundredths(origin.x());
    const qint64 y = hundredths(page_.height() - origin.y());
    if (handle.slanted || skewed_) {
        content_.append(handle.slanted ? "1 0 0.2 1 " : "1 0 0 1 ");
        appendHundredths(content_, x);
        content_.append(' ');
        appendHundredths(content_, y);
        content_.append(" Tm <");
        skewed_ = handle.slanted;
    } else {
        appendHundredths(content_, x - lineX_);
        content_.append(' ');
        appendHundredths(content_, y - lineY_);
        content_.append(" Td <");
    }
    lineX_ = x;
    lineY_ = y;

    bool complete = true;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        quint32 glyph = 0;
        char32_t character = c.unicode();
        if (c.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            character = QChar::surrogateToUcs4(c, text[at + 1]);
            const auto found = font.astral.constFind(character);
            glyph = found != font.astral.constEnd()
                        ? found.value()
                        : font.astral.insert(character, font.glyphOf(text.data() + at, 2)).value();
            ++at;
        } else {
            quint16 &known = font.plane[c.unicode()];
            if (known == 0)
                known = static_cast<quint16>(font.glyphOf(&c, 1) + 1);
            glyph = known - 1u;
        }
        if (glyph == 0)
            complete = false;
        font.used[glyph] = true;
        if (font.characterOf[glyph] == 0)
            font.characterOf[glyph] = character;
        appendHex4(content_, glyph);
    }
    content_.append("> Tj\n");
    return complete && orderedAsStored;
}

void PdfTextWriter::DrawLine(QPointF from, QPointF to, qreal width) {
    closeText();
    setLineWidth(hundredths(width));
    appendHundredths(content_, hundredths(from.x()));
    content_.append(' ');
    appendHundredths(content_, hundredths(page_.height() - from.y()));
    content_.append(" m ");
    appendHundredths(content_, hundredths(to.x()));
    content_.append(' ');
    appendHundredths(content_, hundredths(page_.height() - to.y()));
    content_.append(" l S\n");
}

void PdfTextWriter::EndPage() {
    closeText();
    const int contents = reserveObject();
    writeStream(contents, content_);
    const int page = reserveObject();
    startObject(page);
    write("<< /Type /Page /Parent 2 0 R /Contents " + QByteArray::number(contents) + " 0 R >>\nendobj\n");
    pages_.push_back(page);
    content_.clear();
}

void PdfTextWriter::writeFont(Font &font) {
    const TrueTypeSubset &tables = font.tables;
    const auto units = [&tables](int value) {
        return QByteArray::number(std::lround(value * 1000.0 / tables.UnitsPerEm()));
    };
    // A subset's name starts with six capitals of its own, so that a reader never takes it for the whole
    // face.
    font.object = reserveObject();
    const QByteArray name =
        "BCOAA" + QByteArray(1, static_cast<char>('A' + (font.object % 26))) + '+' + faceName(font.raw);
    const int descendant = reserveObject();
    const int descriptor = reserveObject();
    const int file = reserveObject();
    const int toUnicode = reserveObject();

    startObject(font.object);
    write("<< /Type /Font /Subtype /Type0 /BaseFont /" + name + " /Encoding /Identity-H /DescendantFonts [" +
          QByteArray::number(descendant) + " 0 R] /ToUnicode " + QByteArray::number(toUnicode) +
          " 0 R >>\nendobj\n");

    QByteArray widths;
    int runEnd = -2;
    for (int glyph = 0; glyph < static_cast<int>(font.used.size()); ++glyph) {
        if (!font.used[static_cast<std::size_t>(glyph)])
            continue;
        if (glyph != runEnd + 1) {
            if (runEnd >= 0)
                widths.append("] ");
            widths.append(QByteArray::number(glyph) + " [");
        } else {
            widths.append(' ');
        }
        // Widths keep their hundredths, so that a long text ends where it was measured to end.
        appendHundredths(widths, hundredths(tables.Advance(glyph) * 1000.0 / tables.UnitsPerEm()));
        runEnd = glyph;
    }
    if (runEnd >= 0)
        widths.append(']');
    startObject(descendant);
    write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
          " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
          QByteArray::number(descriptor) + " 0 R /CIDToGIDMap /Identity /W [" + widths + "] >>\nendobj\n");

    startObject(descriptor);
    write("<< /Type /FontDescriptor /FontName /" + name + " /Flags 32 /FontBBox [" + units(tables.XMin()) +
          ' ' + units(tables.YMin()) + ' ' + units(tables.XMax()) + ' ' + units(tables.YMax()) +
          "] /ItalicAngle " + (tables.IsItalic() ? "-11" : "0") + " /Ascent " + units(tables.Ascent()) +
          " /Descent " + units(tables.Descent()) + " /CapHeight " + units(tables.Ascent()) +
          " /StemV 80 /FontFile2 " + QByteArray::number(file) + " 0 R >>\nendobj\n");

    const QByteArray program = tables.Subset(font.used);
    writeStream(file, program, " /Length1 " + QByteArray::number(program.size()));

    QByteArray map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                     "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                     "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<int> mapped;
    for (int glyph = 1; glyph < static_cast<int>(font.characterOf.size()); ++glyph)
        if (font.characterOf[static_cast<std::size_t>(glyph)] != 0)
            mapped.push_back(glyph);
    // A block of a CMap holds at most 100 entries.
    for (std::size_t first = 0; first < mapped.size(); first += 100) {
        const std::size_t last = std::min(mapped.size(), first + 100);
        map.append(QByteArray::number(static_cast<qulonglong>(last - first)) + " beginbfchar\n");
        for (std::size_t i = first; i < last; ++i) {
            const int glyph = mapped[i];
            map.append('<');
            appendHex4(map, static_cast<quint32>(glyph));
            map.append("> <");
            const char32_t character = font.characterOf[static_cast<std::size_t>(glyph)];
            if (QChar::requiresSurrogates(character)) {
                appendHex4(map, QChar::highSurrogate(character));
                appendHex4(map, QChar::lowSurrogate(character));
            } else {
                appendHex4(map, static_cast<quint32>(character));
            }
            map.append(">\n");
        }
        map.append("endbfchar\n");
    }
    map.append("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    writeStream(toUnicode, map);
}

bool PdfTextWriter::Finish() {
    // A font no page drew with is left out of the file.
    const auto drawn = [](const Font &font) {
        return std::find(font.used.begin(), font.used.end(), true) != font.used.end();
    };
    for (const auto &font : fonts_)
        if (drawn(*font))
            writeFont(*font);

    startObject(1);
    write("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    QByteArray tree = "<< /Type /Pages /Count " + QByteArray::number(static_cast<qulonglong>(pages_.size())) +
                      " /MediaBox [0 0 ";
    appendHundredths(tree, hundredths(page_.width()));
    tree.append(' ');
    appendHundredths(tree, hundredths(page_.height()));
    tree.append("] /Resources << /Font <<");
    for (std::size_t font = 0; font < fonts_.size(); ++font)
        if (drawn(*fonts_[font]))
            tree.append(" /F" + QByteArray::number(static_cast<qulonglong>(font)) + ' ' +
                        QByteArray::number(fonts_[font]->object) + " 0 R");
    tree.append(" >> >> /Kids [");
    for (const int page : pages_)
        tree.append(QByteArray::number(page) + " 0 R ");
    tree.append("] >>\nendobj\n");
    startObject(2);
    write(tree);
    startObject(3);
    write("<< /Title " + textString(title_) + " /Creator " + textString(creator_) + " /CreationDate (D:" +
          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() +
          "Z) >>\nendobj\n");

    const qint64 index = written_;
    QByteArray xref =
        "xref\n0 " + QByteArray::number(static_cast<qulonglong>(offsets_.size())) + "\n0000000000 65535 f \n";
    for (std::size_t object = 1; object < offsets_.size(); ++object)
        xref.append(QByteArray::number(offsets_[object]).rightJustified(10, '0') + " 00000 n \n");
    write(xref);
    write("trailer\n<< /Size " + QByteArray::number(static_cast<qulonglong>(offsets_.size())) +
          " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" + QByteArray::number(index) + "\n%%EOF\n");
    return ok_;
}

} // namespace bco
