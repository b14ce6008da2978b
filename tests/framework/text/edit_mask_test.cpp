#include <optional>

#include <gtest/gtest.h>

#include "framework/text/edit_mask.h"
#include "support/qt_printers.h"
#include "support/case_name.h"

using namespace bco;

namespace bco {
void PrintTo(const MaskEdit &edit, std::ostream *out) {
    *out << '"' << edit.text.toStdString() << "\" caret " << edit.selStart << " selection " << edit.selLength;
}
} // namespace bco

namespace {

struct MaskCase {
    const char *name;
    QString mask, stored, shown;
};

const MaskCase formatCases[] = {
    {"agency keeps its hyphen", "9999-9;0; ", "12345", "1234-5"},
    {"company tax number", "99.999.999/9999-99;0; ", "12345678000195", "12.345.678/0001-95"},
    {"individual tax number", "999.999.999-99;0; ", "12345678909", "123.456.789-09"},
    {"a short value leaves blanks at the end", "9999-9;0;_", "123", "123_-_"},
    {"an empty value shows nothing", "9999-9;0; ", "", ""},
    {"an all-blank value shows nothing", "9999-9;0; ", "   ", ""},
    {"a value longer than the mask shows as stored", "9999-9;0; ", "1234567", "1234567"},
    {"stored literals are taken in place", "99/99/9999;1;_", "01/02/2024", "01/02/2024"},
    {"stored literals out of place show as stored", "99/99/9999;1;_", "01022024", "01022024"},
    {"literals are kept by default", "99-99", "12-34", "12-34"},
    {"upper-case switch", ">aaa;0; ", "abc", "ABC"},
    {"lower-case switch", "<LL;0; ", "AB", "ab"},
    {"<> ends a case switch", ">a<>a;0; ", "ab", "Ab"},
    {"an escaped mask character is a literal", "\\99;0;_", "5", "95"},
    {"no mask passes the value through", "", "abc", "abc"},
};

class FormatMaskTextTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(FormatMaskTextTest, ShowsTheStoredValueAsTheOperatorSeesIt) {
    EXPECT_EQ(FormatMaskText(GetParam().mask, GetParam().stored), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Masks, FormatMaskTextTest, ::testing::ValuesIn(formatCases), CaseName());

TEST(EditMaskTest, ReadsTheFieldsOfTheDefinition) {
    const EditMask agency("9999-9;0; ");
    EXPECT_EQ(agency.length(), 6);
    EXPECT_FALSE(agency.savesLiterals());
    EXPECT_EQ(agency.blank(), QLatin1Char(' '));
    const EditMask bare("99-99");
    EXPECT_TRUE(bare.savesLiterals());
    EXPECT_EQ(bare.blank(), QLatin1Char('_'));
    EXPECT_EQ(EditMask("\\;9;0;*").length(), 2);
    EXPECT_EQ(EditMask("\\;9;0;*").blank(), QLatin1Char('*'));
}

TEST(EditMaskTest, StoredValueDropsLiteralsAndTrailingBlanks) {
    const EditMask agency("9999-9;0;_");
    EXPECT_EQ(agency.storedValue("123_-_"), "123");
    EXPECT_EQ(agency.storedValue("1_34-5"), "1 345");
    EXPECT_EQ(agency.storedValue(agency.editText("98765")), "98765");
    EXPECT_EQ(EditMask("99/99;1;_").storedValue("12/3_"), "12/3");
}

TEST(EditMaskTest, BlankWhenNothingButLiteralsAndBlanksIsTyped) {
    const EditMask optional("9999-9;0;_");
    EXPECT_TRUE(optional.isBlank("____-_"));
    EXPECT_FALSE(optional.isBlank("___1-_"));
}

// The expected text is empty when the key must be refused.
struct TypeCase {
    const char *name;
    QString mask, text;
    int selStart, selLength;
    char16_t key;
    QString expected;
    int caret;
};

const TypeCase typeCases[] = {
    {"a digit fills the blank and steps over the hyphen", "9999-9;0;_", "123_-_", 3, 0, '4', "1234-_", 5},
    {"a letter is refused where a digit goes", "9999-9;0;_", "123_-_", 3, 0, 'x', "", 0},
    {"typing on a literal fills the next position", "9999-9;0;_", "1234-_", 4, 0, '5', "1234-5", 6},
    {"typing the literal under the caret steps over it", "9999-9;0;_", "1234-_", 4, 0, '-', "1234-_", 5},
    {"typing the literal just stepped over changes nothing", "9999-9;0;_", "1234-_", 5, 0, '-', "1234-_", 5},
    {"a full mask refuses a key at the end", "9999-9;0;_", "1234-5", 6, 0, '7', "", 0},
    {"typing overwrites a digit", "9999-9;0;_", "1234-5", 1, 0, '9', "1934-5", 2},
    {"a selection is cleared before the key", "9999-9;0;_", "1234-5", 2, 4, '9', "129_-_", 3},
    {"a refused key keeps the selection", "9999-9;0;_", "1234-5", 2, 4, 'x', "", 0},
    {"upper-case switch converts", ">LL;0;_", "__", 0, 0, 'a', "A_", 1},
    {"lower-case switch converts", "<ll;0;_", "__", 0, 0, 'Q', "q_", 1},
    {"a letter position refuses a digit", "LL;0;_", "__", 0, 0, '1', "", 0},
    {"an alphanumeric position takes a digit", "AA;0;_", "__", 0, 0, '7', "7_", 1},
    {"an alphanumeric position refuses punctuation", "AA;0;_", "__", 0, 0, '-', "", 0},
    {"an any-character position takes punctuation", "CC;0;_", "__", 0, 0, '-', "-_", 1},
    {"a sign position takes a minus", "#99;0;_", "___", 0, 0, '-', "-__", 1},
    {"a sign position refuses a letter", "#99;0;_", "___", 0, 0, 'a', "", 0},
    {"an escaped literal is stepped over", "\\A9;0;_", "A_", 0, 0, '5', "A5", 2},
    {"a blank empties an optional position", "9999;0;_", "1234", 1, 0, ' ', "1_34", 2},
    {"a blank is refused in a required position", "0000;0;_", "1234", 1, 0, ' ', "", 0},
    {"a text of the wrong length is brought to shape", "9999-9;0;_", "", 0, 0, '1', "1___-_", 1},
    {"a caret beyond the text is brought to its end", "9999-9;0;_", "1234-_", 40, 0, '1', "", 0},
    {"no mask inserts the key", "", "ac", 1, 0, 'b', "abc", 2},
};

class TypingTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypingTest, TypesAsTheMaskAllows) {
    const TypeCase &c = GetParam();
    const std::optional<MaskEdit> typed =
        EditMask(c.mask).type({c.text, c.selStart, c.selLength}, QChar(c.key));
    if (c.expected.isEmpty()) {
        EXPECT_FALSE(typed.has_value()) << typed->text.toStdString();
        return;
    }
    ASSERT_TRUE(typed.has_value());
    EXPECT_EQ(*typed, (MaskEdit{c.expected, c.caret, 0}));
}

INSTANTIATE_TEST_SUITE_P(Keys, TypingTest, ::testing::ValuesIn(typeCases), CaseName());

struct DeleteCase {
    const char *name;
    bool backspace;
    int selStart, selLength;
    QString expected;
    int caret;
};

// Every case starts from "1234-5" in "9999-9;0;_".
const DeleteCase deleteCases[] = {
    {"backspace after the hyphen clears the digit before it", true, 5, 0, "123_-5", 3},
    {"backspace at the start does nothing", true, 0, 0, "1234-5", 0},
    {"backspace clears a selection and keeps its literal", true, 2, 4, "12__-_", 2},
    {"delete on the hyphen clears the digit after it", false, 4, 0, "1234-_", 5},
    {"delete clears the digit under the caret without shifting", false, 1, 0, "1_34-5", 1},
    {"delete at the end does nothing", false, 6, 0, "1234-5", 6},
    {"delete clears a selection and keeps its literal", false, 3, 2, "123_-5", 3},
};

class DeletingTest : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeletingTest, ClearsToBlankAndKeepsLiterals) {
    const DeleteCase &c = GetParam();
    const EditMask mask("9999-9;0;_");
    const MaskEdit before{"1234-5", c.selStart, c.selLength};
    const MaskEdit after = c.backspace ? mask.backspace(before) : mask.deleteForward(before);
    EXPECT_EQ(after, (MaskEdit{c.expected, c.caret, 0}));
}

