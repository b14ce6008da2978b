#pragma once

#include <functional>
#include <vector>

#include <QByteArray>

namespace bco {

// A TrueType font reduced to the glyphs a document draws, for embedding in it. Glyph numbers stay those of
// the whole font (a glyph not drawn keeps its number and loses its outline), so a text can name its glyphs
// by their numbers in the font it was measured with; the parts a composite glyph is built of are kept with
// it. Only the tables a reader needs to draw are written: the outlines, their index, the metrics and the
// hinting programs.
class TrueTypeSubset {
public:
    // The font's table of that tag ("glyf", "head", ...), empty when it has none.
    using TableReader = std::function<QByteArray(const char *tag)>;

    explicit TrueTypeSubset(const TableReader &table);

    // False when the font is not one this class reads (outlines that are not TrueType's, a table cut short):
    // such a font cannot be embedded this way.
    bool IsUsable() const { return usable_; }
    int GlyphCount() const { return glyphCount_; }
    int UnitsPerEm() const { return unitsPerEm_; }
    // The glyph's advance in the font's units.
    int Advance(int glyph) const;
    // The font's box and vertical extent, in its units.
    int XMin() const { return xMin_; }
    int YMin() const { return yMin_; }
    int XMax() const { return xMax_; }
    int YMax() const { return yMax_; }
    // What the face's header says of its style.
    bool IsBold() const { return (macStyle_ & 1) != 0; }
    bool IsItalic() const { return (macStyle_ & 2) != 0; }
    int Ascent() const { return ascent_; }
    int Descent() const { return descent_; }

    // The font file holding the outlines of `used` (flags by glyph number), of glyph 0 and of the parts
    // they are built of. Empty when the font is not usable.
    QByteArray Subset(const std::vector<bool> &used) const;

private:
    // Where a glyph's outline lies in the glyf table; empty for a glyph without one.
    std::pair<quint32, quint32> outlineOf(int glyph) const;
    void addComponents(int glyph, std::vector<bool> &kept) const;

    QByteArray head_, hhea_, maxp_, hmtx_, loca_, glyf_, cvt_, fpgm_, prep_;
    bool usable_ = false;
    bool longOffsets_ = false;
    int glyphCount_ = 0;
    int unitsPerEm_ = 1000;
    int metricCount_ = 0;
    quint32 macStyle_ = 0;
    int xMin_ = 0, yMin_ = 0, xMax_ = 0, yMax_ = 0, ascent_ = 0, descent_ = 0;
};

} // namespace bco
