#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "framework/checks/consiste.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/mask_edit.h"
#include "framework/ui/one_line_text.h"
#include "framework/ui/number_edit.h"

using namespace bco;

namespace {

// ---- masked edit -------------------------------------------------------------------------------------

struct TypingCase {
    const char *name;
    const char *mask;
    int maxLength;
    const char *keys;
    const char *shown;
    const char *text;
};

class MaskTyping : public ::testing::TestWithParam<TypingCase> {};

TEST_P(MaskTyping, ShowsAndReadsWhatTheOperatorTyped) {
    const TypingCase &c = GetParam();
    TMaskEdit edit;
    edit.SetMaxLength(c.maxLength);
    edit.SetEditMask(QString::fromUtf8(c.mask));
    edit.SetText(QString());
    QTest::keyClicks(&edit, QString::fromUtf8(c.keys));
    EXPECT_EQ(edit.EditText(), QString::fromUtf8(c.shown));
    EXPECT_EQ(edit.Text(), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    MaskEdit, MaskTyping,
    ::testing::Values(
        TypingCase{"an agency skips its hyphen", "9999-9;0; ", 0, "12345", "1234-5", "12345"},
        TypingCase{"a hyphen typed with the value only moves on", "9999-9;0; ", 0, "1234-5", "1234-5",
                   "12345"},
        TypingCase{"letters take the case of the mask", ">aaa;0; ", 0, "ab1", "AB1", "AB1"},
        TypingCase{"a letter in a digit position is dropped", "9999;0; ", 0, "1a2", "12  ", "12"},
        TypingCase{"the blank character shows what is missing", "9999-9;0;_", 0, "12", "12__-_", "12"},
        TypingCase{"saved literals stay in the text", "99/99;1;_", 0, "1203", "12/03", "12/03"},
        TypingCase{"a company tax number", "99.999.999/9999-99;0; ", 0, "12345678000195",
                   "12.345.678/0001-95", "12345678000195"},
        TypingCase{"keys beyond the mask are dropped", "999;0; ", 0, "12345", "123", "123"},
        TypingCase{"a plain edit stops at its maximum length", "", 4, "abcdef", "abcd", "abcd"},
        TypingCase{"a plain edit keeps blanks and case", "", 0, "Tarifa b", "Tarifa b", "Tarifa b"}),
    CaseName());

TEST(MaskEditTest, BackspaceAndDeleteClearPositionsWithoutShiftingTheRest) {
    TMaskEdit edit;
    edit.SetEditMask(QStringLiteral("9999-9;0;_"));
    QTest::keyClicks(&edit, QStringLiteral("12345"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.EditText(), QStringLiteral("123_-_"));
    edit.SetSelStart(0);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.EditText(), QStringLiteral("_23_-_"));
    EXPECT_EQ(edit.Text(), QStringLiteral(" 23"));
}

TEST(MaskEditTest, APasteIsTypedWholeOrRefusedWhole) {
    TMaskEdit edit;
    edit.SetEditMask(QStringLiteral("9999-9;0; "));
    QApplication::clipboard()->setText(QStringLiteral("12a45"));
    if (QApplication::clipboard()->text() != QStringLiteral("12a45"))
        GTEST_SKIP() << "the platform has no clipboard";
    QToolTip::hideText();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.EditText(), QStringLiteral("    - "));
    EXPECT_TRUE(QToolTip::isVisible() &&
                QToolTip::text() ==
                    QStringLiteral("“12a45” recusado: o campo recebe um texto da forma ____-_."))
        << "refused without a word, what the field held would be taken for the paste: "
        << QToolTip::text().toStdString();

    QApplication::clipboard()->setText(QStringLiteral(" 1234-5 "));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), QStringLiteral("12345"));
}

