#include <stdexcept>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_lookups.h"
#include "framework/checks/consiste.h"
#include "framework/data/data_source.h"
#include "framework/ui/buttons.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/lookup_dialogs.h"
#include "framework/ui/mask_edit.h"
#include "framework/ui/qt_lookup_dialogs.h"
#include "framework/ui/qt_message_dialogs.h"
#include "when_modal.h"

using namespace bco;

namespace {

// Branches as a look-up lists them: a hidden key kind, the code and the name.
struct Branches {
    ClientDataSet cds;
    DataSource source{&cds};

    explicit Branches(int rows = 4) {
        cds.AddFields({{.name = "TIPCOD", .size = 5, .hidden = true},
                       {.name = "CDFILIAL", .size = 4, .label = "Código"},
                       {.name = "NMFILIAL", .size = 30, .label = "Nome"}});
        DataPacket packet({{"TIPCOD", FieldKind::Text, 5},
                           {"CDFILIAL", FieldKind::Text, 4},
                           {"NMFILIAL", FieldKind::Text, 30}});
        const char *const names[] = {"Matriz", "Filial Centro", "Filial Norte", "Depósito Sul"};
        for (int i = 0; i < rows; ++i)
            packet.appendValues({QStringLiteral("C%1").arg(i + 1, 4, 10, QLatin1Char('0')),
                                 QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0')), names[i % 4]});
        cds.SetData(packet);
    }

    QString current(const char *field = "CDFILIAL") const {
        return cds.FieldByName(QString::fromLatin1(field)).AsString();
    }
};

const QString branchTitle = QStringLiteral("Filial|Não há filial cadastrada para empresa informada.");

// ---- the routines, answered by the scripted service
// ---------------------------------------------------------

TEST(PesquisarTest, APickLeavesTheDataSetOnThePickedRow) {
    Branches branches;
    ScriptedLookups lookups;
    lookups.pickWhere(QStringLiteral("CDFILIAL"), QStringLiteral("0003"));
    EXPECT_TRUE(Pesquisar(&branches.source, branchTitle, false, true));
    EXPECT_EQ(branches.current(), QStringLiteral("0003"));
    EXPECT_EQ(lookups.titles(), QStringList{QStringLiteral("Filial")});
}

TEST(PesquisarTest, ACancelLeavesTheDataSetWhereItWas) {
    Branches branches;
    branches.cds.SetRecNo(2);
    ScriptedLookups lookups;
    lookups.cancelPick();
    EXPECT_FALSE(Pesquisar(&branches.source, branchTitle));
    EXPECT_EQ(branches.current(), QStringLiteral("0002"));
}

TEST(PesquisarTest, NothingToListShowsTheEmptyTextAndOpensNoWindow) {
    for (const bool closed : {false, true}) {
        Branches branches(0);
        if (closed)
            branches.cds.Close();
        ScriptedDialogs dialogs;
        ScriptedLookups lookups;
        EXPECT_FALSE(Pesquisar(&branches.source, branchTitle));
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].kind, MsgKind::Information);
        EXPECT_EQ(dialogs.shown()[0].text,
                  QStringLiteral("Não há filial cadastrada para empresa informada."));
        EXPECT_TRUE(lookups.asked().empty());
    }
}

TEST(PesquisarTest, ASoleRowIsPickedWithoutAWindowOnlyWhenAsked) {
    Branches branches(1);
    ScriptedLookups lookups;
    EXPECT_TRUE(Pesquisar(&branches.source, branchTitle, true, true));
    EXPECT_TRUE(lookups.asked().empty());
    lookups.cancelPick();
    EXPECT_FALSE(Pesquisar(&branches.source, branchTitle, false, true));
}

struct ListCase {
    const char *name;
    const char *incoming;
    bool markAll;
    QStringList expectedMarked;
};

class PesquisaListaMarks : public ::testing::TestWithParam<ListCase> {};

TEST_P(PesquisaListaMarks, TheListStartsFromTheKeysAlreadyChosen) {
    Branches branches;
    ScriptedLookups lookups;
    lookups.markKeys({QStringLiteral("C0004"), QStringLiteral("C0001")});
    QString result = QString::fromUtf8(GetParam().incoming);
    EXPECT_TRUE(
        PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, GetParam().markAll, result));
    ASSERT_EQ(lookups.asked().size(), 1u);
    EXPECT_EQ(lookups.asked()[0].marked, GetParam().expectedMarked);
    EXPECT_EQ(result, QStringLiteral("'C0001','C0004'")) << "the answer follows the data set's order";
}

