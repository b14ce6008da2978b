#include "framework/ui/db_grid.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include <QBitmap>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QToolTip>
#include <QStyledItemDelegate>

#include "framework/checks/consiste.h"
#include "framework/text/typed_amount.h"
#include "framework/data/data_source.h"
#include "framework/data/display_format.h"
#include "framework/ui/edit_control.h"
#include "framework/ui/event_guard.h"

namespace bco {

namespace {

const QColor olive(128, 128, 0);

void drawTransparent(QPainter *painter, const QRect &cell, const QPixmap &bitmap, const QColor &transparent) {
    QPixmap glyph = bitmap;
    glyph.setMask(bitmap.createMaskFromColor(transparent, Qt::MaskInColor));
    const QPoint topLeft(cell.x() + (cell.width() - glyph.width()) / 2,
                         cell.y() + (cell.height() - glyph.height()) / 2);
    painter->save();
    painter->setClipRect(cell);
    painter->drawPixmap(topLeft, glyph);
    painter->restore();
}

} // namespace

// The data set model with what only a grid needs: cells open to typing where the grid allows it, the
// write-back of what was typed, and mark columns drawn rather than written.
class GridModel final : public DataSetModel {
public:
    GridModel(ClientDataSet *dataSet, TNewDBGrid *grid)
        : DataSetModel(dataSet, grid)
        , grid_(grid) {}

    Qt::ItemFlags flags(const QModelIndex &index) const override {
        Qt::ItemFlags flags = DataSetModel::flags(index);
        const Field *field = FieldAt(index.column());
        if (field != nullptr && grid_->IsEditable(*field))
            flags |= Qt::ItemIsEditable;
        return flags;
    }

    QVariant data(const QModelIndex &index, int role) const override {
        const Field *field = index.isValid() ? FieldAt(index.column()) : nullptr;
        if (field != nullptr && role == Qt::DisplayRole && TNewDBGrid::IsMarkField(field))
            return QVariant();
        return DataSetModel::data(index, role);
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override {
        if (role != Qt::EditRole || !index.isValid())
            return false;
        return grid_->writeCell(index, value.toString());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        const QVariant title = DataSetModel::headerData(section, orientation, role);
        const Field *field = orientation == Qt::Horizontal ? FieldAt(section) : nullptr;
        if (role == Qt::DisplayRole && TNewDBGrid::IsMarkField(field) &&
            title.toString() == field->FieldName())
            return QStringLiteral("✓");
        return title;
    }

private:
    TNewDBGrid *grid_;
};

// Draws the mark glyphs and lets the form draw over any cell; hands the form's key hooks the keys typed
// into a cell editor.
class GridDelegate final : public QStyledItemDelegate {
public:
    explicit GridDelegate(TNewDBGrid *grid)
        : QStyledItemDelegate(grid)
        , grid_(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        grid_->drawCell(painter, option, index);
    }

    void styleOption(QStyleOptionViewItem *option, const QModelIndex &index) const {
        initStyleOption(option, index);
    }

