#pragma once

#include <QObject>
#include <QPointer>

#include "framework/data/client_data_set.h"

namespace bco {

// Links a data set to the controls that show it (grid, navigator, data-bound edits) and to the forms'
// data-change and state-change handlers. It says nothing while it is disabled or while the data set's
// controls are disabled; when either is enabled again it says once that the row and the state may have
// changed.
class DataSource : public QObject {
    Q_OBJECT

public:
    explicit DataSource(QObject *parent = nullptr);
    explicit DataSource(ClientDataSet *dataSet, QObject *parent = nullptr);

    ClientDataSet *DataSet() const { return dataSet_; }
    void SetDataSet(ClientDataSet *dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // The data set's state; inactive without a data set or while disabled.
    DataSetState State() const;

Q_SIGNALS:
    // The current row changed (another row, or its values as a whole: field is null) or one of its values
    // was assigned (field is that field).
    void DataChange(const bco::Field *field);
    void StateChange();

private:
    void announce();

    QPointer<ClientDataSet> dataSet_;
    QList<QMetaObject::Connection> connections_;
    bool enabled_ = true;
};

} // namespace bco