INSTANTIATE_TEST_SUITE_P(
    PesquisaLista, PesquisaListaMarks,
    ::testing::Values(
        ListCase{"nothing chosen yet", "", false, {}},
        ListCase{"all types chosen by the flag", "T", false, {}},
        ListCase{"two keys chosen before", "'C0002','C0003'", false, {"C0002", "C0003"}},
        ListCase{"every row marked when asked", "'C0002'", true, {"C0001", "C0002", "C0003", "C0004"}}),
    CaseName());

TEST(PesquisaListaTest, ConfirmingWithNothingMarkedEmptiesTheResultAndCancellingKeepsIt) {
    Branches branches;
    ScriptedLookups lookups;
    lookups.cancelList().markKeys({});
    QString result = QStringLiteral("'C0002'");
    EXPECT_FALSE(PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, false, result));
    EXPECT_EQ(result, QStringLiteral("'C0002'"));
    EXPECT_TRUE(PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, false, result));
    EXPECT_EQ(result, QString());
    EXPECT_EQ(branches.cds.RecNo(), 1) << "the pick list does not move the data set";
}

TEST(PesquisaListaTest, AnEmptyListShowsItsTextAndKeepsTheResult) {
    Branches branches(0);
    ScriptedDialogs dialogs;
    ScriptedLookups lookups;
    QString result = QStringLiteral("T");
    EXPECT_FALSE(PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, false, result));
    EXPECT_EQ(dialogs.texts(),
              QStringList{QStringLiteral("Não há filial cadastrada para empresa informada.")});
    EXPECT_EQ(result, QStringLiteral("T"));
}

TEST(CodeListTest, CodesTravelQuotedAndSeparatedByCommas) {
    EXPECT_EQ(CodeListText({"C0001", "D0002"}), QStringLiteral("'C0001','D0002'"));
    EXPECT_EQ(CodeListText({}), QString());
    EXPECT_EQ(CodeListCodes(QStringLiteral("'C0001', 'D0002'")), (QStringList{"C0001", "D0002"}));
    EXPECT_EQ(CodeListCodes(QStringLiteral("T")), QStringList());
    EXPECT_EQ(CodeListCodes(CodeListText({"01 ", "10"})), (QStringList{"01 ", "10"}));
    EXPECT_THROW(CodeListText({"D'OESTE"}), std::invalid_argument);
}

TEST(ProcuraTest, FindsTheFirstRowStartingWithTheValueWhateverItsCase) {
    Branches branches;
    ScriptedLookups lookups;
    lookups.typeFind(QStringLiteral("filial n"), QStringLiteral("NMFILIAL")).typeFind(QStringLiteral("0004"));
    EXPECT_TRUE(Procura(&branches.cds));
    EXPECT_EQ(branches.current(), QStringLiteral("0003"));
    EXPECT_TRUE(Procura(&branches.cds)) << "without a field the first visible one is searched";
    EXPECT_EQ(branches.current(), QStringLiteral("0004"));
}

struct SearchCase {
    const char *name;
    const char *field;
    const char *typed;
    const char *found; // the branch's code, or nullptr when nothing is found
};

class ProcuraSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(ProcuraSearch, FindsTheTextAnywhereInANameAndACodeByItsFirstLetters) {
    const SearchCase &c = GetParam();
    Branches branches;
    branches.cds.SetRecNo(1);
    ScriptedDialogs dialogs;
    ScriptedLookups lookups;
    lookups.typeFind(QString::fromUtf8(c.typed), QString::fromLatin1(c.field));
    EXPECT_EQ(Procura(&branches.cds), c.found != nullptr);
    EXPECT_EQ(branches.current(), QString::fromLatin1(c.found != nullptr ? c.found : "0001"));
}

