#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "framework/checks/consiste.h"
#include "framework/ui/focus_tracker.h"

using namespace bco;

namespace {

// A form with two panels: panA holds edA1 and edA2, panB holds edB; every control and panel logs its
// enter and exit.
class FocusForm : public ::testing::Test {
protected:
    void SetUp() override {
        FocusTracker::markForm(&form);
        auto *layout = new QVBoxLayout(&form);
        panA = new QFrame(&form);
        panB = new QFrame(&form);
        layout->addWidget(panA);
        layout->addWidget(panB);
        auto *layoutA = new QVBoxLayout(panA);
        edA1 = new QLineEdit(panA);
        edA2 = new QLineEdit(panA);
        layoutA->addWidget(edA1);
        layoutA->addWidget(edA2);
        auto *layoutB = new QVBoxLayout(panB);
        edB = new QLineEdit(panB);
        tool = new QToolButton(panB);
        tool->setFocusPolicy(Qt::NoFocus);
        layoutB->addWidget(edB);
        layoutB->addWidget(tool);
        for (auto [widget, name] : {std::pair<QWidget *, const char *>{panA, "panA"},
                                    {panB, "panB"},
                                    {edA1, "edA1"},
                                    {edA2, "edA2"},
                                    {edB, "edB"}}) {
            const QString label = QString::fromUtf8(name);
            tracker().setEnterHandler(widget, [this, label] { log << label + " enter"; });
            tracker().setExitHandler(widget, [this, label] { log << label + " exit"; });
        }
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        edA1->setFocus();
        log.clear();
    }

    static FocusTracker &tracker() { return FocusTracker::instance(); }

    QWidget form;
    QFrame *panA = nullptr;
    QFrame *panB = nullptr;
    QLineEdit *edA1 = nullptr;
    QLineEdit *edA2 = nullptr;
    QLineEdit *edB = nullptr;
    QToolButton *tool = nullptr;
    QStringList log;
};

} // namespace

TEST_F(FocusForm, MovingInsideOnePanelRunsOnlyTheControls) {
    edA2->setFocus();
    EXPECT_EQ(log, QStringList({"edA1 exit", "edA2 enter"}));
    EXPECT_EQ(tracker().activeControl(&form), edA2);
}

TEST_F(FocusForm, MovingAcrossPanelsLeavesInnermostFirstAndEntersOutermostFirst) {
    QWidget *activeDuringExit = nullptr, *leftDuringPanelExit = nullptr;
    tracker().setExitHandler(edA1, [&] {
        activeDuringExit = tracker().activeControl(&form);
        log << "edA1 exit";
    });
    tracker().setExitHandler(panA, [&] {
        leftDuringPanelExit = tracker().leaving(&form);
        log << "panA exit";
    });
    edB->setFocus();
    EXPECT_EQ(log, QStringList({"edA1 exit", "panA exit", "panB enter", "edB enter"}));
    EXPECT_EQ(activeDuringExit, edB) << "the active control changes before any exit handler runs";
    EXPECT_EQ(leftDuringPanelExit, edA1) << "a panel's exit knows which of its controls was left";
    EXPECT_EQ(tracker().leaving(&form), nullptr) << "once the move is over";
}