// A cell copied from a spreadsheet ends in a line break; text of several lines would stay in the one line,
// breaks and tabs included, and be sent on so: in the framework's fields and in a plain line edit kept on one
// line alike. A text the program sets is shown as it is.
TEST(OneLineText, APasteComesAsOneLine) {
    const struct {
        const char *pasted, *after;
    } cases[] = {
        {"Tarifa\r\n", "Tarifa"},
        {"Pagamento\nfornecedor\tX\n", "Pagamento fornecedor X"},
        {"a\u2028b", "a b"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pasted);
        QApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
        if (QApplication::clipboard()->text() != QString::fromUtf8(c.pasted))
            GTEST_SKIP() << "the platform has no clipboard";
        TMaskEdit field;
        QLineEdit plain;
        keepOnOneLine(plain);
        for (QLineEdit *edit : {static_cast<QLineEdit *>(&field), &plain}) {
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            EXPECT_EQ(edit->text(), QString::fromUtf8(c.after));
        }
    }
    QLineEdit shown;
    keepOnOneLine(shown);
    shown.setText(QStringLiteral("gravada\nassim"));
    EXPECT_EQ(shown.text(), QStringLiteral("gravada\nassim"));
}

TEST(MaskEditTest, TheLineEditsOwnTextIsBroughtBackToTheMask) {
    TMaskEdit edit;
    edit.SetEditMask(QStringLiteral("9999-9;0;_"));
    edit.setText(QStringLiteral("123456789"));
    EXPECT_EQ(edit.EditText(), QStringLiteral("1234-6"))
        << "positions are kept: the fifth character is a literal";
}

TEST(MaskEditTest, ChangingTheMaskKeepsTheValue) {
    TMaskEdit edit;
    edit.SetMaxLength(20);
    edit.SetEditMask(Consiste::PictPess(QStringLiteral("J")));
    edit.SetText(QStringLiteral("12345678000195"));
    EXPECT_EQ(edit.EditText(), QStringLiteral("12.345.678/0001-95"));
    edit.SetEditMask(QString());
    EXPECT_EQ(edit.EditText(), QStringLiteral("12345678000195"));
    EXPECT_EQ(edit.maxLength(), 20);
    edit.SetEditMask(Consiste::PictPess(QStringLiteral("F")));
    EXPECT_EQ(edit.EditText(), QStringLiteral("123.456.780-00"));
}

TEST(MaskEditTest, ChangedIsSentForTypedAndProgrammaticChanges) {
    TMaskEdit edit;
    edit.SetEditMask(QStringLiteral(">aaa;0; "));
    QSignalSpy changed(&edit, &EditControl::Changed);
    edit.SetText(QStringLiteral("001"));
    QTest::keyClick(&edit, Qt::Key_Backspace, Qt::NoModifier);
    edit.SetSelStart(0);
    QTest::keyClicks(&edit, QStringLiteral("x"));
    QTest::keyClicks(&edit, QStringLiteral("%"));
    EXPECT_EQ(changed.count(), 2) << "set and x typed; backspace at the start changes nothing; % is refused";
    EXPECT_EQ(edit.Text(), QStringLiteral("X01"));
}

TEST(MaskEditTest, AReadOnlyEditRefusesTyping) {
    TMaskEdit edit;
    edit.SetEditMask(QStringLiteral("999;0; "));
    edit.SetText(QStringLiteral("12"));
    edit.SetReadOnly(true);
    edit.SetSelStart(0);
    QTest::keyClicks(&edit, QStringLiteral("9"));
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.Text(), QStringLiteral("12"));
}