INSTANTIATE_TEST_SUITE_P(
    Search, ProcuraSearch,
    ::testing::Values(SearchCase{"a word in the middle of a name", "NMFILIAL", "norte", "0003"},
                      SearchCase{"accents are ignored in the name", "NMFILIAL", "deposito", "0004"},
                      SearchCase{"and in what is typed", "NMFILIAL", "CÊNTRO", "0002"},
                      SearchCase{"letter case is ignored", "NMFILIAL", "mATRIZ", "0001"},
                      SearchCase{"blanks around what is typed are ignored", "NMFILIAL", "  sul ", "0004"},
                      SearchCase{"a code is found by its first letters", "CDFILIAL", "0003", "0003"},
                      SearchCase{"a code does not hold a text in its middle", "CDFILIAL", "3", nullptr},
                      SearchCase{"a text no name holds finds nothing", "NMFILIAL", "oeste", nullptr}),
    CaseName());

TEST(ProcuraTest, NothingFoundIsToldAndTheDataSetStays) {
    Branches branches;
    branches.cds.SetRecNo(2);
    ScriptedDialogs dialogs;
    ScriptedLookups lookups;
    lookups.typeFind(QStringLiteral("Oeste"), QStringLiteral("NMFILIAL")).cancelFind();
    EXPECT_FALSE(Procura(&branches.cds));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Registro não encontrado.")});
    EXPECT_FALSE(Procura(&branches.cds));
    EXPECT_EQ(branches.current(), QStringLiteral("0002"));
}

// ---- the look-up button
// ----------------------------------------------------------------------------------------

class LookupButtonForm : public ::testing::Test {
protected:
    void SetUp() override {
        auto *layout = new QVBoxLayout(&form);
        edit = new TMaskEdit(&form);
        button = new TBtnPesquisa(&form);
        layout->addWidget(edit);
        layout->addWidget(button);
        button->SetDataSource(&branches.source);
        button->SetTitle(QStringLiteral("Filial"));
        button->SetEmptyText(QStringLiteral("Não há filial cadastrada para empresa informada."));
        button->SetKeyField(QStringLiteral("CDFILIAL"));
        button->SetAssociate(edit);
        button->BeforePesq = [this] {
            log << QStringLiteral("before");
        };
        button->AfterPesq = [this] {
            log << QStringLiteral("after ") + edit->Text() + u' ' + branches.current("NMFILIAL");
        };
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        edit->setFocus();
    }

    Branches branches;
    QWidget form;
    TMaskEdit *edit = nullptr;
    TBtnPesquisa *button = nullptr;
    QStringList log;
};

