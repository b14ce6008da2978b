#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QVBoxLayout>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "framework/ui/child_enabled.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/qt_message_dialogs.h"
#include "framework/ui/wait_animation.h"
#include "when_modal.h"

using namespace bco;

namespace {

// ---- message boxes --------------------------------------------------------------------------------------

struct BoxCase {
    const char *name;
    MsgKind kind;
    MsgButtons buttons;
    QMessageBox::Icon icon;
    QStringList buttonTexts;
    const char *press; // a button's text, or "Escape"
    MsgButton answer;
};

class MessageBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, ShowTheKindAndAnswerTheButtonPressed) {
    const BoxCase &c = GetParam();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Conta Corrente"));
    QtMessageDialogs dialogs;
    QString title;
    QString text;
    QStringList texts;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // A message that comes while the form waits: the animation must not cover it.
    ActiveShowAvi(nullptr, 0);
    bool animationOverTheBox = true;
    whenModal([&](QWidget &window) {
        auto &box = dynamic_cast<QMessageBox &>(window);
        animationOverTheBox = ShowAviActive();
        title = box.windowTitle();
        text = box.text();
        icon = box.icon();
        for (QAbstractButton *button : box.buttons())
            texts << button->text();
        if (QString::fromUtf8(c.press) == QLatin1String("Escape")) {
            QTest::keyClick(&box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton *button : box.buttons()) {
            if (button->text() == QString::fromUtf8(c.press))
                button->click();
        }
    });
    EXPECT_EQ(dialogs.show(c.kind, QStringLiteral("Confirma a exclusão?"), c.buttons, QStringLiteral("Excl")),
              c.answer);
    EXPECT_FALSE(animationOverTheBox);
    EXPECT_EQ(title, QStringLiteral("Conta Corrente"));
    EXPECT_EQ(text, QStringLiteral("Confirma a exclusão?"));
    EXPECT_EQ(icon, c.icon);
    texts.sort();
    QStringList expected = c.buttonTexts;
    expected.sort();
    EXPECT_EQ(texts, expected);
}

INSTANTIATE_TEST_SUITE_P(QtMessageDialogs, MessageBoxes,
                         ::testing::Values(BoxCase{"a question answered yes",
                                                   MsgKind::Confirmation,
                                                   MsgButton::Yes | MsgButton::No,
                                                   QMessageBox::Question,
                                                   {"Sim", "Não"},
                                                   "Sim",
                                                   MsgButton::Yes},
                                           BoxCase{"a question answered no",
                                                   MsgKind::Confirmation,
                                                   MsgButton::Yes | MsgButton::No,
                                                   QMessageBox::Question,
                                                   {"Sim", "Não"},
                                                   "Não",
                                                   MsgButton::No},
                                           BoxCase{"escape answers no",
                                                   MsgKind::Warning,
                                                   MsgButton::Yes | MsgButton::No,
                                                   QMessageBox::Warning,
                                                   {"Sim", "Não"},
                                                   "Escape",
                                                   MsgButton::No},
                                           BoxCase{"escape cancels",
                                                   MsgKind::Confirmation,
                                                   MsgButton::Ok | MsgButton::Cancel,
                                                   QMessageBox::Question,
                                                   {"OK", "Cancelar"},
                                                   "Escape",
                                                   MsgButton::Cancel},
                                           BoxCase{"an error is acknowledged",
                                                   MsgKind::Error,
                                                   MsgButton::Ok,
                                                   QMessageBox::Critical,
                                                   {"OK"},
                                                   "OK",
                                                   MsgButton::Ok},
                                           BoxCase{"a notice without buttons offers OK",
                                                   MsgKind::Information,
                                                   MsgButtons(),
                                                   QMessageBox::Information,
                                                   {"OK"},
                                                   "Escape",
                                                   MsgButton::Ok}),
                         CaseName());

// ---- Qt's own texts ------------------------------------------------------------------------------------

// The suites' main makes the program speak Portuguese as every program does at start; Qt's own dialogs then
// show its translations, not their English.
struct QtTextCase {
    const char *name;
    const char *context;
    const char *english;
    const char *portuguese;
};

class QtOwnTexts : public ::testing::TestWithParam<QtTextCase> {};

TEST_P(QtOwnTexts, SpeakPortuguese) {
    const QtTextCase &c = GetParam();
    EXPECT_EQ(QCoreApplication::translate(c.context, c.english), QString::fromUtf8(c.portuguese));
}

INSTANTIATE_TEST_SUITE_P(
    Translations, QtOwnTexts,
    ::testing::Values(
        QtTextCase{"the file dialog's folder", "QFileDialog", "Look in:", "Procurar em:"},
        QtTextCase{"the file dialog's name", "QFileDialog", "File &name:", "&Nome do arquivo:"},
        QtTextCase{"the print preview's next page", "QPrintPreviewDialog", "Next page", "Próxima página"},
        QtTextCase{"the message box's details", "QMessageBox", "Hide Details...", "Ocultar detalhes..."}),
    CaseName());

// What a message box of `kind` with `details` shows in its box (as plain text) and folds under its details.
std::pair<QString, QString> shownAndFolded(MsgKind kind, const QString &details) {
    QtMessageDialogs dialogs;
    QString informative, folded;
    whenModal([&](QWidget &window) {
        auto &box = dynamic_cast<QMessageBox &>(window);
        informative = box.informativeText();
        folded = box.detailedText();
        // Not the first button, which may be "Mostrar detalhes...".
        (kind == MsgKind::Confirmation ? box.button(QMessageBox::No) : box.button(QMessageBox::Ok))->click();
    });
    dialogs.show(kind, QStringLiteral("Confirma?"),
                 kind == MsgKind::Confirmation ? MsgButtons(MsgButton::Yes) | MsgButton::No
                                               : MsgButtons(MsgButton::Ok),
                 QStringLiteral("Excl"), details);
    QTextDocument shown;
    shown.setHtml(informative);
    return {shown.toPlainText(), folded};
}

// A notice folds its details away; a question shows what it acts on, as typed, beside its text; a question
// acting on a long list (a reconciliation of forty lines) keeps its buttons on the screen, its first lines in
// its box and the whole list in its details.
TEST(QtMessageDialogs, AQuestionShowsWhatItActsOnWhereANoticeFoldsItsDetails) {
    const QString details = QStringLiteral("Crédito de 15/03/2024: 777,77 <b>Rendimento</b> & juros");
    EXPECT_EQ(shownAndFolded(MsgKind::Confirmation, details), std::make_pair(details, QString()));
    EXPECT_EQ(shownAndFolded(MsgKind::Error, details), std::make_pair(QString(), details));
    QStringList lines;
    for (int line = 1; line <= 40; ++line)
        lines << QStringLiteral("Linha %1 do extrato").arg(line);
    EXPECT_EQ(
        shownAndFolded(MsgKind::Confirmation, lines.join(u'\n')),
        std::make_pair((lines.first(11) << QStringLiteral("(e mais 29 linhas, nos detalhes)")).join(u'\n'),
                       lines.join(u'\n')));
}

TEST(QtOwnTexts, TheMessageBoxOffersItsDetailsInPortuguese) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Conta Corrente"), QStringLiteral("Confirma?"));
    box.setDetailedText(QStringLiteral("Movimento 0000000001"));
    QStringList texts;
    for (const QAbstractButton *button : box.findChildren<QAbstractButton *>())
        texts << button->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Mostrar detalhes..."))) << texts.join(u'|').toStdString();
}

