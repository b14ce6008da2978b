#include <algorithm>
#include <functional>
#include <vector>

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/case_name.h"

#include "framework/ui/report/pdf_text_writer.h"
#include "framework/ui/report/true_type_subset.h"

namespace bco {
namespace {

QRawFont rawFont(bool bold, int pixelSize = 100) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return QRawFont::fromFont(font);
}

TrueTypeSubset::TableReader tablesOf(const QRawFont &font) {
    return [font](const char *tag) {
        return font.fontTable(tag);
    };
}

// A subset draws every glyph of the texts it was made for, accented letters built of parts included, exactly
// as the whole face does, and nothing else.
struct SubsetCase {
    const char *name;
    bool bold;
    QString drawn;
    QString notDrawn;
};

const SubsetCase subsetCases[] = {
    {"plain letters and figures", false, QStringLiteral("Saldo 1.234,56"), QStringLiteral("QZ")},
    {"the accents of Portuguese", false, QStringLiteral("Lançamentos Crédito Débito Ação"),
     QStringLiteral("x")},
    {"a bold face", true, QStringLiteral("Página 1 de 2 – Emissão"), QStringLiteral("w")},
};

class SubsetOfAFace : public ::testing::TestWithParam<SubsetCase> {};

TEST_P(SubsetOfAFace, drawsTheGlyphsUsedAsTheWholeFaceDoesAndNoOthers) {
    const SubsetCase &c = GetParam();
    const QRawFont whole = rawFont(c.bold);
    ASSERT_TRUE(whole.isValid());
    const TrueTypeSubset tables(tablesOf(whole));
    ASSERT_TRUE(tables.IsUsable());
    std::vector<bool> used(static_cast<std::size_t>(tables.GlyphCount()), false);
    const QList<quint32> drawn = whole.glyphIndexesForString(c.drawn);
    for (const quint32 glyph : drawn)
        used[glyph] = true;

    const QRawFont subset(tables.Subset(used), 100, QFont::PreferNoHinting);
    ASSERT_TRUE(subset.isValid());
    for (const quint32 glyph : drawn) {
        EXPECT_EQ(subset.pathForGlyph(glyph), whole.pathForGlyph(glyph)) << "glyph " << glyph;
        EXPECT_EQ(subset.advancesForGlyphIndexes({glyph}), whole.advancesForGlyphIndexes({glyph}));
        // The system keeps advances in 64ths of a pixel.
        EXPECT_NEAR(tables.Advance(static_cast<int>(glyph)) * 100.0 / tables.UnitsPerEm(),
                    whole.advancesForGlyphIndexes({glyph}).at(0).x(), 1.0 / 64);
    }
    for (const quint32 glyph : whole.glyphIndexesForString(c.notDrawn)) {
        EXPECT_FALSE(whole.pathForGlyph(glyph).isEmpty());
        EXPECT_TRUE(subset.pathForGlyph(glyph).isEmpty()) << "glyph " << glyph;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SubsetOfAFace, ::testing::ValuesIn(subsetCases), CaseName());

// A face's tables are the system's files: cut or inconsistent ones make it unusable or lose outlines, never
// read past a table.
struct BrokenFaceCase {
    const char *name;
    std::function<void(const char *tag, QByteArray &table)> damage;
    bool usable;
};

const BrokenFaceCase brokenFaceCases[] = {
    {"no outlines, as a face of other outlines",
     [](const char *tag, QByteArray &table) {
         if (qstrcmp(tag, "glyf") == 0)
             table.clear();
     },
     false},
    {"an index shorter than the glyph count",
     [](const char *tag, QByteArray &table) {
         if (qstrcmp(tag, "loca") == 0)
             table.truncate(table.size() / 2);
     },
     false},
    {"a header cut short",
     [](const char *tag, QByteArray &table) {
         if (qstrcmp(tag, "head") == 0)
             table.truncate(20);
     },
     false},
    {"an index pointing past the outlines",
     [](const char *tag, QByteArray &table) {
         if (qstrcmp(tag, "glyf") == 0)
             table.truncate(table.size() / 3);
     },
     true},
    {"an index of zeros",
     [](const char *tag, QByteArray &table) {
         if (qstrcmp(tag, "loca") == 0)
             table.fill('\0');
     },
     true},
};

class BrokenFace : public ::testing::TestWithParam<BrokenFaceCase> {};

TEST_P(BrokenFace, isRefusedOrSubsetWithinItsTables) {
    const BrokenFaceCase &c = GetParam();
    const QRawFont whole = rawFont(false);
    const TrueTypeSubset tables([&](const char *tag) {
        QByteArray table = whole.fontTable(tag);
        c.damage(tag, table);
        return table;
    });
    ASSERT_EQ(tables.IsUsable(), c.usable);
    std::vector<bool> everyGlyph(static_cast<std::size_t>(whole.fontTable("maxp").size() >= 6 ? 65536 : 0),
                                 true);
    const QByteArray subset = tables.Subset(everyGlyph);
    EXPECT_EQ(subset.isEmpty(), !c.usable);
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenFace, ::testing::ValuesIn(brokenFaceCases), CaseName());

// A device that takes a given number of bytes and refuses the rest, as a full disk does.
class FillingDevice : public QIODevice {
public:
    explicit FillingDevice(qint64 room)
        : room_(room) {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override {
        if (length > room_)
            return -1;
        room_ -= length;
        return length;
    }

private:
    qint64 room_;
};

QString run(const QString &program, const QStringList &arguments, QString *errors = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
    if (errors)
        *errors = QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

struct Word {
    int page;
    QString text;
    double xMin, yMin, xMax, yMax;
};

// The words of a PDF's pages and their boxes, in points from each page's top left corner, as a reader finds
// them.
std::vector<Word> wordsOf(const QString &file) {
    const QString html =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), file, QStringLiteral("-")});
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<Word> words;
    const QStringList pages = html.split(QStringLiteral("<page "));
    for (int page = 1; page < pages.size(); ++page)
        for (auto match = word.globalMatch(pages[page]); match.hasNext();) {
            const auto found = match.next();
            words.push_back({page - 1, found.captured(5), found.captured(1).toDouble(),
                             found.captured(2).toDouble(), found.captured(3).toDouble(),
                             found.captured(4).toDouble()});
        }
    return words;
}

// The width of a text at `size` points, from the face's own advances.
double widthOf(const QFont &font, const QString &text, double size) {
    const QRawFont face = QRawFont::fromFont(font);
    const TrueTypeSubset tables(tablesOf(face));
    double width = 0;
    for (const quint32 glyph : face.glyphIndexesForString(text))
        width += tables.Advance(static_cast<int>(glyph));
    return width * size / tables.UnitsPerEm();
}

// What the report's writer draws, read back by another program: each word where it was put, as wide as the
// face measures it, in the face it was measured with, on the page it was drawn on.
TEST(PdfTextWriter, placesEachTextWhereAndAsWideAsItWasMeasured) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("texto.pdf"));
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(10);
    QFont bold = body;
    bold.setBold(true);
    QFont title = bold;
    title.setPixelSize(14);
    struct Drawn {
        const QFont *font;
        QPointF origin;
        QString text;
    };
    const std::vector<std::vector<Drawn>> pages = {
        {{&title, {300, 40}, QStringLiteral("Lançamentos")},
         {&body, {72, 100}, QStringLiteral("Crédito")},
         {&body, {400.25, 100}, QStringLiteral("1.234,56")},
         {&bold, {72, 700.5}, QStringLiteral("Página")}},
        {{&body, {72, 100}, QStringLiteral("Débito")}, {&bold, {250, 120}, QStringLiteral("Ação")}},
    };
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        PdfTextWriter writer(file, QSizeF(595, 842), QStringLiteral("Relatório"), QStringLiteral("Teste"));
        const int bodyFont = writer.AddFont(body);
        const int boldFont = writer.AddFont(bold);
        ASSERT_GE(bodyFont, 0);
        ASSERT_GE(boldFont, 0);
        EXPECT_EQ(writer.AddFont(title), boldFont) << "a face at another size is the same font";
        for (const auto &page : pages) {
            writer.BeginPage();
            for (const Drawn &drawn : page)
                EXPECT_TRUE(writer.DrawText(drawn.font == &body ? bodyFont : boldFont,
                                            drawn.font->pixelSize(), drawn.origin, drawn.text));
            writer.DrawLine({72, 110}, {520, 110}, 0.5);
            writer.EndPage();
        }
        ASSERT_TRUE(writer.Finish());
    }

    const std::vector<Word> words = wordsOf(path);
    std::size_t count = 0;
    for (std::size_t page = 0; page < pages.size(); ++page)
        for (const Drawn &drawn : pages[page]) {
            ++count;
            const auto word = std::find_if(words.begin(), words.end(), [&](const Word &candidate) {
                return candidate.page == static_cast<int>(page) && candidate.text == drawn.text;
            });
            ASSERT_NE(word, words.end()) << drawn.text.toStdString() << " on page " << page + 1;
            EXPECT_NEAR(word->xMin, drawn.origin.x(), 0.02) << drawn.text.toStdString();
            EXPECT_NEAR(word->xMax - word->xMin, widthOf(*drawn.font, drawn.text, drawn.font->pixelSize()),
                        0.02)
                << drawn.text.toStdString();
            // The baseline lies between the word's top and bottom, nearer the bottom.
            EXPECT_LT(word->yMin, drawn.origin.y() - drawn.font->pixelSize() * 0.5);
            EXPECT_GT(word->yMax, drawn.origin.y());
            EXPECT_LT(word->yMax, drawn.origin.y() + drawn.font->pixelSize() * 0.5);
        }
    EXPECT_EQ(words.size(), count);

    const QString fonts = run(QStringLiteral("pdffonts"), {path});
    EXPECT_EQ(fonts.count(QRegularExpression(
                  QStringLiteral(R"(\+DejaVuSans\s+CID TrueType\s+Identity-H\s+yes yes yes)"))),
              1)
        << fonts.toStdString();
    EXPECT_EQ(fonts.count(QRegularExpression(
                  QStringLiteral(R"(\+DejaVuSans-Bold\s+CID TrueType\s+Identity-H\s+yes yes yes)"))),
              1)
        << fonts.toStdString();
    const QString info = run(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral(R"(Title:\s+Relatório)"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral(R"(Pages:\s+2\n)")))) << info.toStdString();
    // Drawing the pages reads every glyph's outline: a reader finds nothing to complain of.
    QString errors;
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("20"), path, folder.filePath(QStringLiteral("p"))}, &errors);
    EXPECT_EQ(errors, QString());
}