    void paintDefault(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
        QStyledItemDelegate::paint(painter, option, index);
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            const Field *field = grid_->Model()->FieldAt(index.column());
            if (field != nullptr &&
                (field->Kind() == FieldKind::Float || field->Kind() == FieldKind::Integer))
                line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        if (editor != nullptr)
            editor->installEventFilter(grid_);
        grid_->openEditor_ = editor;
        return editor;
    }

private:
    TNewDBGrid *grid_;
};

TNewDBGrid::TNewDBGrid(QWidget *parent)
    : QTableView(parent)
    , refusal_(*this, [this] { return viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft()); }) {
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    // Rows of one height let the view place any row without measuring the ones before it.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) { columnResized(column, width); });
    horizontalHeader()->setHighlightSections(false);
    QPalette colours = palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
    SetDataSource(nullptr);
}

TNewDBGrid::~TNewDBGrid() = default;

ClientDataSet *TNewDBGrid::DataSet() const {
    return model_ != nullptr ? model_->DataSet() : nullptr;
}

DataSetModel *TNewDBGrid::Model() const {
    return model_;
}

void TNewDBGrid::SetDataSource(DataSource *source) {
    dataSource_ = source;
    GridModel *previousModel = model_;
    QItemSelectionModel *previousSelection = selectionModel();
    model_ = new GridModel(source != nullptr ? source->DataSet() : nullptr, this);
    model_->SetColumns(columns_);
    setModel(model_);
    delete previousSelection;
    delete previousModel;
    connect(model_, &DataSetModel::CurrentRowChanged, this, [this] { followDataSet(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        followDataSet();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { followDataSet(); });
    connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { followDataSet(); });
    connect(model_, &QAbstractItemModel::rowsMoved, this, [this] { followDataSet(); });
    applyColumnWidths();
    followDataSet();
}

void TNewDBGrid::SetColumns(const QList<DataSetColumn> &columns) {
    columns_ = columns;
    model_->SetColumns(columns);
    applyColumnWidths();
    followDataSet();
}

void TNewDBGrid::applyColumnWidths() {
    const QScopedValueRollback applying(applyingWidths_, true);
    const QList<DataSetColumn> &columns = model_->Columns();
    for (int column = 0; column < model_->columnCount(); ++column) {
        const int given = column < columns.size() ? columns[column].width : 0;
        const Field *field = model_->FieldAt(column);
        const QString name = column < columns.size() ? columns[column].fieldName : QString();
        if (const auto set = operatorWidths_.constFind(name);
            !name.isEmpty() && set != operatorWidths_.cend())
            setColumnWidth(column, *set);
        else if (given > 0)
            // A stated width never clips the column's title.
            setColumnWidth(column, std::max(given, horizontalHeader()->sectionSizeHint(column)));
        else if (field != nullptr)
            setColumnWidth(column, NaturalWidth(*field));
        const bool stretched = !stretchField_.isEmpty() && column < columns.size() &&
                               columns[column].fieldName.compare(stretchField_, Qt::CaseInsensitive) == 0;
        horizontalHeader()->setSectionResizeMode(column,
                                                 stretched ? QHeaderView::Stretch : QHeaderView::Interactive);
    }
}

bool TNewDBGrid::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        // A cell too narrow for its text shows it whole when the pointer rests on it.
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
        const QRect cell = visualRect(index);
        // The cell's own margins, as the delegate draws them.
        const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
        if (!text.isEmpty() && fontMetrics().horizontalAdvance(text) > cell.width() - margins)
            QToolTip::showText(help->globalPos(), text, viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}

void TNewDBGrid::SetStretchColumn(const QString &fieldName) {
    stretchField_ = fieldName;
    applyColumnWidths();
}

QMap<QString, int> TNewDBGrid::ColumnWidths() const {
    QMap<QString, int> widths;
    const QList<DataSetColumn> &columns = model_->Columns();
    const QHeaderView *header = horizontalHeader();
    for (int column = 0; column < columns.size() && column < header->count(); ++column)
        if (header->sectionResizeMode(column) == QHeaderView::Interactive && !header->isSectionHidden(column))
            widths.insert(columns[column].fieldName, header->sectionSize(column));
    return widths;
}

void TNewDBGrid::SetColumnWidths(const QMap<QString, int> &widths) {
    // Narrower than this a column cannot be seen nor caught with the mouse to widen it again.
    constexpr int narrowest = 16;
    for (auto width = widths.cbegin(); width != widths.cend(); ++width)
        if (width.value() >= narrowest && width.key().compare(stretchField_, Qt::CaseInsensitive) != 0)
            operatorWidths_.insert(width.key(), width.value());
    applyColumnWidths();
}

void TNewDBGrid::columnResized(int column, int width) {
    if (applyingWidths_ || horizontalHeader()->sectionResizeMode(column) != QHeaderView::Interactive)
        return;
    if (const QList<DataSetColumn> &columns = model_->Columns(); column < columns.size())
        operatorWidths_.insert(columns[column].fieldName, width);
}

// Wide enough for the widest value of the field's kind and for its title: text by its display width in
// average characters, numbers and dates by a sample written in the grid's font.
int TNewDBGrid::NaturalWidth(const Field &field) const {
    if (IsMarkField(&field))
        return 22;
    const QFontMetrics cells = fontMetrics();
    QString sample;
    switch (field.Kind()) {
    case FieldKind::Date:
        sample = QStringLiteral("00/00/0000");
        break;
    case FieldKind::Float:
        sample = QStringLiteral("000.000.000,00");
        break;
    case FieldKind::Integer:
        sample = QStringLiteral("0000000000");
        break;
    case FieldKind::Boolean:
        sample = QStringLiteral("Não");
        break;
    case FieldKind::Text:
        break;
    }
    const int content =
        std::max(cells.horizontalAdvance(sample), field.DisplayWidth() * cells.averageCharWidth());
    const int title = horizontalHeader()->fontMetrics().horizontalAdvance(field.DisplayLabel()) + 16;
    return std::min(std::max(content + 12, title), 400);
}

void TNewDBGrid::followDataSet() {
    const int row = model_->CurrentRow();
    const bool wasFollowing = following_;
    following_ = true;
    if (row < 0 || model_->columnCount() == 0) {
        selectionModel()->clearSelection();
    } else {
        const int column =
            std::clamp(currentIndex().isValid() ? currentIndex().column() : 0, 0, model_->columnCount() - 1);
        const QModelIndex target = model_->index(row, column);
        if (currentIndex() != target || !selectionModel()->isRowSelected(row, QModelIndex()))
            selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        scrollTo(target);
    }
    following_ = wasFollowing;
}

void TNewDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QTableView::currentChanged(current, previous);
    if (!following_ && current.isValid() && current.row() != model_->CurrentRow()) {
        const int row = current.row();
        runGuarded([&] { model_->MoveToRow(row); });
        if (model_->CurrentRow() != row) {
            followDataSet();
            // A key selects the row it moved to after making it current: the selection comes back to the
            // data set's row once the view is done, else the row shown chosen is not the one being worked.
            QMetaObject::invokeMethod(
                this, [this] { followDataSet(); }, Qt::QueuedConnection);
            return;
        }
    }
    if (current.isValid() && previous.isValid() && current.column() != previous.column() && OnColEnter) {
        const std::function<void()> hook = OnColEnter;
        runGuarded(hook);
    }
}

TNewDBGrid::ShownTable TNewDBGrid::ShownContents() const {
    ShownTable table;
    if (model_ == nullptr)
        return table;
    const QHeaderView *header = horizontalHeader();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual)
        if (const int column = header->logicalIndex(visual); !header->isSectionHidden(column))
            columns << column;
    for (const int column : columns)
        table.titles << model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const int rows = model_->rowCount();
    table.rows.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        QVariantList cells;
        cells.reserve(columns.size());
        for (const int column : columns) {
            const QModelIndex index = model_->index(row, column);
            const QVariant value = model_->data(index, DataSetModel::ValueRole);
            const int type = value.typeId();
            const bool kept = type == QMetaType::Double || type == QMetaType::Int || type == QMetaType::QDate;
            const QString shown = kept ? QString() : model_->data(index, Qt::DisplayRole).toString();
            cells << (kept ? value : shown.isEmpty() ? QVariant() : QVariant(shown));
        }
        table.rows << cells;
    }
    return table;
}