TEST(MaskEditTest, SwitchesBetweenTheInfoTipAndTheButtonFaceColours) {
    TMaskEdit edit;
    edit.SetColor(ControlColor::InfoTip);
    EXPECT_EQ(edit.palette().color(QPalette::Base), QApplication::palette().color(QPalette::ToolTipBase));
    edit.setEnabled(false);
    EXPECT_EQ(edit.palette().color(QPalette::Disabled, QPalette::Base),
              QApplication::palette().color(QPalette::ToolTipBase))
        << "a disabled field keeps its colour";
    edit.SetColor(ControlColor::ButtonFace);
    EXPECT_EQ(edit.palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(edit.Color(), ControlColor::ButtonFace);
}

// The hooks a form hangs on an edit see every key before the control does.
TEST(EditHooksTest, AKeyPressHandlerDiscardsOrReplacesCharacters) {
    TMaskEdit edit;
    edit.OnKeyPress = [](QChar &key) {
        if (key == QLatin1Char('-'))
            key = QChar();
        else if (key == QLatin1Char('a'))
            key = QLatin1Char('b');
    };
    QTest::keyClicks(&edit, QStringLiteral("-a-c"));
    EXPECT_EQ(edit.Text(), QStringLiteral("bc"));
}

TEST(EditHooksTest, AKeyDownHandlerSwallowsKeysBeforeTheyType) {
    TMaskEdit edit;
    edit.SetText(QStringLiteral("abc"));
    edit.setCursorPosition(3);
    QList<int> seen;
    edit.OnKeyDown = [&](int &key, Qt::KeyboardModifiers) {
        seen << key;
        if (key == Qt::Key_Backspace)
            key = 0;
    };
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClicks(&edit, QStringLiteral("d"));
    EXPECT_EQ(edit.Text(), QStringLiteral("abcd"));
    EXPECT_EQ(seen, (QList<int>{Qt::Key_Backspace, Qt::Key_D}));
}

TEST(EditHooksTest, AHookThatAbortsDropsTheKeyAndAFailureIsShown) {
    ScriptedDialogs dialogs;
    TMaskEdit edit;
    edit.OnKeyPress = [](QChar &key) {
        if (key == QLatin1Char('x'))
            throw Consiste::EAbort();
        if (key == QLatin1Char('y'))
            throw std::runtime_error("falha no tratamento da tecla");
    };
    QTest::keyClicks(&edit, QStringLiteral("axbyc"));
    EXPECT_EQ(edit.Text(), QStringLiteral("abc"));
    EXPECT_EQ(dialogs.errors(), QStringList{QStringLiteral("falha no tratamento da tecla")});
}

// ---- number edit --------------------------------------------------------------------------------------

const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);

struct ShownCase {
    const char *name;
    double value;
    int decimals;
    bool thousands;
    const char *format;
    const char *shown;
    double read;
};

class NumberShown : public ::testing::TestWithParam<ShownCase> {};

TEST_P(NumberShown, ShowsTheValueWithSeparatorsAndFormat) {
    const ShownCase &c = GetParam();
    TNumberEdit edit;
    edit.setLocale(brazil);
    edit.SetDecimals(c.decimals);
    edit.SetThousands(c.thousands);
    edit.SetNumberFormat(QString::fromUtf8(c.format));
    edit.SetValue(c.value);
    EXPECT_EQ(edit.Text(), QString::fromUtf8(c.shown));
    EXPECT_EQ(edit.Value(), c.read);
}

INSTANTIATE_TEST_SUITE_P(
    NumberEdit, NumberShown,
    ::testing::Values(
        ShownCase{"an amount with thousands and decimals", 1234.56, 2, true, "", "1.234,56", 1234.56},
        ShownCase{"a credit balance with its format", 1234.56, 2, true, "%n CR", "1.234,56 CR", 1234.56},
        ShownCase{"a debit balance with its format", 0.5, 2, true, "%n DB", "0,50 DB", 0.5},
        ShownCase{"no thousands separators", 1234567.5, 2, false, "", "1234567,50", 1234567.5},
        ShownCase{"a negative amount", -1234.5, 2, true, "", "-1.234,50", -1234.5},
        ShownCase{"a half cent stored just below rounds up", 2.675, 2, true, "", "2,68", 2.68},
        ShownCase{"a tiny negative is a zero without sign", -0.001, 2, true, "", "0,00", 0.0},
        ShownCase{"no decimals", 1234.4, 0, true, "", "1.234", 1234.0}),
    CaseName());

