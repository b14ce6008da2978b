#include <gtest/gtest.h>

#include "framework/text/whole_characters.h"

namespace bco {
namespace {

TEST(WholeCharacters, AreCutToTheWidthWithoutSplittingACharacterInTwo) {
    const QString smile = QStringLiteral("\U0001F600"); // two UTF-16 units
    const struct Case {
        const char *name;
        QString text;
        qsizetype units;
        QString expected;
    } cases[] = {
        {"a shorter text", QStringLiteral("Tarifa"), 40, QStringLiteral("Tarifa")},
        {"a text cut at the width", QStringLiteral("abcdef"), 4, QStringLiteral("abcd")},
        {"a pair that ends at the width", QStringLiteral("abc") + smile + QStringLiteral("d"), 5,
         QStringLiteral("abc") + smile},
        {"a pair across the width", QStringLiteral("abcd") + smile, 5, QStringLiteral("abcd")},
        {"accented letters are one unit each", QStringLiteral("ação"), 3, QStringLiteral("açã")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString cut = leftWholeCharacters(c.text, c.units);
        EXPECT_EQ(cut, c.expected);
        EXPECT_FALSE(!cut.isEmpty() && cut.back().isHighSurrogate());
    }
}

// What a field of one line may hold, and how a text brought into one (pasted, read from a spreadsheet's
// cell) is made to: a text whose direction a control turns would read as another on the screen and on paper.
TEST(OneLine, TextsOfOneLineAndHowOthersAreMadeSo) {
    const struct Case {
        const char *name;
        QString text;
        bool oneLine;
        QString asField;
    } cases[] = {
        {"letters, blanks and symbols", QStringLiteral("Tarifa – “R$ 5” ✓"), true,
         QStringLiteral("Tarifa – “R$ 5” ✓")},
        {"a cell copied with its line break", QStringLiteral("Tarifa\r\n"), false, QStringLiteral("Tarifa")},
        {"line breaks at the start", QStringLiteral("\n\nTarifa"), false, QStringLiteral("Tarifa")},
        {"a tab and a break inside", QStringLiteral("a\tb\nc"), false, QStringLiteral("a b c")},
        {"a break of two characters inside", QStringLiteral("a\r\nb"), false, QStringLiteral("a b")},
        {"a line separator", QStringLiteral("a\u2028b"), false, QStringLiteral("a b")},
        {"a right-to-left override", QStringLiteral("\u202EEMCA"), false, QStringLiteral(" EMCA")},
        {"a directional isolate", QStringLiteral("a\u2067b\u2069"), false, QStringLiteral("a b ")},
        {"a right-to-left mark", QStringLiteral("a\u200Fb"), false, QStringLiteral("a b")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isOneLine(c.text), c.oneLine);
        EXPECT_EQ(asOneLineField(c.text), c.asField);
    }
}

} // namespace
} // namespace bco