// How far right the top of a letter l drawn at 100 points stands from its foot, in pixels at 72 dots to the
// inch: an italic one leans whether the system has an italic face of the font or slants the upright one.
double leanOfL(bool italic) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("l.pdf"));
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        PdfTextWriter writer(file, QSizeF(300, 300), QString(), QString());
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(100);
        font.setItalic(italic);
        const int number = writer.AddFont(font);
        writer.BeginPage();
        writer.DrawText(number, 100, {100, 200}, u"l");
        writer.EndPage();
        EXPECT_TRUE(writer.Finish());
    }
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-gray"),
                                     QStringLiteral("-png"), path, folder.filePath(QStringLiteral("l"))});
    const QImage page(folder.filePath(QStringLiteral("l-1.png")));
    std::vector<double> centres; // of the dark pixels of each row that has some
    for (int y = 0; y < page.height(); ++y) {
        double sum = 0;
        int count = 0;
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128) {
                sum += x;
                ++count;
            }
        if (count > 0)
            centres.push_back(sum / count);
    }
    if (centres.size() < 20) {
        ADD_FAILURE() << "the letter was not drawn";
        return 0;
    }
    return centres[5] - centres[centres.size() - 6];
}

TEST(PdfTextWriter, drawsAnItalicTextLeaning) {
    EXPECT_NEAR(leanOfL(false), 0, 1);
    // An l some 73 pixels tall leans by about a fifth of that.
    EXPECT_GT(leanOfL(true), 8);
}

