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

} // namespace
} // namespace bco
