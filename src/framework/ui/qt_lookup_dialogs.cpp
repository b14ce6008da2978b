#include "framework/ui/qt_lookup_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/ui/db_grid.h"

namespace bco {

namespace {

QDialogButtonBox *okCancel(QDialog *dialog, const QString &okText) {
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(okText);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// Wide enough for the grid's columns, within reason.
void sizeToGrid(QDialog *dialog, TNewDBGrid *grid) {
    int width = 0;
    for (int column = 0; column < grid->model()->columnCount(); ++column)
        width += grid->columnWidth(column);
    dialog->resize(std::clamp(width + 60, 360, 900), 420);
}

bool isNumeric(const Field &field) {
    return field.Kind() == FieldKind::Float || field.Kind() == FieldKind::Integer;
}

class PickWindow final : public QDialog {
public:
    PickWindow(ClientDataSet &dataSet, const QString &title, bool showFind, QWidget *parent)
        : QDialog(parent)
        , source_(new DataSource(&dataSet, this))
        , grid_(new TNewDBGrid(this)) {
        setObjectName(QStringLiteral("lookupWindow"));
        setWindowTitle(title);
        auto *layout = new QVBoxLayout(this);
        if (showFind) {
            auto *findLine = new QHBoxLayout;
            find_ = new QLineEdit(this);
            find_->setObjectName(QStringLiteral("lookupFind"));
            find_->installEventFilter(this);
            findLine->addWidget(new QLabel(QStringLiteral("Procurar:"), this));
            findLine->addWidget(find_);
            layout->addLayout(findLine);
            connect(find_, &QLineEdit::textEdited, this, [this](const QString &text) { findRow(text); });
        }
        grid_->setObjectName(QStringLiteral("lookupGrid"));
        grid_->SetDataSource(source_);
        // A row the operator clicks is the operator's choice, the one highlighted already included.
        connect(grid_, &QAbstractItemView::pressed, this, [this] { setUnmatched(QString()); });
        connect(grid_, &QAbstractItemView::doubleClicked, this, [this] {
            setUnmatched(QString());
            accept();
        });
        layout->addWidget(grid_);
        if (find_ != nullptr) {
            // Below the grid, so that its showing and hiding does not move the rows under the pointer.
            notFound_ = new QLabel(this);
            notFound_->setObjectName(QStringLiteral("lookupNotFound"));
            notFound_->setMinimumHeight(notFound_->fontMetrics().height());
            layout->addWidget(notFound_);
        }
        layout->addWidget(okCancel(this, QStringLiteral("OK")));
        sizeToGrid(this, grid_);
        (find_ != nullptr ? static_cast<QWidget *>(find_) : grid_)->setFocus();
        // A row the operator moves to is the operator's choice again, whatever the box holds.
        connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
            if (!finding_)
                setUnmatched(QString());
        });
    }

    // What the box holds matches no row: the row still highlighted is the one an earlier search found, not
    // the operator's, so it is not taken until the operator searches again or moves to a row.
    void accept() override {
        if (!unmatched_.isEmpty()) {
            find_->setFocus();
            return;
        }
        QDialog::accept();
    }

protected:
    // The arrows and page keys typed in the find box move in the grid, so the operator need not leave it.
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == find_ && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                key == Qt::Key_PageDown) {
                QCoreApplication::sendEvent(grid_, event);
                return true;
            }
        }
        return QDialog::eventFilter(watched, event);
    }

