#include "framework/data/data_set_model.h"

#include <exception>
#include <utility>

#include <QDebug>

namespace bco {

namespace {

QVariant toQVariant(const Variant &value) {
    switch (value.type()) {
    case VariantType::Null:
        return {};
    case VariantType::Bool:
        return value.toBool();
    case VariantType::Int:
        return value.toInt();
    case VariantType::Float:
        return value.toFloat();
    case VariantType::Text:
        return value.toText();
    case VariantType::Date:
        return value.toDate();
    default:
        return describe(value);
    }
}

} // namespace

DataSetModel::DataSetModel(ClientDataSet *dataSet, QObject *parent)
    : DataSetModel(dataSet, QLocale(), parent) {
}

DataSetModel::DataSetModel(ClientDataSet *dataSet, const QLocale &locale, QObject *parent)
    : QAbstractTableModel(parent)
    , dataSet_(dataSet)
    , locale_(locale) {
    if (dataSet) {
        connect(dataSet, &ClientDataSet::Reset, this, &DataSetModel::resetFromDataSet);
        connect(dataSet, &ClientDataSet::RowAboutToBeInserted, this, &DataSetModel::rowAboutToBeInserted);
        connect(dataSet, &ClientDataSet::RowInserted, this, &DataSetModel::rowInserted);
        connect(dataSet, &ClientDataSet::RowAboutToBeRemoved, this, &DataSetModel::rowAboutToBeRemoved);
        connect(dataSet, &ClientDataSet::RowRemoved, this, &DataSetModel::rowRemoved);
        connect(dataSet, &ClientDataSet::RowMoved, this, &DataSetModel::rowMoved);
        connect(dataSet, &ClientDataSet::RowChanged, this, &DataSetModel::rowChanged);
        connect(dataSet, &ClientDataSet::FieldChanged, this, [this] { rowChanged(CurrentRow()); });
        connect(dataSet, &ClientDataSet::Scrolled, this, [this] { Q_EMIT CurrentRowChanged(CurrentRow()); });
        connect(dataSet, &QObject::destroyed, this, &DataSetModel::resetFromDataSet);
    }
    resetFromDataSet();
}

void DataSetModel::SetColumns(const QList<DataSetColumn> &columns) {
    explicitColumns_ = columns;
    resetFromDataSet();
}

void DataSetModel::resetFromDataSet() {
    beginResetModel();
    columns_.clear();
    if (!explicitColumns_.isEmpty()) {
        columns_ = explicitColumns_;
    } else if (dataSet_) {
        for (const Field *field : dataSet_->Fields())
            if (field->Visible())
                columns_ << DataSetColumn{field->FieldName()};
    }
    fields_.clear();
    rows_ = dataSet_ ? dataSet_->RecordCount() : 0;
    endResetModel();
    Q_EMIT CurrentRowChanged(CurrentRow());
}

void DataSetModel::resolveColumns() const {
    if (!dataSet_ || (fields_.size() == columns_.size() && fieldsGeneration_ == dataSet_->FieldsGeneration()))
        return;
    fields_.clear();
    for (const DataSetColumn &column : columns_)
        fields_ << dataSet_->FindField(column.fieldName);
    fieldsGeneration_ = dataSet_->FieldsGeneration();
}

const Field *DataSetModel::FieldAt(int column) const {
    if (!dataSet_ || column < 0 || column >= columns_.size())
        return nullptr;
    resolveColumns();
    return fields_[column];
}

int DataSetModel::ColumnOf(QStringView fieldName) const {
    for (qsizetype i = 0; i < columns_.size(); ++i)
        if (columns_[i].fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

int DataSetModel::CurrentRow() const {
    return dataSet_ ? dataSet_->RecNo() - 1 : -1;
}

void DataSetModel::MoveToRow(int row) {
    if (dataSet_)
        dataSet_->SetRecNo(row + 1);
}

int DataSetModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : rows_;
}

int DataSetModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

Qt::Alignment DataSetModel::defaultAlignment(const Field *field) const {
    const bool number = field && (field->Kind() == FieldKind::Float || field->Kind() == FieldKind::Integer);
    return number ? Qt::AlignRight : Qt::AlignLeft;
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || !dataSet_ || index.row() >= dataSet_->RecordCount() ||
        index.column() >= columns_.size())
        return {};
    const Field *field = FieldAt(index.column());
    if (!field)
        return {};
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment given = columns_[index.column()].alignment;
        return static_cast<int>((given ? given : defaultAlignment(field)) | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != ValueRole)
        return {};
    // A grid asks from its paint event: a failing text handler must not take the event loop down with it.
    try {
        const ClientDataSet::ActiveRowScope scope(*dataSet_, index.row());
        if (role == ValueRole)
            return toQVariant(field->Value());
        return role == Qt::DisplayRole ? field->DisplayText(locale_) : field->Text(locale_);
    } catch (const std::exception &error) {
        qWarning().noquote() << dataSet_->objectName() << field->FieldName() << error.what();
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const DataSetColumn &column = columns_[section];
    const Field *field = FieldAt(section);
    switch (role) {
    case Qt::DisplayRole:
        if (!column.title.isEmpty())
            return column.title;
        return field ? field->DisplayLabel() : column.fieldName;
    case Qt::TextAlignmentRole:
        return static_cast<int>((column.titleAlignment ? column.titleAlignment : Qt::AlignLeft) |
                                Qt::AlignVCenter);
    default:
        return {};
    }
}

// The data set announces one change at a time while controls are enabled, so each row it names exists for
// the model too; anything else means the two drifted apart and the model starts again.
void DataSetModel::rowAboutToBeInserted(int row) {
    if (row < 0 || row > rows_) {
        pending_ = Pending::Drifted;
        return;
    }
    beginInsertRows({}, row, row);
    pending_ = Pending::Insertion;
}

void DataSetModel::rowInserted() {
    if (std::exchange(pending_, Pending::None) != Pending::Insertion) {
        resetFromDataSet();
        return;
    }
    ++rows_;
    endInsertRows();
}

void DataSetModel::rowAboutToBeRemoved(int row) {
    if (row < 0 || row >= rows_) {
        pending_ = Pending::Drifted;
        return;
    }
    beginRemoveRows({}, row, row);
    pending_ = Pending::Removal;
}

void DataSetModel::rowRemoved() {
    if (std::exchange(pending_, Pending::None) != Pending::Removal) {
        resetFromDataSet();
        return;
    }
    --rows_;
    endRemoveRows();
}

void DataSetModel::rowMoved(int from, int to) {
    if (from < 0 || from >= rows_ || to < 0 || to >= rows_) {
        resetFromDataSet();
        return;
    }
    if (from == to)
        return;
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    endMoveRows();
}

void DataSetModel::rowChanged(int row) {
    if (row < 0 || row >= rows_ || columns_.isEmpty())
        return;
    Q_EMIT dataChanged(index(row, 0), index(row, static_cast<int>(columns_.size()) - 1));
}

} // namespace bco