// ---- the wait animation
// ------------------------------------------------------------------------------------

class WaitForm : public ::testing::Test {
protected:
    void SetUp() override {
        FocusTracker::markForm(&form);
        auto *layout = new QVBoxLayout(&form);
        edit = new QLineEdit(&form);
        layout->addWidget(edit);
        layout->addWidget(new QLineEdit(&form));
        FocusTracker::instance().setExitHandler(edit, [this] { ++exits; });
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        edit->setFocus();
    }
    void TearDown() override { DeactiveShowAvi(); }

    QWidget form;
    QLineEdit *edit = nullptr;
    int exits = 0;
};

TEST_F(WaitForm, ShowsItsTextAndTheWaitCursorWithoutTakingTheFocus) {
    ActiveShowAvi(&form, 6, QStringLiteral("Atualizando Saldo do Dia..."));
    QApplication::processEvents();
    EXPECT_TRUE(ShowAviActive());
    EXPECT_EQ(ShowAviText(), QStringLiteral("Atualizando Saldo do Dia..."));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(exits, 0);
    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviActive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WaitForm, StartingTwiceChangesTheTextAndOneStopEndsIt) {
    ActiveShowAvi(&form, 1);
    EXPECT_EQ(ShowAviText(), QStringLiteral("Aguarde..."));
    ActiveShowAvi(&form, 6, QStringLiteral("Atualizando Saldo do Dia..."));
    EXPECT_EQ(ShowAviText(), QStringLiteral("Atualizando Saldo do Dia..."));
    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviActive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor was set once and is restored once";
    DeactiveShowAvi();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WaitForm, AFormClosedWhileWaitingTakesTheAnimationWithIt) {
    auto *other = new QWidget;
    ActiveShowAvi(other, 1);
    delete other;
    EXPECT_FALSE(ShowAviActive());
    ActiveShowAvi(&form, 1);
    EXPECT_TRUE(ShowAviActive());
}

// ---- enabling a container's controls
// -------------------------------------------------------------------------

TEST(SetChildEnabledTest, ClosesAndOpensEveryControlButNotTheContainer) {
    QGroupBox bar;
    auto *code = new QLineEdit(&bar);
    auto *inner = new QWidget(&bar);
    auto *nested = new QLineEdit(inner);
    Consiste::SetChildEnabled(&bar, false);
    EXPECT_TRUE(bar.isEnabled());
    EXPECT_FALSE(code->isEnabled());
    EXPECT_FALSE(nested->isEnabled()) << "what a child holds follows it";
    Consiste::SetChildEnabled(&bar, true);
    EXPECT_TRUE(code->isEnabled());
    EXPECT_TRUE(inner->isEnabled());
    EXPECT_TRUE(nested->isEnabled());
}

} // namespace