private:
    void findRow(const QString &typed) {
        ClientDataSet *dataSet = source_->DataSet();
        const Field *field = grid_->SelectedField();
        // Marks are glyphs: the operator means the first column with text.
        for (int column = 0; TNewDBGrid::IsMarkField(field) && column < grid_->Model()->columnCount();
             ++column)
            field = grid_->Model()->FieldAt(column);
        const QString wanted = typed.trimmed();
        if (field == nullptr || wanted.isEmpty()) {
            setUnmatched(QString());
            return;
        }
        for (int row = 0; row < dataSet->RecordCount(); ++row) {
            bool found = false;
            {
                const ClientDataSet::ActiveRowScope reading(*dataSet, row);
                found = SearchMatches(*field, field->DisplayText(QLocale()), wanted);
            }
            if (found) {
                finding_ = true;
                grid_->Model()->MoveToRow(row);
                finding_ = false;
                setUnmatched(QString());
                return;
            }
        }
        setUnmatched(
            QStringLiteral("Nenhum registro corresponde a “%1” em %2.").arg(wanted, field->DisplayLabel()));
    }

    void setUnmatched(const QString &message) {
        unmatched_ = message;
        if (notFound_ != nullptr)
            notFound_->setText(message);
    }

    DataSource *source_;
    TNewDBGrid *grid_;
    QLineEdit *find_ = nullptr;
    QLabel *notFound_ = nullptr;
    QString unmatched_; // why the highlighted row is not taken; empty when it may be
    bool finding_ = false;
};

// The rows as shown, each with its key and a mark, in a data set of the window's own.
class PickListWindow final : public QDialog {
public:
    PickListWindow(ClientDataSet &dataSet, const QString &keyField, const QString &title,
                   const QStringList &marked, QWidget *parent)
        : QDialog(parent)
        , marks_(new ClientDataSet(this))
        , source_(new DataSource(marks_, this))
        , grid_(new TNewDBGrid(this)) {
        setObjectName(QStringLiteral("pickListWindow"));
        setWindowTitle(title);
        copyRows(dataSet, keyField, marked);

        grid_->setObjectName(QStringLiteral("pickGrid"));
        grid_->SetDataSource(source_);
        grid_->SetColumns(columns_);
        grid_->SetMarkToggling(true);
        auto *markAll = new QPushButton(QStringLiteral("Marcar todos"), this);
        markAll->setObjectName(QStringLiteral("markAll"));
        auto *unmarkAll = new QPushButton(QStringLiteral("Desmarcar todos"), this);
        unmarkAll->setObjectName(QStringLiteral("unmarkAll"));
        connect(markAll, &QPushButton::clicked, this, [this] { setEveryMark(true); });
        connect(unmarkAll, &QPushButton::clicked, this, [this] { setEveryMark(false); });
        for (QPushButton *button : {markAll, unmarkAll})
            button->setAutoDefault(false);

        auto *layout = new QVBoxLayout(this);
        layout->addWidget(grid_);
        auto *bottom = new QHBoxLayout;
        bottom->addWidget(markAll);
        bottom->addWidget(unmarkAll);
        bottom->addStretch();
        bottom->addWidget(okCancel(this, QStringLiteral("OK")));
        layout->addLayout(bottom);
        sizeToGrid(this, grid_);
        grid_->setFocus();
    }

    QStringList chosen() const {
        QStringList keys;
        const Field &mark = marks_->FieldByName(markName());
        const Field &key = marks_->FieldByName(keyName());
        for (int row = 0; row < marks_->RecordCount(); ++row) {
            const ClientDataSet::ActiveRowScope reading(*marks_, row);
            if (mark.AsString() == QLatin1String("S"))
                keys << key.AsString();
        }
        return keys;
    }

private:
    static QString markName() { return QString::fromLatin1(TNewDBGrid::MarkFieldName); }
    static QString keyName() { return QStringLiteral("CHAVE_LISTA"); }

