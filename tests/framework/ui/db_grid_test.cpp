#include <optional>
#include <stdexcept>

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "framework/checks/consiste.h"
#include "framework/data/data_source.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/db_navigator.h"

using namespace bco;

namespace {

// Five advances as the discount form lists them: a mark, a code, a name and an amount.
struct Advances {
    ClientDataSet cds;
    DataSource source{&cds};

    Advances() {
        cds.AddFields(
            {{.name = "IDMARCADO", .size = 1, .fixedWidth = true},
             {.name = "CODIGO", .size = 4, .label = "Código"},
             {.name = "NOME", .size = 30, .label = "Nome"},
             {.name = "VALOR", .kind = FieldKind::Float, .label = "Valor", .displayFormat = "#,##0.00"}});
        DataPacket packet({{"IDMARCADO", FieldKind::Text, 1},
                           {"CODIGO", FieldKind::Text, 4},
                           {"NOME", FieldKind::Text, 30},
                           {"VALOR", FieldKind::Float}});
        packet.appendValues({"N", "0001", "Banco do Norte", 150.0});
        packet.appendValues({"S", "0002", "Caixa Central", 80.0});
        packet.appendValues({"N", "0003", "Banco Sul", 0.0});
        packet.appendValues({"N", "0004", "Cooperativa", 42.5});
        packet.appendValues({"N", "0005", "Banco Leste", 10.0});
        cds.SetData(packet);
    }

    QString mark(int recNo) const {
        const ClientDataSet::ActiveRowScope reading(cds, recNo - 1);
        return cds.FieldByName(u"IDMARCADO").AsString();
    }
};

class GridForm : public ::testing::Test {
protected:
    void SetUp() override {
        auto *layout = new QVBoxLayout(&form);
        grid = new TNewDBGrid(&form);
        other = new QLineEdit(&form);
        layout->addWidget(grid);
        layout->addWidget(other);
        grid->SetDataSource(&data.source);
        form.resize(520, 320);
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        grid->setFocus();
    }

    QPoint cellCentre(int row, int column) const {
        return grid->visualRect(grid->model()->index(row, column)).center();
    }
    void click(int row, int column) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }
    void doubleClick(int row, int column) {
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }
    int selectedRow() const {
        const QModelIndexList rows = grid->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }

    Advances data;
    QWidget form;
    TNewDBGrid *grid = nullptr;
    QLineEdit *other = nullptr;
};

TEST_F(GridForm, ShowsTheVisibleFieldsWithGivenTitlesWidthsAndAlignment) {
    grid->SetColumns({{.fieldName = "IDMARCADO", .width = 22},
                      {.fieldName = "NOME", .width = 191},
                      {.fieldName = "VALOR", .width = 105, .titleAlignment = Qt::AlignRight}});
    EXPECT_EQ(grid->model()->columnCount(), 3);
    EXPECT_EQ(grid->columnWidth(1), 191);
    EXPECT_EQ(grid->columnWidth(2), 105);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("✓"));
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Valor"));
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                  Qt::AlignHorizontal_Mask,
              int(Qt::AlignRight));
    EXPECT_EQ(grid->model()->index(0, 2).data().toString(), QStringLiteral("150,00"));
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(grid->showGrid());
}

TEST_F(GridForm, ATitleIsNeverClippedAndACellTooNarrowForItsTextShowsItInATip) {
    struct Case {
        const char *name;
        int width;
        bool titleWhole; // the stated width is kept
        bool tip;        // resting on "Banco do Norte" shows it
    };
    const int title = grid->horizontalHeader()->fontMetrics().horizontalAdvance(QStringLiteral("Nome"));
    const int text = grid->fontMetrics().horizontalAdvance(QStringLiteral("Banco do Norte"));
    const Case cases[] = {
        {"a width narrower than the title grows to show it", title / 2, false, true},
        {"a width that holds the title but not the text", title + 20, true, text > title + 10},
        {"a width that holds the text", text + 40, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        grid->SetColumns({{.fieldName = "NOME", .width = c.width}, {.fieldName = "VALOR"}});
        QApplication::processEvents();
        EXPECT_GE(grid->columnWidth(0), grid->horizontalHeader()->sectionSizeHint(0));
        EXPECT_GT(grid->columnWidth(0), title);
        EXPECT_EQ(grid->columnWidth(0) == c.width, c.titleWhole);
        QToolTip::hideText();
        ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
        const QPoint at = cellCentre(0, 0);
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid->viewport(), &help);
        // A tip goes away after a while: what is shown is read while it is.
        static_cast<void>(QTest::qWaitFor([] { return QToolTip::isVisible(); }, c.tip ? 1000 : 100));
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(),
                  c.tip ? QStringLiteral("Banco do Norte") : QString());
    }
}

