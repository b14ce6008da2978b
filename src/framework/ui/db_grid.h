#pragma once

#include <functional>

#include <QMap>
#include <QPointer>
#include <QStyle>
#include <QTableView>

#include "framework/data/data_set_model.h"
#include "framework/data/data_source.h"
#include "framework/ui/control_color.h"
#include "framework/ui/refusal_tip.h"

class QPainter;

namespace bco {

class Field;
class GridModel;

// The forms' grid over a data set (dbg*). It shows the data source's data set through a DataSetModel (its
// visible fields, or the columns given, with their titles, widths and alignments), whole rows selected
// and the selection shown even when the grid has no focus, with grid lines. A column is never made
// narrower than its title, whatever width it is given; a cell too narrow for its text shows the text
// whole in a tool tip.
//
// The grid and the data set follow each other: clicking or moving to a row moves the data set there (its
// scroll events run, a pending edit is posted), and when the data set moves the selection follows. A move
// the data set refuses (a before-scroll abort, a refused post) leaves the selection on the data set's row.
// Nothing is prepared per row, so a data set of 100,000 rows opens and scrolls at once.
//
// Editing is off until SetEditing(true); then a cell may be typed into when CellEditable, if given, says
// so for its field (calculated fields never). What is typed is written into the field on the data set's
// current row, which is put into edit first and stays there until it is posted (by a move, or by the
// form). A number is read as a number edit reads it (ReadTypedAmount, in the process's locale); a text
// that is no number or date is refused with a message and written nowhere.
//
// Mark columns (the field IDMARCADO, "S" marked) are drawn as a ticked or an empty box; with
// SetMarkToggling(true) a double click or the space bar on the mark column toggles the current row's mark
// and posts it.
//
// Hooks for the form, each run through the event guard: OnKeyDown (every key, the cell editor's
// included; set the code to 0 to swallow it), OnKeyPress (the character typed; set it null to discard
// it), OnDblClick, OnRowChosen, OnColEnter (the current column changed), OnEditorSubmitted and
// OnDrawColumnCell (after a cell is drawn; Canvas() is the painter then, the data set's fields read the drawn
// row, and InsereImagem draws into the cell).
class TNewDBGrid : public QTableView {
    Q_OBJECT

public:
    using KeyDownHandler = std::function<void(int &key, Qt::KeyboardModifiers modifiers)>;
    using KeyPressHandler = std::function<void(QChar &key)>;
    using DrawCellHandler = std::function<void(const QRect &rect, const Field &field, QStyle::State state)>;
    using CellEditable = std::function<bool(const Field &field)>;

    static constexpr char MarkFieldName[] = "IDMARCADO";

    explicit TNewDBGrid(QWidget *parent = nullptr);
    ~TNewDBGrid() override;

    DataSource *GetDataSource() const { return dataSource_; }
    // Shows the source's data set (as it is now: a later change of the source's data set needs another
    // call). Null empties the grid.
    void SetDataSource(DataSource *source);
    ClientDataSet *DataSet() const;
    DataSetModel *Model() const;

    // Columns to show; empty shows every visible field. A column without a width gets its field's natural
    // width.
    void SetColumns(const QList<DataSetColumn> &columns);
    int NaturalWidth(const Field &field) const;
    // The column of `fieldName` takes the width the other columns leave free in the grid (empty: none
    // does); the operator sizes the others.
    void SetStretchColumn(const QString &fieldName);
    // The widths of the columns the operator sizes, by field name, to be remembered; and setting them again,
    // where a name shown by no such column (or a width under 16 pixels, which would hide it) is passed over.
    QMap<QString, int> ColumnWidths() const;
    void SetColumnWidths(const QMap<QString, int> &widths);

    // What the grid shows, for a copy or an export: the titles of the columns shown, in the order shown, and
    // for each row of the data set, in its order, the cells of those columns: a number or a date as its
    // value, anything else as the text shown (an empty cell as an invalid QVariant). The data set does not
    // move.
    struct ShownTable {
        QStringList titles;
        QList<QVariantList> rows;
    };
    ShownTable ShownContents() const;

