#include "framework/data/data_source.h"

namespace bco {

DataSource::DataSource(QObject *parent)
    : QObject(parent) {
}

DataSource::DataSource(ClientDataSet *dataSet, QObject *parent)
    : QObject(parent) {
    SetDataSet(dataSet);
}

void DataSource::SetDataSet(ClientDataSet *dataSet) {
    if (dataSet == dataSet_)
        return;
    for (const auto &connection : std::as_const(connections_))
        disconnect(connection);
    connections_.clear();
    dataSet_ = dataSet;
    if (dataSet) {
        const auto rowChange = [this] {
            if (enabled_)
                Q_EMIT DataChange(nullptr);
        };
        connections_ << connect(dataSet, &ClientDataSet::Reset, this, rowChange)
                     << connect(dataSet, &ClientDataSet::Scrolled, this, rowChange)
                     << connect(dataSet, &ClientDataSet::RowChanged, this,
                                [this](int row) {
                                    if (enabled_ && dataSet_ && row == dataSet_->RecNo() - 1)
                                        Q_EMIT DataChange(nullptr);
                                })
                     << connect(dataSet, &ClientDataSet::FieldChanged, this,
                                [this](const Field *field) {
                                    if (enabled_)
                                        Q_EMIT DataChange(field);
                                })
                     << connect(dataSet, &ClientDataSet::StateChanged, this, [this] {
                            if (enabled_)
                                Q_EMIT StateChange();
                        });
    }
    announce();
}

void DataSource::SetEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled_)
        announce();
    else
        Q_EMIT StateChange();
}

DataSetState DataSource::State() const {
    return enabled_ && dataSet_ ? dataSet_->State() : DataSetState::Inactive;
}

void DataSource::announce() {
    if (!enabled_ || (dataSet_ && dataSet_->ControlsDisabled()))
        return;
    Q_EMIT StateChange();
    Q_EMIT DataChange(nullptr);
}

} // namespace bco