INSTANTIATE_TEST_SUITE_P(Keys, DeletingTest, ::testing::ValuesIn(deleteCases), CaseName());

TEST(PasteTest, TakesAValueWithOrWithoutItsPunctuation) {
    const EditMask company("99.999.999/9999-99;0; ");
    const MaskEdit empty{company.blankText(), 0, 0};
    for (const QString &pasted : {QString("12.345.678/0001-95"), QString(" 12345678000195 ")}) {
        const std::optional<MaskEdit> result = company.paste(empty, pasted);
        ASSERT_TRUE(result.has_value()) << pasted.toStdString();
        EXPECT_EQ(result->text, "12.345.678/0001-95");
        EXPECT_EQ(company.storedValue(result->text), "12345678000195");
    }
}

TEST(PasteTest, RefusesTheWholeTextWhenOneCharacterDoesNotFit) {
    const EditMask agency("9999-9;0;_");
    const MaskEdit before{"____-_", 0, 0};
    EXPECT_FALSE(agency.paste(before, "12x45").has_value());
    EXPECT_FALSE(agency.paste(before, "1234567").has_value());
    const std::optional<MaskEdit> replaced = agency.paste({"1234-5", 0, 2}, "98");
    ASSERT_TRUE(replaced.has_value());
    EXPECT_EQ(replaced->text, "9834-5");
}

} // namespace