TEST_F(GridForm, TheSelectionFollowsTheDataSet) {
    EXPECT_EQ(selectedRow(), 0);
    data.cds.SetRecNo(4);
    EXPECT_EQ(selectedRow(), 3);
    data.cds.Last();
    EXPECT_EQ(selectedRow(), 4);
    other->setFocus();
    EXPECT_EQ(grid->palette().color(QPalette::Inactive, QPalette::Highlight),
              grid->palette().color(QPalette::Active, QPalette::Highlight))
        << "the selection is shown without the focus";
}

TEST_F(GridForm, TheDataSetFollowsClicksAndKeys) {
    click(2, 1);
    EXPECT_EQ(data.cds.RecNo(), 3);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(data.cds.RecNo(), 4);
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(data.cds.RecNo(), 2);
    EXPECT_EQ(selectedRow(), 1);
}

TEST_F(GridForm, AMoveTheDataSetRefusesLeavesTheSelectionOnItsRow) {
    data.cds.BeforeScroll = [](ClientDataSet &) {
        throw Consiste::EAbort();
    };
    // The view selects the row it moves to once it has made it current, a key as a click.
    const std::pair<const char *, std::function<void()>> moves[] = {
        {"a click",
         [this] {
             click(3, 1);
         }},
        {"the Down key",
         [this] {
             QTest::keyClick(grid, Qt::Key_Down);
         }},
        {"the Page Down key",
         [this] {
             QTest::keyClick(grid, Qt::Key_PageDown);
         }},
    };
    for (const auto &[name, move] : moves) {
        SCOPED_TRACE(name);
        move();
        QCoreApplication::processEvents();
        EXPECT_EQ(data.cds.RecNo(), 1);
        EXPECT_EQ(selectedRow(), 0);
        EXPECT_EQ(grid->currentIndex().row(), 0);
    }
}

// A key typed where nothing can be edited does nothing: the view's own search would make the row whose text
// starts with it current, and what the operator does next would act on that row.
TEST_F(GridForm, AKeyTypedWhereNothingIsEditableLeavesTheRowWhereItWas) {
    click(2, 2);
    for (const char *typed : {"C", "0", "1", "Banco L"}) {
        SCOPED_TRACE(typed);
        QTest::keyClicks(grid, QString::fromLatin1(typed));
        EXPECT_EQ(data.cds.RecNo(), 3);
        EXPECT_EQ(grid->currentIndex().row(), 2);
    }
}

TEST_F(GridForm, TheSelectedFieldIsTheCurrentColumnAndEnteringOneIsTold) {
    int entered = 0;
    grid->OnColEnter = [&] {
        ++entered;
    };
    click(0, 3);
    EXPECT_EQ(grid->SelectedField()->FieldName(), QStringLiteral("VALOR"));
    EXPECT_EQ(entered, 1);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(entered, 1) << "moving down keeps the column";
    grid->SetSelectedField(QStringLiteral("IDMARCADO"));
    EXPECT_EQ(grid->SelectedField()->FieldName(), QStringLiteral("IDMARCADO"));
    EXPECT_EQ(data.cds.RecNo(), 2);
}

// ---- marks ----------------------------------------------------------------------------------------------

struct ToggleCase {
    const char *name;
    bool toggling;
    int column;
    bool byDoubleClick;
    const char *markAfter;
};

class MarkToggling : public GridForm, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(MarkToggling, TogglesOnlyTheMarkColumnAndOnlyWhenTold) {
    const ToggleCase &c = GetParam();
    grid->SetMarkToggling(c.toggling);
    click(0, c.column);
    if (c.byDoubleClick)
        doubleClick(0, c.column);
    else
        QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(data.mark(1), QString::fromUtf8(c.markAfter));
    EXPECT_EQ(data.cds.State(), DataSetState::Browse) << "a toggle is posted at once";
}