TEST(PdfTextWriter, saysWhichTextsItCannotDrawAsTheSystemShowsThem) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PdfTextWriter writer(buffer, QSizeF(595, 842), QString(), QString());
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(10);
    const int font = writer.AddFont(body);
    writer.BeginPage();
    EXPECT_TRUE(writer.DrawText(font, 10, {10, 10}, QStringLiteral("São Paulo")));
    EXPECT_TRUE(writer.DrawText(font, 10, {10, 20}, QString::fromUcs4(U"Sorriso \U0001F600")))
        << "a character beyond the first plane that the face holds";
    EXPECT_FALSE(writer.DrawText(font, 10, {10, 30}, QStringLiteral("Filial 東京")));
    EXPECT_FALSE(writer.DrawText(font, 10, {10, 40}, QString::fromUcs4(U"\U00020000")));
    // Letters the face holds, but which read from right to left, or a mark that reorders what follows.
    EXPECT_FALSE(writer.DrawText(font, 10, {10, 50}, QStringLiteral("Doação שלום עולם 12")));
    EXPECT_FALSE(writer.DrawText(font, 10, {10, 60}, QStringLiteral("مرحبا")));
    EXPECT_FALSE(writer.DrawText(font, 10, {10, 70}, QStringLiteral("Pagto \u202ELATOT 00,009\u202C ok")));
    writer.EndPage();
    EXPECT_TRUE(writer.Finish());
}

TEST(PdfTextWriter, answersFalseWhenTheDeviceRefusesToTakeTheFile) {
    for (const qint64 room : {qint64{0}, qint64{100}, qint64{2000}}) {
        FillingDevice device(room);
        PdfTextWriter writer(device, QSizeF(595, 842), QString(), QString());
        QFont body(QStringLiteral("DejaVu Sans"));
        body.setPixelSize(10);
        const int font = writer.AddFont(body);
        writer.BeginPage();
        writer.DrawText(font, 10, {10, 10}, QStringLiteral("Saldo"));
        writer.EndPage();
        EXPECT_FALSE(writer.Finish()) << room;
    }
}

} // namespace
} // namespace bco