// A number edit being typed into, beside another control to move the focus to.
class NumberTypingForm : public ::testing::Test {
protected:
    void SetUp() override {
        auto *layout = new QVBoxLayout(&form);
        edit = new TNumberEdit(&form);
        edit->setLocale(brazil);
        other = new QLineEdit(&form);
        layout->addWidget(edit);
        layout->addWidget(other);
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    void enter() {
        edit->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(edit->hasFocus());
    }

    void leave() { other->setFocus(Qt::TabFocusReason); }

    QWidget form;
    TNumberEdit *edit = nullptr;
    QLineEdit *other = nullptr;
};

struct TypedNumber {
    const char *name;
    int integerDigits;
    bool acceptMinus;
    const char *keys;
    const char *typed;
    double value;
    const char *shownAfter;
    const char *told = "recusado: escreva o valor como 1.234,56"; // when a key is refused
};

class NumberTyping : public NumberTypingForm, public ::testing::WithParamInterface<TypedNumber> {};

TEST_P(NumberTyping, KeepsTheNumberWithinItsLimits) {
    const TypedNumber &c = GetParam();
    edit->SetIntegerDigits(c.integerDigits);
    edit->SetAcceptMinus(c.acceptMinus);
    enter();
    EXPECT_EQ(edit->Text(), QStringLiteral("0,00")) << "editing shows the plain number, selected";
    QToolTip::hideText();
    QTest::keyClicks(edit, QString::fromUtf8(c.keys));
    EXPECT_EQ(edit->Text(), QString::fromUtf8(c.typed));
    EXPECT_EQ(edit->Value(), c.value);
    // A key refused is told under the control, never dropped unseen.
    const bool refused = QString::fromUtf8(c.keys) != QString::fromUtf8(c.typed);
    EXPECT_EQ(QToolTip::isVisible() && QToolTip::text().contains(QString::fromUtf8(c.told)), refused)
        << QToolTip::text().toStdString();
    leave();
    EXPECT_EQ(edit->Text(), QString::fromUtf8(c.shownAfter));
    EXPECT_EQ(edit->Value(), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    NumberEdit, NumberTyping,
    ::testing::Values(
        TypedNumber{"digits beyond the integer limit are refused", 3, true, "12345", "123", 0, "123"},
        TypedNumber{"a third decimal is refused", 9, true, "1,234", "1,23", 0, "1,23"},
        TypedNumber{"a point separates the thousands", 9, true, "1.234,56", "1.234,56", 1234.56, "1.234,56"},
        TypedNumber{"a point after four digits is refused", 9, true, "1234.", "1234", 0, "1234"},
        TypedNumber{"a point after a leading zero is refused", 9, true, "0.", "0", 0, "0"},
        TypedNumber{"a point after the decimal comma is refused", 9, true, "1,2.", "1,2", 0, "1,2"},
        TypedNumber{"a thousands group takes three digits", 9, true, "1.2345", "1.234", 0, "1.234"},
        TypedNumber{"a comma after a short group is refused", 9, true, "1.23,", "1.23", 0, "1.23"},
        TypedNumber{"an unfinished group is no amount, and stays as typed", 9, true, "12.5", "12.5", 0,
                    "12.5"},
        TypedNumber{"separators are not digits", 4, true, "1.234,5", "1.234,5", 1234.5, "1.234,50"},
        TypedNumber{"a second decimal separator is refused", 9, true, "1,2,3", "1,23", 0, "1,23"},
        TypedNumber{"letters are refused", 9, true, "1a2", "12", 0, "12"},
        TypedNumber{"a minus is refused where the form says so, and told as such", 9, false, "-12", "12", 12,
                    "12,00", "“-” recusado: este valor não tem sinal"},
        TypedNumber{"a minus leads a negative number", 9, true, "-12", "-12", -12, "-12,00"},
        TypedNumber{"a minus inside the number is refused", 9, true, "1-2", "12", 0, "12"},
        TypedNumber{"a comma refused after a short group leaves another amount, not taken", 9, true,
                    "1.23,45", "1.234", 0, "1.234"}),
    CaseName());

TEST_F(NumberTypingForm, TheFormsKeyPressRuleRefusesTheMinusAndTheTenthDigit) {
    edit->SetIntegerDigits(13);
    edit->OnKeyPress = [this](QChar &key) {
        if (key == QLatin1Char('-'))
            key = QChar();
        else if (!Consiste::MaxNumber(edit->Text(), 9, 2, key, edit->SelStart(), edit->SelLength(), brazil))
            key = QChar();
    };
    enter();
    QToolTip::hideText();
    QTest::keyClicks(edit, QStringLiteral("-1234567890,123"));
    EXPECT_EQ(edit->Text(), QStringLiteral("123456789,12"));
    EXPECT_TRUE(QToolTip::isVisible() && QToolTip::text().startsWith(u"“3” recusado"))
        << "a key the form's rule refused is told as the control's own: " << QToolTip::text().toStdString();
    leave();
    EXPECT_EQ(edit->Text(), QStringLiteral("123456789,12")) << "typed past refused keys: not taken";
    EXPECT_EQ(edit->Value(), 0.0);
}

// The text typed past a refused key may be another whole amount than the one meant: it is not taken until the
// operator corrects it (a character deleted, the whole text replaced) or empties it.
TEST_F(NumberTypingForm, ATextTypedPastARefusedKeyIsTakenOnlyOnceCorrected) {
    const struct {
        const char *name;
        std::function<void(QWidget *)> correct;
        const char *retyped;
        double value;
    } cases[] = {
        {"a character deleted", [](QWidget *w) { QTest::keyClick(w, Qt::Key_Backspace); }, "4,5", 1234.5},
        {"the whole text replaced", [](QWidget *w) { QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier); },
         "123,45", 123.45},
        {"the text emptied",
         [](QWidget *w) {
             QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClick(w, Qt::Key_Delete);
         },
         "7", 7},
        {"a character cut",
         [](QWidget *w) {
             QTest::keyClick(w, Qt::Key_Left, Qt::ShiftModifier);
             QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier);
         },
         "4,5", 1234.5},
        {"a whole amount pasted over the whole text",
         [](QWidget *w) {
             QApplication::clipboard()->setText(QStringLiteral("123,45"));
             QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
         },
         "", 123.45},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        leave();
        edit->SetValue(10);
        enter();
        QTest::keyClicks(edit, QStringLiteral("1.23,45"));
        ASSERT_EQ(edit->Text(), QStringLiteral("1.234"));
        EXPECT_TRUE(edit->Unfinished());
        EXPECT_EQ(edit->Value(), 10.0) << "the value it had, not the amount the keys left";
        c.correct(edit);
        QTest::keyClicks(edit, QString::fromUtf8(c.retyped));
        EXPECT_FALSE(edit->Unfinished()) << edit->Text().toStdString();
        EXPECT_EQ(edit->Value(), c.value);
        // The checks keep no history: an undo would bring back the text the refused key left, taken.
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(edit->Value(), c.value) << edit->Text().toStdString();
    }
    // A deleting key or a cut that deletes nothing corrects nothing (a cut with nothing selected takes
    // nothing, where the line edit's would take the character after the caret); the control's own text shown
    // again is its own.
    leave();
    edit->SetValue(10);
    enter();
    QTest::keyClicks(edit, QStringLiteral("12,345"));
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->Text(), QStringLiteral("12,34"));
    EXPECT_TRUE(edit->Unfinished());
    edit->setReadOnly(true);
    edit->setReadOnly(false);
    EXPECT_EQ(edit->Text(), QStringLiteral("10,00"));
    EXPECT_FALSE(edit->Unfinished());
    // Left unfinished, then given a value by the form (an include cancelled): shown as a value.
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("1.23,45"));
    leave();
    EXPECT_EQ(edit->Text(), QStringLiteral("1.234"));
    edit->SetValue(1234);
    EXPECT_EQ(edit->Text(), QStringLiteral("1.234,00"));
}