TEST_F(LookupButtonForm, ClickPreparesLooksUpWritesTheKeyAndRunsTheAfterHandler) {
    ScriptedLookups lookups;
    lookups.pickWhere(QStringLiteral("CDFILIAL"), QStringLiteral("0002"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(log, (QStringList{"before", "after 0002 Filial Centro"}));
    EXPECT_EQ(lookups.titles(), QStringList{QStringLiteral("Filial")});
    EXPECT_EQ(QApplication::focusWidget(), edit) << "the button takes no focus";
}

TEST_F(LookupButtonForm, AnAbortBeforeTheLookUpOpensNoWindow) {
    ScriptedLookups lookups;
    button->BeforePesq = [] {
        throw Consiste::EAbort();
    };
    button->click();
    EXPECT_TRUE(lookups.asked().empty());
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(LookupButtonForm, ACancelledLookUpRunsNoAfterHandler) {
    ScriptedLookups lookups;
    lookups.cancelPick();
    edit->SetText(QStringLiteral("0001"));
    button->click();
    EXPECT_EQ(log, QStringList{QStringLiteral("before")});
    EXPECT_EQ(edit->Text(), QStringLiteral("0001"));
}

TEST_F(LookupButtonForm, AnEmptyListShowsTheButtonsText) {
    ScriptedDialogs dialogs;
    ScriptedLookups lookups;
    button->BeforePesq = [this] {
        branches.cds.EmptyDataSet();
    };
    button->click();
    EXPECT_EQ(dialogs.texts(),
              QStringList{QStringLiteral("Não há filial cadastrada para empresa informada.")});
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(LookupButtonForm, AnOwnClickHandlerReplacesTheLookUp) {
    ScriptedLookups lookups;
    button->OnClick = [this] {
        log << QStringLiteral("own");
    };
    button->click();
    EXPECT_EQ(log, QStringList{QStringLiteral("own")});
    EXPECT_TRUE(lookups.asked().empty());
}

// ---- the windows of the desktop, driven as an operator would
// ------------------------------------------------

class QtLookupWindows : public ::testing::Test {
protected:
    QtLookupDialogs windows;
    ScopedLookupDialogs installed{windows};
    Branches branches;
};

template <class Widget> Widget *child(QWidget &window, const char *name) {
    auto *found = window.findChild<Widget *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void clickRow(TNewDBGrid *grid, int row, int column = 0) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, column)).center());
}

TEST_F(QtLookupWindows, TheLookUpWindowListsTheVisibleFieldsAndPicksTheClickedRow) {
    QStringList titles;
    QString windowTitle;
    whenModal([&](QWidget &window) {
        windowTitle = window.windowTitle();
        auto *grid = child<TNewDBGrid>(window, "lookupGrid");
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            titles << grid->model()->headerData(c, Qt::Horizontal).toString();
        clickRow(grid, 2);
        QTest::keyClick(grid, Qt::Key_Return);
    });
    EXPECT_TRUE(Pesquisar(&branches.source, branchTitle));
    EXPECT_EQ(windowTitle, QStringLiteral("Filial"));
    EXPECT_EQ(titles, (QStringList{"Código", "Nome"}));
    EXPECT_EQ(branches.current(), QStringLiteral("0003"));
}

TEST_F(QtLookupWindows, AnEmptyListIsToldInAnInformationBoxAndOpensNoWindow) {
    Branches empty(0);
    QtMessageDialogs messages;
    ScopedMessageDialogs installedMessages(messages);
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenModal([&](QWidget &window) {
        auto &box = dynamic_cast<QMessageBox &>(window);
        text = box.text();
        icon = box.icon();
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_FALSE(Pesquisar(&empty.source, branchTitle));
    EXPECT_EQ(text, QStringLiteral("Não há filial cadastrada para empresa informada."));
    EXPECT_EQ(icon, QMessageBox::Information);
}

TEST_F(QtLookupWindows, TheFindBoxMovesAndCancellingPutsTheDataSetBack) {
    branches.cds.SetRecNo(2);
    QString foundWhileOpen;
    whenModal([&](QWidget &window) {
        auto *find = child<QLineEdit>(window, "lookupFind");
        auto *grid = child<TNewDBGrid>(window, "lookupGrid");
        grid->SetSelectedField(QStringLiteral("NMFILIAL"));
        // Anywhere in the name, accents and letter case aside.
        QTest::keyClicks(find, QStringLiteral("SITO"));
        foundWhileOpen = branches.current();
        QTest::keyClick(find, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisar(&branches.source, branchTitle));
    EXPECT_EQ(foundWhileOpen, QStringLiteral("0004"));
    EXPECT_EQ(branches.current(), QStringLiteral("0002"));
}

// Text that matches no row leaves the row an earlier search found highlighted: Enter does not take it, and
// the window says what was not found; a row the operator then chooses, by arrow or by mouse, the one
// highlighted included, is taken.
TEST_F(QtLookupWindows, TextThatMatchesNoRowIsNotTakenForTheRowLeftHighlighted) {
    const struct Case {
        const char *name;
        std::function<void(QLineEdit *, TNewDBGrid *)> choose;
        const char *taken;
    } cases[] = {
        {"the next row by arrow, then Enter",
         [](QLineEdit *find, TNewDBGrid *) {
             QTest::keyClick(find, Qt::Key_Down);
             QTest::keyClick(find, Qt::Key_Return);
         },
         "0002"},
        {"the row highlighted, clicked, then Enter",
         [](QLineEdit *, TNewDBGrid *grid) {
             clickRow(grid, 0);
             QTest::keyClick(grid, Qt::Key_Return);
         },
         "0001"},
        {"another row, double-clicked",
         [](QLineEdit *, TNewDBGrid *grid) {
             // As a mouse sends it: a click, then the second press of the double click.
             const QPoint at = grid->visualRect(grid->model()->index(2, 0)).center();
             QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
         },
         "0003"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        branches.cds.First();
        bool openAfterEnter = false;
        QString said;
        whenModal([&](QWidget &window) {
            auto *find = child<QLineEdit>(window, "lookupFind");
            QTest::keyClicks(find, QStringLiteral("000"));
            QTest::keyClicks(find, QStringLiteral("9"));
            QTest::keyClick(find, Qt::Key_Return);
            openAfterEnter = window.isVisible();
            said = child<QLabel>(window, "lookupNotFound")->text();
            c.choose(find, child<TNewDBGrid>(window, "lookupGrid"));
        });
        EXPECT_TRUE(Pesquisar(&branches.source, branchTitle));
        EXPECT_TRUE(openAfterEnter);
        EXPECT_EQ(said, QString::fromUtf8("Nenhum registro corresponde a “0009” em Código."));
        EXPECT_EQ(branches.current(), QString::fromLatin1(c.taken));
    }
}

// What the search box finds: a code by its start, a number shown through a mask by its start with or
// without the mask's punctuation, and a name anywhere in it, accents and letter case aside.
TEST(SearchMatchesTest, FindsCodesByTheirStartMaskedNumbersByTheirDigitsAndNamesAnywhere) {
    ClientDataSet cds;
    cds.AddFields({{.name = "CDFILIAL", .size = 4},
                   {.name = "NRINSJURCLIE", .size = 18},
                   {.name = "NMFILIAL", .size = 30}});
    cds.CreateDataSet();
    const struct Case {
        const char *field, *shown, *typed;
        bool found;
    } cases[] = {
        {"CDFILIAL", "0102", "01", true},
        {"CDFILIAL", "0102", "02", false},
        {"NRINSJURCLIE", "86.033.773/0001-90", "86033773000190", true},
        {"NRINSJURCLIE", "86.033.773/0001-90", "86.033", true},
        {"NRINSJURCLIE", "86.033.773/0001-90", "8603377300", true},
        {"NRINSJURCLIE", "86.033.773/0001-90", "86034", false},
        {"NMFILIAL", "Depósito Sul", "SITO", true},
        {"NMFILIAL", "Depósito Sul", "norte", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.typed);
        EXPECT_EQ(SearchMatches(cds.FieldByName(QString::fromLatin1(c.field)), QString::fromUtf8(c.shown),
                                QString::fromUtf8(c.typed)),
                  c.found);
    }
}

TEST_F(QtLookupWindows, ThePickListTogglesMarksAndAnswersTheMarkedKeys) {
    QString result = QStringLiteral("'C0002'");
    whenModal([&](QWidget &window) {
        auto *grid = child<TNewDBGrid>(window, "pickGrid");
        clickRow(grid, 0);
        QTest::keyClick(grid, Qt::Key_Space);
        clickRow(grid, 3);
        QTest::keyClick(grid, Qt::Key_Space);
        clickRow(grid, 1);
        QTest::keyClick(grid, Qt::Key_Space);
        QTest::keyClick(grid, Qt::Key_Return);
    });
    EXPECT_TRUE(PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, false, result));
    EXPECT_EQ(result, QStringLiteral("'C0001','C0004'"));
    EXPECT_EQ(branches.cds.RecNo(), 1);
}

TEST_F(QtLookupWindows, ThePickListMarksAllOrNoneAndCancelsWithoutAnswer) {
    QString result;
    whenModal([&](QWidget &window) {
        child<QPushButton>(window, "markAll")->click();
        QTest::keyClick(child<TNewDBGrid>(window, "pickGrid"), Qt::Key_Return);
    });
    EXPECT_TRUE(PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, false, result));
    EXPECT_EQ(result, QStringLiteral("'C0001','C0002','C0003','C0004'"));
    whenModal([&](QWidget &window) {
        child<QPushButton>(window, "unmarkAll")->click();
        QTest::keyClick(child<TNewDBGrid>(window, "pickGrid"), Qt::Key_Escape);
    });
    EXPECT_FALSE(PesquisaLista(&branches.source, QStringLiteral("TIPCOD"), branchTitle, false, result));
    EXPECT_EQ(result, QStringLiteral("'C0001','C0002','C0003','C0004'"));
}

TEST_F(QtLookupWindows, TheFindWindowSearchesTheChosenField) {
    QStringList fields;
    whenModal([&](QWidget &window) {
        auto *field = child<QComboBox>(window, "findField");
        for (int i = 0; i < field->count(); ++i)
            fields << field->itemText(i);
        field->setCurrentIndex(1);
        QTest::keyClicks(child<QLineEdit>(window, "findValue"), QStringLiteral("FILIAL C"));
        QTest::keyClick(child<QLineEdit>(window, "findValue"), Qt::Key_Return);
    });
    EXPECT_TRUE(Procura(&branches.cds));
    EXPECT_EQ(fields, (QStringList{"Código", "Nome"}));
    EXPECT_EQ(branches.current(), QStringLiteral("0002"));
}

} // namespace