const Field *TNewDBGrid::SelectedField() const {
    if (model_->columnCount() == 0)
        return nullptr;
    return model_->FieldAt(currentIndex().isValid() ? currentIndex().column() : 0);
}

void TNewDBGrid::SetSelectedField(const QString &fieldName) {
    const int column = model_->ColumnOf(fieldName);
    const int row = model_->CurrentRow();
    if (column < 0 || row < 0)
        return;
    selectionModel()->setCurrentIndex(model_->index(row, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TNewDBGrid::SetEditing(bool editing) {
    if (editing_ == editing)
        return;
    editing_ = editing;
    // The flags of every cell may have changed; the view asks again when it next needs them.
    viewport()->update();
}

bool TNewDBGrid::CommitEdit() {
    // The view hides an editor it lets go of without closing it (when the rows are reloaded, say).
    if (openEditor_.isNull() || openEditor_->isHidden())
        return true;
    QWidget *editor = openEditor_;
    cellRefused_ = false;
    commitData(editor);
    if (cellRefused_) {
        // The row still holds the value the cell had: the command must not go on as if it held the text.
        editor->setFocus(Qt::OtherFocusReason);
        return false;
    }
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

void TNewDBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) {
    const bool owned = editor == openEditor_;
    if (owned)
        openEditor_ = nullptr;
    QTableView::closeEditor(editor, hint);
    // The delegate closes an editor left with Enter with this hint, once it has committed what it held.
    if (owned && hint == QAbstractItemDelegate::SubmitModelCache && OnEditorSubmitted) {
        const std::function<void()> hook = OnEditorSubmitted;
        runGuarded(hook);
    }
}

bool TNewDBGrid::IsEditable(const Field &field) const {
    if (!editing_ || field.Calculated() || IsMarkField(&field))
        return false;
    return !cellEditable_ || cellEditable_(field);
}

bool TNewDBGrid::IsMarkField(const Field *field) {
    return field != nullptr &&
           field->FieldName().compare(QLatin1String(MarkFieldName), Qt::CaseInsensitive) == 0;
}

void TNewDBGrid::SetColor(ControlColor color) {
    SetControlColor(this, color);
}

void TNewDBGrid::ToggleMark() {
    runGuarded([this] {
        ClientDataSet *dataSet = DataSet();
        if (dataSet == nullptr || !dataSet->Active() || dataSet->IsEmpty())
            return;
        Field *mark = dataSet->FindField(QString::fromLatin1(MarkFieldName));
        if (mark == nullptr)
            return;
        dataSet->Edit();
        mark->SetAsString(mark->AsString() == QLatin1String("S") ? QStringLiteral("N") : QStringLiteral("S"));
        dataSet->Post();
    });
}

bool TNewDBGrid::runKeyHooks(const QKeyEvent *event, QChar &key) {
    if (OnKeyDown) {
        int code = event->key();
        const KeyDownHandler hook = OnKeyDown;
        if (!runGuarded([&] { hook(code, event->modifiers()); }) || code == 0)
            return false;
    }
    if (OnKeyPress && !key.isNull()) {
        const QChar typed = key;
        const KeyPressHandler hook = OnKeyPress;
        if (!runGuarded([&] { hook(key); }))
            return false;
        if (key.isNull()) {
            // A character dropped from a cell being typed into leaves another value than the one typed ("-5"
            // would read 5): the operator is told, as a field tells a key it refuses.
            const Field *field = SelectedField();
            if (typed.isPrint() && field != nullptr && IsEditable(*field)) {
                refusal_.tell(QStringLiteral("“%1” recusado nesta coluna.").arg(typed));
            }
            return false;
        }
    }
    return true;
}

QChar TNewDBGrid::typedInto(const QKeyEvent *event) const {
    const QChar key = typedCharacter(event);
    const Field *field = SelectedField();
    if (event->modifiers().testFlag(Qt::KeypadModifier) && (key == u'.' || key == u',') && field != nullptr &&
        (field->Kind() == FieldKind::Float || field->Kind() == FieldKind::Integer))
        return AmountNotation::of(QLocale()).decimal;
    return key;
}

void TNewDBGrid::keyboardSearch(const QString &) {
}

// A tip shown on a key's press goes with its release (a tip hides at any key), so it is shown again then.
void TNewDBGrid::keyReleaseEvent(QKeyEvent *event) {
    QTableView::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        refusal_.showAgain();
}

void TNewDBGrid::keyPressEvent(QKeyEvent *event) {
    refusal_.forget();
    QChar key = typedInto(event);
    if (!runKeyHooks(event, key)) {
        event->accept();
        return;
    }
    if (markToggling_ && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        IsMarkField(SelectedField())) {
        event->accept();
        ToggleMark();
        return;
    }
    const QEvent *wasHooked = hookedEvent_;
    const int rowBefore = currentIndex().row();
    if (key.isPrint() && key != typedCharacter(event)) {
        QKeyEvent replaced(event->type(), 0, event->modifiers() & ~Qt::ShiftModifier, QString(key));
        hookedEvent_ = &replaced;
        QTableView::keyPressEvent(&replaced);
        event->setAccepted(replaced.isAccepted());
    } else {
        hookedEvent_ = event;
        QTableView::keyPressEvent(event);
    }
    hookedEvent_ = wasHooked;
    // A key that leaves the row where it was (Up on the first) chooses nothing.
    static const int rowKeys[] = {Qt::Key_Up,       Qt::Key_Down, Qt::Key_PageUp,
                                  Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
    if (std::find(std::begin(rowKeys), std::end(rowKeys), event->key()) != std::end(rowKeys) &&
        currentIndex().row() != rowBefore)
        rowChosen();
}

// Keys typed into a cell editor go through the same hooks as keys typed on the grid; the key that opened
// the editor has been through them already.
bool TNewDBGrid::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyRelease && watched->isWidgetType() &&
        !static_cast<QKeyEvent *>(event)->isAutoRepeat())
        refusal_.showAgain();
    if (event->type() != QEvent::KeyPress || event == hookedEvent_ || !watched->isWidgetType())
        return QTableView::eventFilter(watched, event);
    refusal_.forget();
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    QChar key = typedInto(keyEvent);
    if (!runKeyHooks(keyEvent, key))
        return true;
    if (key.isPrint() && key != typedCharacter(keyEvent)) {
        QKeyEvent replaced(QEvent::KeyPress, 0, keyEvent->modifiers() & ~Qt::ShiftModifier, QString(key));
        const QEvent *wasHooked = hookedEvent_;
        hookedEvent_ = &replaced;
        QCoreApplication::sendEvent(watched, &replaced);
        hookedEvent_ = wasHooked;
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

// A click selects its row after the current row has moved: when the data set refused the move, the
// selection goes back to the data set's row.
void TNewDBGrid::mousePressEvent(QMouseEvent *event) {
    QTableView::mousePressEvent(event);
    keepOnDataSetRow();
    if (indexAt(event->position().toPoint()).isValid())
        rowChosen();
}

void TNewDBGrid::rowChosen() {
    if (OnRowChosen) {
        const std::function<void()> hook = OnRowChosen;
        runGuarded(hook);
    }
}

void TNewDBGrid::mouseMoveEvent(QMouseEvent *event) {
    QTableView::mouseMoveEvent(event);
    keepOnDataSetRow();
}

void TNewDBGrid::keepOnDataSetRow() {
    const int row = model_->CurrentRow();
    if (row >= 0 && (currentIndex().row() != row || !selectionModel()->isRowSelected(row, QModelIndex())))
        followDataSet();
}

void TNewDBGrid::mouseDoubleClickEvent(QMouseEvent *event) {
    if (indexAt(event->position().toPoint()).isValid()) {
        if (OnDblClick) {
            const std::function<void()> hook = OnDblClick;
            runGuarded(hook);
        }
        if (markToggling_ && IsMarkField(SelectedField()))
            ToggleMark();
    }
    QTableView::mouseDoubleClickEvent(event);
}

// What the operator typed into a cell, converted to the field's kind as the operator writes it (numbers
// with the locale's separators, dates dd/mm/yyyy; nothing clears the field) and written on the data set's
// current row, put into edit first.
bool TNewDBGrid::writeCell(const QModelIndex &index, const QString &text) {
    const bool written = runGuarded([&] {
        ClientDataSet *dataSet = DataSet();
        const Field *shown = model_->FieldAt(index.column());
        if (dataSet == nullptr || shown == nullptr)
            return;
        if (model_->CurrentRow() != index.row())
            model_->MoveToRow(index.row());
        Field &field = dataSet->FieldByName(shown->FieldName());
        const QString typed = text.trimmed();
        Variant value;
        bool ok = true;
        QString refusal;
        if (!typed.isEmpty()) {
            switch (field.Kind()) {
            case FieldKind::Text:
                value = text;
                break;
            case FieldKind::Integer:
                value = QLocale().toLongLong(typed, &ok);
                break;
            case FieldKind::Float: {
                // As a number edit reads it: "12.50" is no amount in pt-BR, and is refused rather than
                // taken for 12,50 while "12.500" would be twelve thousand five hundred.
                const TypedAmount amount = ReadTypedAmount(typed, AmountNotation::of(QLocale()));
                ok = amount.complete();
                value = amount.value;
                if (!ok)
                    refusal =
                        QStringLiteral("'%1' não é um valor válido: escreva-o como 1.234,56 ou 1234,56.")
                            .arg(typed);
                // A decimal past those the cell shows would be rounded away unseen, settling 12,35 for
                // a mistyped "12,345", where a number field refuses the key.
                const std::optional<int> places = FormatDecimals(field.DisplayFormat());
                if (ok && places && amount.decimalDigits > *places) {
                    refusal = QStringLiteral("'%1' tem mais de %2 casas decimais.").arg(typed).arg(*places);
                    ok = false;
                }
                break;
            }
            case FieldKind::Date: {
                const std::optional<QDate> date = Consiste::TextToDate(typed);
                ok = date.has_value();
                value = date.value_or(QDate());
                break;
            }
            case FieldKind::Boolean:
                value = typed;
                break;
            }
        }
        if (!ok)
            Consiste::MensErro(
                refusal.isEmpty() ? QStringLiteral("'%1' não é um valor válido.").arg(typed) : refusal, true);
        if (dataSet->State() == DataSetState::Browse)
            dataSet->Edit();
        field.SetValue(value);
    });
    cellRefused_ = !written;
    return written;
}

void TNewDBGrid::drawCell(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) {
    auto *delegate = static_cast<GridDelegate *>(itemDelegate());
    const Field *field = model_->FieldAt(index.column());
    if (IsMarkField(field)) {
        QStyleOptionViewItem cell = option;
        delegate->styleOption(&cell, index);
        cell.text.clear();
        style()->drawControl(QStyle::CE_ItemViewItem, &cell, painter, this);
        const bool marked = model_->data(index, DataSetModel::ValueRole).toString() == QLatin1String("S");
        drawTransparent(painter, option.rect, MarkGlyph(marked), MarkGlyphBackground());
    } else {
        delegate->paintDefault(painter, option, index);
    }
    if (!OnDrawColumnCell || field == nullptr || DataSet() == nullptr)
        return;
    const DrawCellHandler hook = OnDrawColumnCell;
    const ClientDataSet::ActiveRowScope reading(*DataSet(), index.row());
    painter->save();
    canvas_ = painter;
    runGuarded([&] { hook(option.rect, *field, option.state); });
    canvas_ = nullptr;
    painter->restore();
}

void InsereImagem(TNewDBGrid *grid, const QRect &cell, const QPixmap &bitmap, const QColor &transparent) {
    if (grid == nullptr || grid->Canvas() == nullptr)
        throw std::logic_error("InsereImagem is for a grid's cell drawing handler only");
    drawTransparent(grid->Canvas(), cell, bitmap, transparent);
}

QColor MarkGlyphBackground() {
    return olive;
}

QPixmap MarkGlyph(bool marked) {
    QPixmap glyph(13, 13);
    glyph.fill(olive);
    QPainter painter(&glyph);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, 12, 12);
    if (marked) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF tick[] = {{3.0, 6.5}, {5.5, 9.0}, {10.0, 3.5}};
        painter.drawPolyline(tick, 3);
    }
    return glyph;
}

} // namespace bco