INSTANTIATE_TEST_SUITE_P(
    Grid, MarkToggling,
    ::testing::Values(ToggleCase{"space on the mark column marks the row", true, 0, false, "S"},
                      ToggleCase{"a double click on the mark column marks the row", true, 0, true, "S"},
                      ToggleCase{"space on another column leaves the mark", true, 1, false, "N"},
                      ToggleCase{"a double click on another column leaves the mark", true, 2, true, "N"},
                      ToggleCase{"without toggling switched on space leaves the mark", false, 0, false, "N"}),
    CaseName());

TEST_F(GridForm, ToggledTwiceAMarkIsBackAndAMarkedRowIsUnmarked) {
    grid->SetMarkToggling(true);
    click(1, 0);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(data.mark(2), QStringLiteral("N"));
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(data.mark(2), QStringLiteral("S"));
}

TEST_F(GridForm, MarksAreDrawnAsATickedOrAnEmptyBox) {
    const QRect marked = grid->visualRect(grid->model()->index(1, 0));
    const QRect unmarked = grid->visualRect(grid->model()->index(2, 0));
    data.cds.SetRecNo(4); // neither row selected, so both have the same background
    const QImage shown = grid->viewport()->grab().toImage();
    EXPECT_NE(shown.copy(marked), shown.copy(unmarked));
}

// ---- editing ----------------------------------------------------------------------------------------------

class GridEditing : public GridForm {
protected:
    void SetUp() override {
        GridForm::SetUp();
        grid->SetCellEditable([](const Field &field) { return field.FieldName() == QLatin1String("VALOR"); });
    }
    Qt::ItemFlags flagsOf(int row, int column) const {
        return grid->model()->flags(grid->model()->index(row, column));
    }
};