    void copyRows(ClientDataSet &dataSet, const QString &keyField, const QStringList &marked) {
        const Field &key = dataSet.FieldByName(keyField);
        QList<const Field *> shown;
        marks_->AddField({.name = markName(), .size = 1});
        marks_->AddField({.name = keyName(), .size = 1000, .hidden = true});
        columns_ << DataSetColumn{.fieldName = markName(), .width = 22};
        for (const Field *field : dataSet.Fields()) {
            if (!field->Visible() || TNewDBGrid::IsMarkField(field))
                continue;
            const QString name = QStringLiteral("COLUNA%1").arg(shown.size());
            marks_->AddField({.name = name,
                              .size = 1000,
                              .label = field->DisplayLabel(),
                              .displayWidth = field->DisplayWidth()});
            const Qt::Alignment alignment =
                isNumeric(*field) ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter;
            columns_ << DataSetColumn{.fieldName = name,
                                      .width = grid_->NaturalWidth(*field),
                                      .alignment = alignment,
                                      .titleAlignment = alignment};
            shown << field;
        }
        marks_->CreateDataSet();
        const QSet<QString> markedKeys(marked.begin(), marked.end());
        const QLocale locale;
        const ClientDataSet::DisabledControls quiet(*marks_);
        for (int row = 0; row < dataSet.RecordCount(); ++row) {
            const ClientDataSet::ActiveRowScope reading(dataSet, row);
            marks_->Append();
            const QString code = key.AsString();
            marks_->FieldByName(markName())
                .SetAsString(markedKeys.contains(code) ? QStringLiteral("S") : QStringLiteral("N"));
            marks_->FieldByName(keyName()).SetAsString(code);
            for (int column = 0; column < shown.size(); ++column)
                marks_->FieldByName(QStringLiteral("COLUNA%1").arg(column))
                    .SetAsString(shown[column]->DisplayText(locale));
            marks_->Post();
        }
        marks_->First();
    }

    void setEveryMark(bool marked) {
        const int current = marks_->RecNo();
        {
            const ClientDataSet::DisabledControls quiet(*marks_);
            Field &mark = marks_->FieldByName(markName());
            for (marks_->First(); !marks_->Eof(); marks_->Next()) {
                marks_->Edit();
                mark.SetAsString(marked ? QStringLiteral("S") : QStringLiteral("N"));
                marks_->Post();
            }
            marks_->SetRecNo(current);
        }
    }

    ClientDataSet *marks_;
    DataSource *source_;
    TNewDBGrid *grid_;
    QList<DataSetColumn> columns_;
};

class FindWindow final : public QDialog {
public:
    FindWindow(ClientDataSet &dataSet, QWidget *parent)
        : QDialog(parent)
        , field_(new QComboBox(this))
        , value_(new QLineEdit(this)) {
        setObjectName(QStringLiteral("findWindow"));
        setWindowTitle(QStringLiteral("Procurar"));
        field_->setObjectName(QStringLiteral("findField"));
        value_->setObjectName(QStringLiteral("findValue"));
        for (const Field *field : dataSet.Fields()) {
            if (field->Visible() && !TNewDBGrid::IsMarkField(field))
                field_->addItem(field->DisplayLabel(), field->FieldName());
        }
        auto *form = new QFormLayout;
        form->addRow(QStringLiteral("Campo:"), field_);
        form->addRow(QStringLiteral("Valor:"), value_);
        auto *layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(okCancel(this, QStringLiteral("Procurar")));
        resize(360, sizeHint().height());
        value_->setFocus();
    }

    FindRequest request() const { return {field_->currentData().toString(), value_->text()}; }

private:
    QComboBox *field_;
    QLineEdit *value_;
};

} // namespace

bool QtLookupDialogs::pick(ClientDataSet &dataSet, const QString &title, bool showFind) {
    const int startRow = dataSet.RecNo();
    PickWindow window(dataSet, title, showFind, QApplication::activeWindow());
    if (window.exec() == QDialog::Accepted)
        return true;
    dataSet.SetRecNo(startRow);
    return false;
}

std::optional<QStringList> QtLookupDialogs::pickList(ClientDataSet &dataSet, const QString &keyField,
                                                     const QString &title, const QStringList &marked) {
    PickListWindow window(dataSet, keyField, title, marked, QApplication::activeWindow());
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return window.chosen();
}

std::optional<FindRequest> QtLookupDialogs::find(ClientDataSet &dataSet) {
    FindWindow window(dataSet, QApplication::activeWindow());
    if (window.exec() != QDialog::Accepted || window.request().fieldName.isEmpty())
        return std::nullopt;
    return window.request();
}

} // namespace bco