TEST_F(NumberTypingForm, TheKeypadsDecimalKeyTypesTheDecimalCommaWhateverItSends) {
    for (const Qt::Key key : {Qt::Key_Period, Qt::Key_Comma}) {
        SCOPED_TRACE(key);
        enter();
        QTest::keyClicks(edit, QStringLiteral("1234"));
        QTest::keyClick(edit, key, Qt::KeypadModifier);
        QTest::keyClick(edit, Qt::Key_5, Qt::KeypadModifier);
        EXPECT_EQ(edit->Text(), QStringLiteral("1234,5"));
        EXPECT_EQ(edit->Value(), 1234.5);
        leave();
    }
}

// Left unfinished, the text stays as typed and unread: what the field shows is never taken for the value
// it had, and finished later it is read.
TEST_F(NumberTypingForm, AnUnfinishedNumberKeepsTheValueTheControlHad) {
    enter();
    QTest::keyClicks(edit, QStringLiteral("10"));
    leave();
    enter();
    QTest::keyClicks(edit, QStringLiteral("1.23"));
    ASSERT_EQ(edit->Text(), QStringLiteral("1.23"));
    EXPECT_EQ(edit->Value(), 10.0) << "neither 1,23 nor 1.230";
    EXPECT_TRUE(edit->Unfinished());
    leave();
    EXPECT_EQ(edit->Text(), QStringLiteral("1.23"));
    EXPECT_TRUE(edit->Unfinished());
    edit->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, QStringLiteral("4"));
    leave();
    EXPECT_FALSE(edit->Unfinished());
    EXPECT_EQ(edit->Value(), 1234.0);
    EXPECT_EQ(edit->Text(), QStringLiteral("1.234,00"));
}

