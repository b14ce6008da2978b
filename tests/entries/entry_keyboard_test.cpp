#include <gtest/gtest.h>

#include <QMenu>
#include <QTabBar>
#include <QSqlQuery>

#include "entry_form_fixture.h"
#include "framework/checks/consiste.h"

using namespace bco;
using namespace bco::testing;

namespace {

// The entry form worked with the keyboard alone, on account 050 of the fixture.
class Keyboard : public EntryForm {
protected:
    void SetUp() override {
        EntryForm::SetUp();
        chooseAccount(listed.code);
        env.dialogs.clearShown();
    }

    qint64 movements() {
        QSqlQuery query(env.database());
        query.exec(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '050'"));
        return query.next() ? query.value(0).toLongLong() : -1;
    }
    // Presses the key where the focus is, as the operator does.
    void press(QKeySequence keys) {
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        const QKeyCombination key = keys[0];
        QTest::keyClick(focused, key.key(), key.keyboardModifiers());
    }
    TfrmLancCCorr::Mode mode() const { return form->CurrentMode(); }
};

} // namespace

TEST_F(Keyboard, TheMainCommandsShowTheirKeysInTheMenuAndTheHints) {
    struct Case {
        const char *button, *item, *hint, *keys;
    };
    const Case cases[] = {
        {"sbtIncluir", "mnuIncluir", "Incluir (Ctrl+I)", "Ctrl+I"},
        {"sbtAlterar", "mnuAlterar", "Alterar (Ctrl+T)", "Ctrl+T"},
        {"sbtExcluir", "mnuExcluir", "Excluir (Ctrl+Shift+Del)", "Ctrl+Shift+Del"},
        {"sbtConfirmar", "mnuConfirmar", "Confirmar (Ctrl+Enter)", "Ctrl+Enter"},
        {"sbtCancelar", "mnuCancelar", "Cancelar (Esc)", "Esc"},
        {"sbtImprimir", "mnuListagem", "Imprimir (Ctrl+P)", "Ctrl+P"},
        {"sbtFiltro", "mnuFiltro", "Filtrar (Ctrl+L)", "Ctrl+L"},
        {"sbtContab", "mnuContab", "Contabilizar (Ctrl+B)", "Ctrl+B"},
        {"sbtEmitirCheque", "mnuEmitirCheque", "Emitir Cheque (Ctrl+E)", "Ctrl+E"},
        // The list's commands are in the menu alone.
        {nullptr, "actExportarLista", nullptr, "Ctrl+Shift+S"},
        {nullptr, "actCopiarLista", nullptr, "Ctrl+Shift+C"},
    };
    QList<QKeySequence> every;
    for (const Case &c : cases) {
        auto *item = form->findChild<QAction *>(QString::fromLatin1(c.item));
        ASSERT_NE(item, nullptr) << c.item;
        if (c.button) {
            // The hint's first line; a line after it may say more.
            EXPECT_EQ(control<QToolButton>(c.button)->toolTip().section(u'\n', 0, 0),
                      QString::fromUtf8(c.hint));
        }
        EXPECT_EQ(item->shortcut().toString(QKeySequence::PortableText), QString::fromLatin1(c.keys));
        EXPECT_FALSE(every.contains(item->shortcut())) << c.keys << " twice";
        every << item->shortcut();
        bool inMenu = false;
        for (const QMenu *menu : form->findChildren<QMenu *>())
            inMenu = inMenu || menu->actions().contains(item);
        EXPECT_TRUE(inMenu) << c.item << " is in a menu, which shows its keys";
    }
    for (const QKeySequence::StandardKey editing :
         {QKeySequence::Copy, QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
          QKeySequence::SelectAll, QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord,
          QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine, QKeySequence::Delete})
        for (const QKeySequence &keys : QKeySequence::keyBindings(editing))
            EXPECT_FALSE(every.contains(keys)) << keys.toString().toStdString() << " is an editing key";
}

TEST_F(Keyboard, TheCommandsKeysRunThemFromWhereverTheFocusIs) {
    struct Case {
        const char *name;
        std::function<void()> reach;
        QKeySequence keys;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"Ctrl+I from the list opens an include", [this] { dbgPadrao()->setFocus(); },
         QKeySequence(Qt::CTRL | Qt::Key_I),
         [this] {
             EXPECT_EQ(mode(), TfrmLancCCorr::Mode::Including);
         }},
        {"Ctrl+T from the list changes the entry shown", [this] { dbgPadrao()->setFocus(); },
         QKeySequence(Qt::CTRL | Qt::Key_T),
         [this] {
             EXPECT_EQ(mode(), TfrmLancCCorr::Mode::Changing);
         }},
        {"Ctrl+Shift+Del asks before deleting",
         [this] {
             dbgPadrao()->setFocus();
             env.dialogs.answer(QStringLiteral("Excl"), MsgButton::No);
         },
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete),
         [this] {
             EXPECT_EQ(env.dialogs.keys(), QStringList{"Excl"});
         }},
        {"Ctrl+Enter from a field confirms the include",
         [this] {
             control<QToolButton>("sbtIncluir")->click();
             fill({.description = QStringLiteral("Confirmado pelo teclado")});
         },
         QKeySequence(Qt::CTRL | Qt::Key_Return),
         [this] {
             EXPECT_EQ(mode(), TfrmLancCCorr::Mode::Browsing);
             EXPECT_EQ(env.dialogs.errors(), QStringList());
             EXPECT_EQ(QApplication::focusWidget(), dbgPadrao()) << "the keys go on in the list";
         }},
        {"Esc answered Yes cancels the include",
         [this] {
             control<QToolButton>("sbtIncluir")->click();
             typeInto("medTpLanc", QStringLiteral("1"));
             env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
         },
         QKeySequence(Qt::Key_Escape),
         [this] {
             EXPECT_EQ(env.dialogs.keys(), QStringList{"Canc"});
             EXPECT_EQ(mode(), TfrmLancCCorr::Mode::Browsing);
             EXPECT_TRUE(form->isAncestorOf(QApplication::focusWidget())) << "the form's keys go on working";
         }},
        {"Esc answered No keeps the change and what was typed",
         [this] {
             control<QToolButton>("sbtAlterar")->click();
             control<QLineEdit>("edtDsLancamento")->setFocus();
             control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Ainda digitando"));
             env.dialogs.answer(QStringLiteral("Canc"), MsgButton::No);
         },
         QKeySequence(Qt::Key_Escape),
         [this] {
             EXPECT_EQ(env.dialogs.keys(), QStringList{"Canc"});
             EXPECT_EQ(mode(), TfrmLancCCorr::Mode::Changing);
             EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Ainda digitando"));
         }},
        {"Esc while browsing does nothing", [this] { dbgPadrao()->setFocus(); }, QKeySequence(Qt::Key_Escape),
         [this] {
             EXPECT_EQ(env.dialogs.keys(), QStringList());
             EXPECT_EQ(mode(), TfrmLancCCorr::Mode::Browsing);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reopen();
        chooseAccount(listed.code);
        c.reach();
        env.dialogs.clearShown();
        press(c.keys);
        c.check();
    }
}

TEST_F(Keyboard, EnterAndTabPassOverWhatOnlyShows) {
    struct Case {
        const char *name;
        bool including;
        const char *from;
        Qt::Key key;
        const char *to;
    };
    const Case cases[] = {
        {"from the account, Tab passes the bank, agency, account and name", false, "medCdRedu", Qt::Key_Tab,
         "pgcPadrao"},
        {"and the next Tab reaches the list", false, "pgcPadrao", Qt::Key_Tab, "dbgPadrao"},
        {"Enter leaves the account as Tab does", false, "medCdRedu", Qt::Key_Return, "pgcPadrao"},
        {"the keypad's Enter too", false, "medCdRedu", Qt::Key_Enter, "pgcPadrao"},
        {"Enter in the date goes to the kind", true, "depDataMov", Qt::Key_Return, "cbbTipo"},
        {"Enter in the kind goes to the type", true, "cbbTipo", Qt::Key_Return, "medTpLanc"},
        {"the type's name is passed over", true, "medTpLanc", Qt::Key_Return, "edtDsLancamento"},
        {"Enter in the description goes to the value", true, "edtDsLancamento", Qt::Key_Return,
         "nedLancamento"},
        {"the branch's name is passed over", true, "medFilial", Qt::Key_Tab, "medCentCust"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.including != (mode() == TfrmLancCCorr::Mode::Including)) {
            dbgPadrao()->setFocus();
            control<QToolButton>(c.including ? "sbtIncluir" : "sbtCancelar")->click();
            if (!c.including)
                env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
        }
        QWidget *from = control(c.from);
        from->setFocus();
        QTest::keyClick(from, c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // The page tabs take the focus on their tab bar.
        if (qobject_cast<QTabBar *>(focused) != nullptr)
            focused = focused->parentWidget();
        EXPECT_EQ(focused->objectName(), QString::fromLatin1(c.to));
    }
    EXPECT_EQ(env.dialogs.errors(), QStringList());
}

TEST_F(Keyboard, ClosingDuringAnIncludeOrAChangeAsksTheCancelsQuestion) {
    struct Case {
        const char *name;
        const char *command;
        MsgButton answer;
        bool closed;
    };
    const Case cases[] = {
        {"an include answered No stays with what was typed", "sbtIncluir", MsgButton::No, false},
        {"a change answered No stays with what was typed", "sbtAlterar", MsgButton::No, false},
        {"an include answered Yes closes", "sbtIncluir", MsgButton::Yes, true},
        {"a change answered Yes closes without writing", "sbtAlterar", MsgButton::Yes, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (form.isNull()) {
            open();
            chooseAccount(listed.code);
        }
        const qint64 before = movements();
        control<QToolButton>(c.command)->click();
        auto *description = control<QLineEdit>("edtDsLancamento");
        description->setFocus();
        description->setText(QStringLiteral("Digitado antes de fechar"));
        env.dialogs.clearShown();
        env.dialogs.answer(QStringLiteral("Canc"), c.answer);
        form->Close();
        releaseDeferred();
        EXPECT_EQ(env.dialogs.keys(), QStringList{"Canc"});
        EXPECT_EQ(form.isNull(), c.closed);
        EXPECT_EQ(movements(), before);
        if (!c.closed) {
            EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Digitado antes de fechar"));
            EXPECT_NE(mode(), TfrmLancCCorr::Mode::Browsing);
            env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
            control<QToolButton>("sbtCancelar")->click();
        }
    }
}
