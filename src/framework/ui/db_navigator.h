#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "framework/data/data_source.h"

class QToolButton;

namespace bco {

// The record navigator (dbnPadrao): first, prior, next and last over a data source's data set. A button
// is enabled only when its move can go somewhere (first and prior off the first row, next and last off
// the last), and none while the source has no open data set with rows or is disabled. The buttons take
// no focus; each move runs through the event guard.
class TDBNavigator : public QWidget {
    Q_OBJECT

public:
    enum class Button { First, Prior, Next, Last };

    explicit TDBNavigator(QWidget *parent = nullptr);

    DataSource *GetDataSource() const { return dataSource_; }
    void SetDataSource(DataSource *source);
    QToolButton *ButtonOf(Button button) const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void move(Button button);

    QPointer<DataSource> dataSource_;
    QList<QMetaObject::Connection> connections_;
    QToolButton *buttons_[4] = {};
};

// A caption that shows one field of a data source's current row (dbtNome), as a grid would show it. It
// follows every move and change of the row; clearing its data source detaches it and empties it.
class TDBText : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)

public:
    explicit TDBText(QWidget *parent = nullptr);

    DataSource *GetDataSource() const { return dataSource_; }
    void SetDataSource(DataSource *source);
    QString DataField() const { return dataField_; }
    void SetDataField(const QString &field);

private:
    void refresh();

    QPointer<DataSource> dataSource_;
    QList<QMetaObject::Connection> connections_;
    QString dataField_;
};

} // namespace bco