struct PastedNumber {
    const char *name;
    const char *before; // typed first over the selected 0,00, the caret left at its end
    const char *pasted;
    const char *after; // a refused paste leaves what was there
};

class NumberPaste : public NumberTypingForm, public ::testing::WithParamInterface<PastedNumber> {};

// The form's rule of the entry's value, which a paste goes through as keys do.
TEST_P(NumberPaste, IsTakenWholeWhenItGivesAnAmountOrNotAtAll) {
    const PastedNumber &c = GetParam();
    edit->SetAcceptMinus(false);
    edit->OnKeyPress = [this](QChar &key) {
        if (!Consiste::MaxNumber(edit->Text(), 9, 2, key, edit->SelStart(), edit->SelLength(), brazil))
            key = QChar();
    };
    enter();
    QTest::keyClicks(edit, QString::fromUtf8(c.before));
    QApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
    if (QApplication::clipboard()->text() != QString::fromUtf8(c.pasted))
        GTEST_SKIP() << "the platform has no clipboard";
    QToolTip::hideText();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->Text(), QString::fromUtf8(c.after));
    // A paste refused without a word leaves the amount there for the one pasted.
    const bool refused = !QString::fromUtf8(c.after).endsWith(QString::fromUtf8(c.pasted).trimmed());
    EXPECT_EQ(QToolTip::isVisible() &&
                  QToolTip::text().startsWith(
                      QStringLiteral("“%1” recusado").arg(QString::fromUtf8(c.pasted).trimmed())),
              refused)
        << QToolTip::text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    NumberEdit, NumberPaste,
    ::testing::Values(PastedNumber{"an amount with thousands", "", " 1.234,56 ", "1.234,56"},
                      PastedNumber{"an amount without thousands", "", "1234,56", "1234,56"},
                      PastedNumber{"a point as decimal is refused", "", "1234.56", "0,00"},
                      PastedNumber{"the other convention is refused", "", "1,234.56", "0,00"},
                      PastedNumber{"a point and two digits are refused", "", "12.50", "0,00"},
                      PastedNumber{"three decimals are refused, not cut", "", "1,234", "0,00"},
                      PastedNumber{"the form's ten digits are refused", "", "1234567890", "0,00"},
                      PastedNumber{"a minus is refused", "", "-5", "0,00"},
                      PastedNumber{"a currency sign is refused", "", "R$ 5,00", "0,00"},
                      PastedNumber{"decimals after typed digits", "12", ",5", "12,5"},
                      PastedNumber{"a paste that leaves the text unfinished", "1.2", "3", "1.2"}),
    CaseName());