    // The field of the current column; null when the grid shows nothing.
    const Field *SelectedField() const;
    void SetSelectedField(const QString &fieldName);

    bool Editing() const { return editing_; }
    void SetEditing(bool editing);
    // Writes what an open cell editor holds into the data set (as leaving the cell would) and closes it; a
    // command that does not take the focus from the grid (a tool button) runs this first. Answers false when
    // the data set refused the text (the operator was told why): the editor then stays open with it, and
    // the command must stop.
    bool CommitEdit();
    void SetCellEditable(CellEditable editable) { cellEditable_ = std::move(editable); }
    bool IsEditable(const Field &field) const;

    bool MarkToggling() const { return markToggling_; }
    void SetMarkToggling(bool toggling) { markToggling_ = toggling; }
    // Toggles the mark of the current row ("S" becomes "N", anything else "S") and posts it.
    void ToggleMark();
    static bool IsMarkField(const Field *field);

    void SetColor(ControlColor color);

    // The painter of the cell being drawn, inside OnDrawColumnCell; null at any other time.
    QPainter *Canvas() const { return canvas_; }

    KeyDownHandler OnKeyDown;
    KeyPressHandler OnKeyPress;
    std::function<void()> OnDblClick;
    // The operator chose a row: pressed a mouse button on one, or moved to another with the keys that go
    // from row to row (one that leaves the row where it was chooses nothing).
    std::function<void()> OnRowChosen;
    std::function<void()> OnColEnter;
    // A cell editor was left with Enter, what it held written into the field.
    std::function<void()> OnEditorSubmitted;
    DrawCellHandler OnDrawColumnCell;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    // Off: the view would make current the row whose text starts with what is typed where nothing can be
    // edited, and the operator's next action would fall on a row they did not choose.
    void keyboardSearch(const QString &search) override;

private:
    friend class GridDelegate;
    friend class GridModel;

    void followDataSet();
    void keepOnDataSetRow();
    void rowChosen();
    void applyColumnWidths();
    void columnResized(int column, int width);
    // Runs the key hooks on a key; false when they swallowed it. `key` may come back replaced.
    bool runKeyHooks(const QKeyEvent *event, QChar &key);
    // The character a key types into the selected field: the keypad's decimal key types a number's decimal
    // separator, as in a number field, whatever sign the keyboard's layout gives it.
    QChar typedInto(const QKeyEvent *event) const;
    bool writeCell(const QModelIndex &index, const QString &text);
    void drawCell(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index);

    QPointer<DataSource> dataSource_;
    GridModel *model_ = nullptr;
    QList<DataSetColumn> columns_;
    QString stretchField_;
    // The widths the operator set (or that were set for them), by field name: a reload of the data set,
    // which builds the columns again, keeps them.
    QMap<QString, int> operatorWidths_;
    bool applyingWidths_ = false;
    CellEditable cellEditable_;
    bool editing_ = false;
    bool markToggling_ = false;
    bool following_ = false;
    QPainter *canvas_ = nullptr;
    const QEvent *hookedEvent_ = nullptr;
    QPointer<QWidget> openEditor_;
    // Whether the last text written into a cell was refused, for CommitEdit.
    bool cellRefused_ = false;
    // What the last key the hooks dropped from a cell is told with, until the next key.
    RefusalTip refusal_;
};

// Draws `bitmap` centred in `cell` of the grid being drawn (inside its OnDrawColumnCell), the pixels of
// colour `transparent` left out so that the cell's background shows through them. Called at any other
// time it is a fault of the program (std::logic_error).
void InsereImagem(TNewDBGrid *grid, const QRect &cell, const QPixmap &bitmap, const QColor &transparent);

// The mark glyphs the grids draw: a box, ticked or empty, on the olive background (red 128, green 128,
// blue 0) that InsereImagem is to leave out.
QPixmap MarkGlyph(bool marked);
QColor MarkGlyphBackground();

} // namespace bco
