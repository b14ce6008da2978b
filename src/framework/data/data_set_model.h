#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QLocale>
#include <QPointer>
#include <QString>

#include "framework/data/client_data_set.h"

namespace bco {

// One grid column: a field with its title (the field's label when empty), its width in pixels (0: the
// grid's choice) and the alignment of its cells and of its title (numbers right, anything else left, when
// not given).
struct DataSetColumn {
    QString fieldName;
    QString title{};
    int width = 0;
    Qt::Alignment alignment = {};
    Qt::Alignment titleAlignment = {};
};

// Shows a data set in a grid: one row per data-set row, in the data set's order, and one column per visible
// field or per column given. Cells show the field's display text (its text handler, display format with the
// model's locale, edit mask), read when the grid asks for them: nothing is prepared per row, so a large data
// set costs nothing to show. The model follows every change the data set announces; while the data set's
// controls are disabled it shows what it showed, and is rebuilt once when they are enabled again.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The raw value of a cell, as a QVariant (null as an invalid one).
    static constexpr int ValueRole = Qt::UserRole + 1;

    // The locale is taken once, here: the process's default unless one is given.
    explicit DataSetModel(ClientDataSet *dataSet, QObject *parent = nullptr);
    DataSetModel(ClientDataSet *dataSet, const QLocale &locale, QObject *parent = nullptr);

    ClientDataSet *DataSet() const { return dataSet_; }
    // Empty: the visible fields, in field order, as they are at each reset.
    void SetColumns(const QList<DataSetColumn> &columns);
    const QList<DataSetColumn> &Columns() const { return columns_; }
    // The field shown in a column; null when the data set has no such field (any more).
    const Field *FieldAt(int column) const;
    int ColumnOf(QStringView fieldName) const;

    // The data set's current row (from 0; -1 when there is none), and a move to another row, which runs
    // the data set's scroll events and posts a pending edit as any move does.
    int CurrentRow() const;
    void MoveToRow(int row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void CurrentRowChanged(int row);

private:
    void resetFromDataSet();
    void resolveColumns() const;
    void rowAboutToBeInserted(int row);
    void rowInserted();
    void rowAboutToBeRemoved(int row);
    void rowRemoved();
    void rowMoved(int from, int to);
    void rowChanged(int row);
    Qt::Alignment defaultAlignment(const Field *field) const;

    QPointer<ClientDataSet> dataSet_;
    QLocale locale_;
    QList<DataSetColumn> explicitColumns_;
    QList<DataSetColumn> columns_;
    mutable QList<const Field *> fields_;
    mutable quint64 fieldsGeneration_ = 0;
    int rows_ = 0;
    // An insertion or removal announced by the data set and not finished yet.
    enum class Pending { None, Insertion, Removal, Drifted };
    Pending pending_ = Pending::None;
};

} // namespace bco