TEST_F(FocusForm, AnAbortingExitKeepsTheFocusOnTheControlLeft) {
    const struct Case {
        const char *name;
        bool takesFocusBack; // the check puts the focus back on its control before its message
        bool messageShown;   // the check's message left the window inactive, the focus nowhere
    } cases[] = {
        {"a check that shows nothing", false, false},
        {"a check whose message shows", false, true},
        {"a check that takes the focus back and shows its message", true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        edA1->setFocus();
        log.clear();
        tracker().setExitHandler(edA1, [&] {
            log << "edA1 exit";
            if (c.takesFocusBack)
                edA1->setFocus();
            if (c.messageShown)
                QApplication::focusWidget()->clearFocus();
            throw Consiste::EAbort();
        });
        edB->setFocus();
        // The window, active again, gives the focus to the control Qt remembered for it: the one the refused
        // move was heading for.
        if (QApplication::focusWidget() == nullptr)
            edB->setFocus(Qt::ActiveWindowFocusReason);
        EXPECT_EQ(log, QStringList({"edA1 exit"})) << "the check runs once";
        EXPECT_EQ(QApplication::focusWidget(), edA1);
        EXPECT_EQ(tracker().activeControl(&form), edA1);
    }
}

TEST_F(FocusForm, AnAbortingContainerExitKeepsTheFocusWhereItsHandlerPutIt) {
    tracker().setExitHandler(panA, [&] {
        log << "panA exit";
        edA2->setFocus();
        throw Consiste::EAbort();
    });
    edB->setFocus();
    EXPECT_EQ(log, QStringList({"edA1 exit", "panA exit"}))
        << "moving the focus inside a handler runs no handler";
    EXPECT_EQ(QApplication::focusWidget(), edA2);
    EXPECT_EQ(tracker().activeControl(&form), edA2);
}

TEST_F(FocusForm, ALineFilledByTheMoveIntoItIsSelectedAsTabSelectsIt) {
    tracker().setExitHandler(edA1, [&] { edA2->setText(QStringLiteral("preenchido")); });
    QTest::keyClick(edA1, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), edA2);
    EXPECT_EQ(edA2->selectedText().toStdString(), "preenchido");
    QTest::keyClicks(edA2, QStringLiteral("digitado"));
    EXPECT_EQ(edA2->text().toStdString(), "digitado") << "typing replaces the text, as after any Tab";

    // A click puts the caret where it points, handlers or not.
    tracker().setExitHandler(edA2, [&] { edB->setText(QStringLiteral("preenchido")); });
    QTest::mouseClick(edB, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), edB);
    EXPECT_FALSE(edB->hasSelectedText());
}

TEST_F(FocusForm, ToolButtonsTakeNoFocus) {
    QTest::mouseClick(tool, Qt::LeftButton);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), edA1);
}

TEST_F(FocusForm, ComingBackFromNothingLeavesTheControlTheFormKeptActive) {
    edA1->clearFocus();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(log.isEmpty()) << "losing the focus to nothing runs no handler";
    edB->setFocus();
    EXPECT_EQ(log, QStringList({"edA1 exit", "panA exit", "panB enter", "edB enter"}));
}

// ---- the keys of a form's fields ------------------------------------------------------------------------

namespace {

// A form with every kind of entry field in its tab order, a read-only line among them and a multi-line text.
class FieldKeys : public ::testing::Test {
protected:
    void SetUp() override {
        FocusTracker::markForm(&form);
        auto *layout = new QVBoxLayout(&form);
        first = new QLineEdit(&form);
        combo = new QComboBox(&form);
        combo->addItems({QStringLiteral("Crédito"), QStringLiteral("Débito")});
        shown = new QLineEdit(&form);
        shown->setReadOnly(true);
        spin = new QSpinBox(&form);
        check = new QCheckBox(&form);
        notes = new QPlainTextEdit(&form);
        last = new QLineEdit(&form);
        for (QWidget *widget :
             std::initializer_list<QWidget *>{first, combo, shown, spin, check, notes, last})
            layout->addWidget(widget);
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    QWidget *named(const char *name) const {
        const std::pair<const char *, QWidget *> widgets[] = {
            {"first", first}, {"combo", combo}, {"shown", shown}, {"spin", spin},
            {"check", check}, {"notes", notes}, {"last", last}};
        for (const auto &[widgetName, widget] : widgets)
            if (QByteArray(widgetName) == name)
                return widget;
        ADD_FAILURE() << "no field " << name;
        return nullptr;
    }

    QWidget form;
    QLineEdit *first = nullptr;
    QComboBox *combo = nullptr;
    QLineEdit *shown = nullptr;
    QSpinBox *spin = nullptr;
    QCheckBox *check = nullptr;
    QPlainTextEdit *notes = nullptr;
    QLineEdit *last = nullptr;
};

} // namespace

TEST_F(FieldKeys, EnterMovesOnAsTabDoesAndReadOnlyLinesAreNoTabStops) {
    struct Case {
        const char *name;
        const char *from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char *to;
    };
    const Case cases[] = {
        {"Enter in a line moves to the next field", "first", Qt::Key_Return, Qt::NoModifier, "combo"},
        {"the keypad's Enter does the same", "first", Qt::Key_Enter, Qt::KeypadModifier, "combo"},
        {"Enter in a combo box passes over the read-only line", "combo", Qt::Key_Return, Qt::NoModifier,
         "spin"},
        {"Tab passes over the read-only line too", "combo", Qt::Key_Tab, Qt::NoModifier, "spin"},
        {"Enter in a spin box", "spin", Qt::Key_Return, Qt::NoModifier, "check"},
        {"Enter on a check box", "check", Qt::Key_Return, Qt::NoModifier, "notes"},
        {"a multi-line text keeps Enter for its lines", "notes", Qt::Key_Return, Qt::NoModifier, "notes"},
        {"Ctrl+Enter is left to the form's commands", "first", Qt::Key_Return, Qt::ControlModifier, "first"},
        {"Shift+Enter is left alone", "first", Qt::Key_Return, Qt::ShiftModifier, "first"},
    };
    for (const Case &c : cases) {
        QWidget *from = named(c.from);
        from->setFocus();
        QTest::keyClick(from, c.key, c.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), named(c.to)) << c.name;
    }
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("\n"));
}

