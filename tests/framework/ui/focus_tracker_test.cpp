#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLineEdit>
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
    QWidget *activeDuringExit = nullptr;
    tracker().setExitHandler(edA1, [&] {
        activeDuringExit = tracker().activeControl(&form);
        log << "edA1 exit";
    });
    edB->setFocus();
    EXPECT_EQ(log, QStringList({"edA1 exit", "panA exit", "panB enter", "edB enter"}));
    EXPECT_EQ(activeDuringExit, edB) << "the active control changes before any exit handler runs";
}

TEST_F(FocusForm, AnAbortingExitKeepsTheFocusOnTheControlLeft) {
    tracker().setExitHandler(edA1, [&] {
        log << "edA1 exit";
        throw Consiste::EAbort();
    });
    edB->setFocus();
    EXPECT_EQ(log, QStringList({"edA1 exit"}));
    EXPECT_EQ(QApplication::focusWidget(), edA1);
    EXPECT_EQ(tracker().activeControl(&form), edA1);
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