TEST_F(NumberTypingForm, EnteringAndLeavingIsNoChangeButTypingIs) {
    edit->SetValue(10);
    QSignalSpy changed(edit, &EditControl::Changed);
    enter();
    leave();
    EXPECT_EQ(changed.count(), 0);
    enter();
    QTest::keyClicks(edit, QStringLiteral("7"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(edit->Value(), 7.0);
}

TEST_F(NumberTypingForm, AReadOnlyDisplayKeepsItsFormatWhenFocused) {
    edit->SetReadOnly(true);
    edit->SetNumberFormat(QStringLiteral("%n CR"));
    edit->SetValue(1234.56);
    enter();
    EXPECT_EQ(edit->Text(), QStringLiteral("1.234,56 CR"));
    QTest::keyClicks(edit, QStringLiteral("9"));
    EXPECT_EQ(edit->Value(), 1234.56);
}

// ---- date edit ----------------------------------------------------------------------------------------

struct DateCase {
    const char *name;
    const char *keys;
    const char *text;
    bool dateValid;
    bool checkPasses;
    QDate date;
    const char *weekDay;
};

class DateTyping : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTyping, ReadsAndChecksTheTypedDate) {
    const DateCase &c = GetParam();
    ScriptedDialogs dialogs;
    TDateEditPlus edit;
    QTest::keyClicks(&edit, QString::fromUtf8(c.keys));
    EXPECT_EQ(edit.Text(), QString::fromUtf8(c.text));
    EXPECT_EQ(edit.IsDateValid(), c.dateValid);
    EXPECT_EQ(edit.GetDate(), c.dateValid ? c.date : QDate());
    EXPECT_EQ(edit.WeekDayName(), QString::fromUtf8(c.weekDay));
    EXPECT_EQ(edit.CheckValidDate(), c.checkPasses);
    EXPECT_EQ(edit.Text(), QString::fromUtf8(c.text)) << "the check leaves the text as typed";
    EXPECT_TRUE(dialogs.shown().empty()) << "the forms report a bad date themselves";
}

INSTANTIATE_TEST_SUITE_P(DateEdit, DateTyping,
                         ::testing::Values(DateCase{"a date typed without its slashes", "15032024",
                                                    "15/03/2024", true, true, QDate(2024, 3, 15), "Sexta"},
                                           DateCase{"a date typed with its slashes", "15/03/2024",
                                                    "15/03/2024", true, true, QDate(2024, 3, 15), "Sexta"},
                                           DateCase{"a leap day", "29022024", "29/02/2024", true, true,
                                                    QDate(2024, 2, 29), "Quinta"},
                                           DateCase{"the thirty-first of February is no date", "31022024",
                                                    "31/02/2024", false, false, QDate(), ""},
                                           DateCase{"the twenty-ninth of February of a common year",
                                                    "29022023", "29/02/2023", false, false, QDate(), ""},
                                           DateCase{"a half-typed date", "1503", "15/03/", false, false,
                                                    QDate(), ""},
                                           DateCase{"a two-digit year is not a date", "150324", "15/03/24",
                                                    false, false, QDate(), ""},
                                           DateCase{"day zero is the earliest date", "30121899", "30/12/1899",
                                                    true, true, QDate(1899, 12, 30), "Sábado"},
                                           DateCase{"the day before day zero is refused", "29121899",
                                                    "29/12/1899", true, false, QDate(1899, 12, 29), "Sexta"}),
                         CaseName());

TEST(DateEditTest, AnEmptyFieldHasNoDateAndPassesItsCheck) {
    TDateEditPlus edit;
    EXPECT_TRUE(edit.IsEmpty());
    EXPECT_EQ(edit.EditText(), QStringLiteral("  /  /    "));
    EXPECT_EQ(edit.GetDate(), QDate());
    EXPECT_FALSE(edit.IsDateValid());
    EXPECT_TRUE(edit.CheckValidDate());
    edit.SetDate(QDate(2024, 1, 5));
    EXPECT_EQ(edit.Text(), QStringLiteral("05/01/2024"));
    EXPECT_FALSE(edit.IsEmpty());
    edit.SetDate(QDate());
    EXPECT_TRUE(edit.IsEmpty());
}

TEST(DateEditTest, NamesEveryWeekDay) {
    const QStringList names{"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"};
    TDateEditPlus edit;
    for (int day = 0; day < 7; ++day) {
        edit.SetDate(QDate(2024, 3, 10).addDays(day));
        EXPECT_EQ(edit.WeekDayName(), names[day]);
        EXPECT_EQ(edit.toolTip(), names[day]);
    }
}

TEST(DateEditTest, ValidDatesAreBlueWhereAsked) {
    TDateEditPlus edit;
    edit.SetBlueWhenValid(true);
    edit.SetDate(QDate(2024, 3, 15));
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(Qt::blue));
    edit.Clear();
    QTest::keyClicks(&edit, QStringLiteral("31022024"));
    EXPECT_NE(edit.palette().color(QPalette::Text), QColor(Qt::blue));
    edit.SetBlueWhenValid(false);
    edit.SetDate(QDate(2024, 3, 15));
    EXPECT_NE(edit.palette().color(QPalette::Text), QColor(Qt::blue));
}

TEST(DateEditTest, TheCalendarStartsAtDayZeroAndWritesThePickedDate) {
    QWidget form;
    auto *edit = new TDateEditPlus(&form);
    form.show();
    edit->SetDate(QDate(2024, 3, 15));
    QTest::keyClick(edit, Qt::Key_F4);
    auto *calendar = qobject_cast<QCalendarWidget *>(QApplication::activePopupWidget());
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->selectedDate(), QDate(2024, 3, 15));
    EXPECT_EQ(calendar->minimumDate(), Consiste::DayZero());
    Q_EMIT calendar->activated(QDate(2024, 4, 2));
    EXPECT_EQ(edit->Text(), QStringLiteral("02/04/2024"));
}

} // namespace