TEST_F(FieldKeys, ALineMadeWritableIsATabStopAgainAndAClickStillReachesAReadOnlyOne) {
    shown->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), shown) << "its text can still be selected and copied";
    shown->setReadOnly(false);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), shown);
    shown->setReadOnly(true);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), spin);
}

TEST_F(FieldKeys, AWindowOpenedFromTheFormKeepsEnterForItself) {
    QDialog dialog(&form);
    auto *layout = new QVBoxLayout(&dialog);
    auto *search = new QLineEdit(&dialog);
    layout->addWidget(search);
    layout->addWidget(new QLineEdit(&dialog));
    auto *choose = new QPushButton(QStringLiteral("OK"), &dialog);
    choose->setDefault(true);
    layout->addWidget(choose);
    QObject::connect(choose, &QPushButton::clicked, &dialog, &QDialog::accept);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << "Enter chose, as the window's default button does";
}

// ---- forms in sub-windows ---------------------------------------------------------------------------------

namespace {

// Two forms in sub-windows of one area: the first has a panel holding a field, and another field outside
// it; the second has a field of its own.
class SubWindowForms : public ::testing::Test {
protected:
    void SetUp() override {
        auto *layout = new QVBoxLayout(first);
        auto *panel = new QFrame(first);
        layout->addWidget(panel);
        field = new QLineEdit(panel);
        (new QVBoxLayout(panel))->addWidget(field);
        last = new QLineEdit(first);
        layout->addWidget(last);
        (new QVBoxLayout(second))->addWidget(new QLineEdit(second));
        FocusTracker::instance().setExitHandler(last, [this] { log << QStringLiteral("last exit"); });
        for (QWidget *form : {first, second})
            FocusTracker::markForm(form);
        for (QWidget *watched : {static_cast<QWidget *>(panel), static_cast<QWidget *>(field)}) {
            FocusTracker::instance().setExitHandler(watched, [this] { log << QStringLiteral("exit"); });
            FocusTracker::instance().setEnterHandler(watched, [this] { log << QStringLiteral("enter"); });
        }
        area.addSubWindow(second)->show();
        window = area.addSubWindow(first);
        window->show();
        area.resize(800, 600);
        area.show();
        QApplication::setActiveWindow(&area);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
        area.setActiveSubWindow(window);
        field->setFocus();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), field);
        log.clear();
    }

    QMdiArea area;
    QLineEdit *last = nullptr; // the first form's last field, outside the panel
    QWidget *first = new QWidget;
    QWidget *second = new QWidget;
    QMdiSubWindow *window = nullptr;
    QLineEdit *field = nullptr;
    QStringList log;
};

} // namespace