TEST_F(GridEditing, NothingIsEditableUntilEditingIsOn) {
    EXPECT_FALSE(flagsOf(0, 3).testFlag(Qt::ItemIsEditable));
    grid->SetEditing(true);
    EXPECT_TRUE(flagsOf(0, 3).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(flagsOf(0, 2).testFlag(Qt::ItemIsEditable)) << "the form's rule keeps the name closed";
    EXPECT_FALSE(flagsOf(0, 0).testFlag(Qt::ItemIsEditable)) << "marks are toggled, never typed";
}

TEST_F(GridEditing, TypingWritesTheFieldAndTheRowIsPostedWhenLeft) {
    grid->SetEditing(true);
    click(0, 3);
    QTest::keyClicks(grid, QStringLiteral("2"));
    QWidget *editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid) << "the first key opens the cell";
    QTest::keyClicks(editor, QStringLiteral("00,5"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the cell editor commits once its key has been handled
    EXPECT_EQ(data.cds.State(), DataSetState::Edit);
    EXPECT_EQ(data.cds.FieldByName(u"VALOR").AsFloat(), 200.5);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(data.cds.RecNo(), 2);
    EXPECT_EQ(data.cds.State(), DataSetState::Browse);
    EXPECT_EQ(grid->model()->index(0, 3).data().toString(), QStringLiteral("200,50"));
}

TEST_F(GridEditing, TheKeyPressHookSeesKeysTypedIntoTheCell) {
    grid->SetEditing(true);
    grid->OnKeyPress = [](QChar &key) {
        if (key == QLatin1Char('-'))
            key = QChar();
    };
    click(0, 3);
    QToolTip::hideText();
    QTest::keyClicks(grid, QStringLiteral("-"));
    // Dropped without a word, it would leave 7 where -7 was typed.
    EXPECT_TRUE(QToolTip::isVisible() && QToolTip::text() == QStringLiteral("“-” recusado nesta coluna."))
        << QToolTip::text().toStdString();
    QTest::keyClicks(grid, QStringLiteral("7"));
    QWidget *editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid);
    QTest::keyClicks(editor, QStringLiteral("-5"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(data.cds.FieldByName(u"VALOR").AsFloat(), 75.0);
}

TEST_F(GridEditing, AValueThatIsNoNumberIsRefusedWithAMessage) {
    ScriptedDialogs dialogs;
    grid->SetEditing(true);
    click(0, 3);
    QTest::keyClicks(grid, QStringLiteral("a"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("bc"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(dialogs.errors(), QStringList{QStringLiteral(
                                    "'abc' não é um valor válido: escreva-o como 1.234,56 ou 1234,56.")});
    EXPECT_EQ(data.cds.FieldByName(u"VALOR").AsFloat(), 150.0);
}

TEST_F(GridEditing, ANumberIsReadAsTheNumberEditsReadIt) {
    struct Case {
        const char *typed;
        std::optional<double> read; // none: refused, the row keeps its value
        const char *refusal = "";   // the message, when it is not the one for no number
    };
    // The cell shows two decimals: a third would be rounded away unseen.
    const Case cases[] = {
        {"1.000,00", 1000.0},
        {"1234,5", 1234.5},
        {"12.500", 12500.0},
        {"12.50", {}},
        {"1,234.56", {}},
        {"12,345", {}, "'12,345' tem mais de 2 casas decimais."},
        {"0,005", {}, "'0,005' tem mais de 2 casas decimais."},
        {"12,30", 12.3},
    };
    grid->SetEditing(true);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        const int row = static_cast<int>(i % 5);
        SCOPED_TRACE(c.typed);
        ScriptedDialogs dialogs;
        click(row, 3);
        const double before = data.cds.FieldByName(u"VALOR").AsFloat();
        QTest::keyClicks(grid, QString::fromLatin1(c.typed).left(1));
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(c.typed).mid(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(data.cds.RecNo(), row + 1);
        EXPECT_EQ(data.cds.FieldByName(u"VALOR").AsFloat(), c.read.value_or(before));
        const QString refusal =
            *c.refusal != 0
                ? QString::fromUtf8(c.refusal)
                : QStringLiteral("'%1' não é um valor válido: escreva-o como 1.234,56 ou 1234,56.")
                      .arg(c.typed);
        EXPECT_EQ(dialogs.errors(), c.read ? QStringList{} : QStringList{refusal});
    }
}

// As in a number field, the keypad's decimal key types the decimal comma, whichever sign the keyboard's
// layout gives it.
TEST_F(GridEditing, TheKeypadsDecimalKeyTypesTheDecimalComma) {
    ScriptedDialogs dialogs;
    grid->SetEditing(true);
    click(0, 3);
    QTest::keyClicks(grid, QStringLiteral("5"));
    QWidget *editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid);
    for (const Qt::Key decimal : {Qt::Key_Period, Qt::Key_Comma}) {
        SCOPED_TRACE(decimal);
        qobject_cast<QLineEdit *>(editor)->setText(QStringLiteral("5"));
        QTest::keyClick(editor, decimal, Qt::KeypadModifier);
        EXPECT_EQ(qobject_cast<QLineEdit *>(editor)->text(), QStringLiteral("5,"));
    }
    QTest::keyClicks(editor, QStringLiteral("5"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(dialogs.errors().isEmpty());
    EXPECT_EQ(data.cds.FieldByName(u"VALOR").AsFloat(), 5.5);
}

TEST_F(GridForm, AKeyDownHookSwallowsKeys) {
    grid->OnKeyDown = [](int &key, Qt::KeyboardModifiers modifiers) {
        if (key == Qt::Key_Down && modifiers == Qt::ControlModifier)
            key = 0;
    };
    QTest::keyClick(grid, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(data.cds.RecNo(), 1);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(data.cds.RecNo(), 2);
}

// ---- owner draw
// ---------------------------------------------------------------------------------------------

TEST_F(GridForm, TheDrawHookReadsTheDrawnRowAndInsereImagemLeavesTheTransparentColourOut) {
    // A red square on an olive ground: the olive must not reach the screen.
    QPixmap glyph(12, 12);
    glyph.fill(MarkGlyphBackground());
    {
        QPainter painter(&glyph);
        painter.fillRect(3, 3, 6, 6, Qt::red);
    }
    QStringList drawn;
    grid->OnDrawColumnCell = [&](const QRect &rect, const Field &field, QStyle::State) {
        if (field.FieldName() != QLatin1String("CODIGO"))
            return;
        drawn << field.AsString();
        InsereImagem(grid, rect, glyph, MarkGlyphBackground());
    };
    data.cds.SetRecNo(5);
    const QImage shown = grid->viewport()->grab().toImage();
    drawn.sort();
    drawn.removeDuplicates();
    EXPECT_EQ(drawn, (QStringList{"0001", "0002", "0003", "0004", "0005"}));
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    EXPECT_EQ(shown.pixelColor(cell.center()), QColor(Qt::red));
    const QPoint ground = cell.center() - QPoint(5, 5);
    EXPECT_NE(shown.pixelColor(ground), MarkGlyphBackground());
    EXPECT_EQ(data.cds.RecNo(), 5) << "drawing reads rows without moving";
    EXPECT_THROW(InsereImagem(grid, cell, glyph, MarkGlyphBackground()), std::logic_error);
}

// ---- a large data set
// ----------------------------------------------------------------------------------------

TEST(GridLargeDataSetTest, OpensAndScrollsWithoutVisitingEveryRow) {
    ClientDataSet cds;
    DataPacket packet({{"CODIGO", FieldKind::Text, 6}, {"NOME", FieldKind::Text, 30}});
    packet.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        packet.appendValues({QString::number(i), QStringLiteral("Lançamento %1").arg(i)});
    cds.AddFields({{.name = "CODIGO", .size = 6}, {.name = "NOME", .size = 30}});
    int texts = 0;
    cds.FieldByName(u"NOME").SetOnGetText([&](const Field &field, bool) {
        ++texts;
        return field.AsString();
    });
    cds.SetData(packet);
    DataSource source(&cds);
    TNewDBGrid grid;
    grid.resize(400, 300);
    grid.SetDataSource(&source);
    grid.show();
    QApplication::setActiveWindow(&grid);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QApplication::processEvents();
    for (int i = 0; i < 300; ++i)
        QTest::keyClick(&grid, Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(cds.RecNo(), 301);
    EXPECT_EQ(grid.currentIndex().row(), 300);
    EXPECT_LT(texts, 2000) << "only the rows on the screen are read";
    cds.Last();
    EXPECT_EQ(grid.currentIndex().row(), 99999);
}

// ---- navigator and caption
// -------------------------------------------------------------------------------------

TEST(NavigatorTest, EnablesTheMovesThatCanGoSomewhere) {
    Advances data;
    TDBNavigator navigator;
    navigator.SetDataSource(&data.source);
    auto enabled = [&] {
        QString flags;
        for (auto button : {TDBNavigator::Button::First, TDBNavigator::Button::Prior,
                            TDBNavigator::Button::Next, TDBNavigator::Button::Last})
            flags += navigator.ButtonOf(button)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return flags;
    };
    EXPECT_EQ(enabled(), QStringLiteral("0011"));
    navigator.ButtonOf(TDBNavigator::Button::Next)->click();
    EXPECT_EQ(data.cds.RecNo(), 2);
    EXPECT_EQ(enabled(), QStringLiteral("1111"));
    navigator.ButtonOf(TDBNavigator::Button::Last)->click();
    EXPECT_EQ(data.cds.RecNo(), 5);
    EXPECT_EQ(enabled(), QStringLiteral("1100"));
    navigator.ButtonOf(TDBNavigator::Button::First)->click();
    EXPECT_EQ(data.cds.RecNo(), 1);
    data.cds.Close();
    EXPECT_EQ(enabled(), QStringLiteral("0000"));
    EXPECT_EQ(navigator.ButtonOf(TDBNavigator::Button::Next)->focusPolicy(), Qt::NoFocus);
}

TEST(DBTextTest, ShowsTheCurrentRowUntilDetached) {
    Advances data;
    TDBText caption;
    caption.SetDataField(QStringLiteral("NOME"));
    caption.SetDataSource(&data.source);
    EXPECT_EQ(caption.text(), QStringLiteral("Banco do Norte"));
    data.cds.Next();
    EXPECT_EQ(caption.text(), QStringLiteral("Caixa Central"));
    data.cds.Edit();
    data.cds.FieldByName(u"NOME").SetAsString(QStringLiteral("Caixa Nova"));
    EXPECT_EQ(caption.text(), QStringLiteral("Caixa Nova"));
    data.cds.Cancel();
    caption.SetDataSource(nullptr);
    EXPECT_EQ(caption.text(), QString());
    data.cds.First();
    EXPECT_EQ(caption.text(), QString());
}

} // namespace