TEST_F(SubWindowForms, ChangingTheWindowsStateRunsNoHandlerAndKeepsTheFocusWhereItWas) {
    // Qt hides a sub-window while it changes its state, which hands the focus on to the next control.
    const std::pair<const char *, std::function<void()>> changes[] = {
        {"maximized",
         [this] {
             window->showMaximized();
         }},
        {"restored",
         [this] {
             window->showNormal();
         }},
        {"minimized and restored",
         [this] {
             window->showMinimized();
             QApplication::processEvents();
             window->showNormal();
             area.setActiveSubWindow(window);
         }},
    };
    for (const auto &[what, change] : changes) {
        change();
        QApplication::processEvents();
        EXPECT_TRUE(log.isEmpty()) << what << ": " << log.join(u',').toStdString();
        EXPECT_EQ(QApplication::focusWidget(), field) << what;
        EXPECT_EQ(FocusTracker::instance().activeControl(first), field) << what;
        log.clear();
    }
}

// Tab off a form's last field goes to the sub-window that holds the form, which hands the focus on to a
// control of the form: the field is left all the same, and its check runs.
TEST_F(SubWindowForms, TabOffTheFormsLastFieldRunsItsExitThoughTheSubWindowTakesTheFocusOnTheWay) {
    last->setFocus();
    QApplication::processEvents();
    log.clear();
    QTest::keyClick(last, Qt::Key_Tab);
    QApplication::processEvents();
    ASSERT_NE(QApplication::focusWidget(), last);
    EXPECT_TRUE(log.contains(QStringLiteral("last exit"))) << log.join(u',').toStdString();
}

// A form opened maximized over a maximized one restores it, which hides it for the while and hands its
// focus on; closed, it leaves the first maximized again, and the first's window gives the focus to the
// control it was handed on to. Nobody moved it: the control the form kept active has it back, and no
// handler runs (a bar's entry would have closed the list behind it).
TEST_F(SubWindowForms, AFormOpenedAndClosedOverAMaximizedOneLeavesItsFocusAsItWas) {
    window->showMaximized();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), field);
    log.clear();
    for (int round = 0; round < 2; ++round) {
        auto *third = new QWidget;
        auto *thirdField = new QLineEdit(third);
        (new QVBoxLayout(third))->addWidget(thirdField);
        FocusTracker::markForm(third);
        QMdiSubWindow *over = area.addSubWindow(third);
        over->setAttribute(Qt::WA_DeleteOnClose);
        over->showMaximized();
        area.setActiveSubWindow(over);
        thirdField->setFocus();
        QApplication::processEvents();
        // The second time, the operator clicks back on the first form's field while the other is open, and
        // goes back to the other: the first's window still gives the focus to the control handed on to.
        if (round == 1) {
            field->setFocus(Qt::MouseFocusReason);
            thirdField->setFocus(Qt::MouseFocusReason);
            QApplication::processEvents();
            log.clear();
        }
        over->close();
        // The host goes back to the form the closed one was opened from.
        area.setActiveSubWindow(window);
        QApplication::processEvents();
        EXPECT_TRUE(log.isEmpty()) << "round " << round << ": " << log.join(u',').toStdString();
        EXPECT_EQ(QApplication::focusWidget(), field) << "round " << round;
        EXPECT_EQ(FocusTracker::instance().activeControl(first), field) << "round " << round;
        log.clear();
    }
}

// The program moves the focus into a form it has just restored (an include started from another screen
// restores the entry form and puts the focus on the entry's date): that move is the program's, and runs
// its handlers.
TEST_F(SubWindowForms, AMoveTheProgramMakesIntoAFormItJustRestoredRunsItsHandlers) {
    auto *date = new QLineEdit(first);
    first->layout()->addWidget(date);
    FocusTracker::instance().setEnterHandler(date, [this] { log << QStringLiteral("date enter"); });
    window->showMaximized();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), field);
    log.clear();
    window->showNormal();
    date->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), date);
    EXPECT_EQ(FocusTracker::instance().activeControl(first), date);
    EXPECT_EQ(log, QStringList({"exit", "exit", "date enter"})) << "the field and its panel are left";
}
