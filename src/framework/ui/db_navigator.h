#pragma once

#include <functional>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include "framework/data/data_source.h"

class QToolButton;

namespace bco {

// A control's hold on its data source: the source, and a call back on each of its data and state changes.
// Following another source lets go of the previous one.
class DataSourceFollower {
public:
    DataSourceFollower(QObject *owner, std::function<void()> changed)
        : owner_(owner)
        , changed_(std::move(changed)) {}
    ~DataSourceFollower() { follow(nullptr); }
    DataSourceFollower(const DataSourceFollower &) = delete;
    DataSourceFollower &operator=(const DataSourceFollower &) = delete;

    DataSource *source() const { return source_; }
    void follow(DataSource *source);

private:
    QObject *owner_;
    std::function<void()> changed_;
    QPointer<DataSource> source_;
    QList<QMetaObject::Connection> connections_;
};

// The record navigator (dbnPadrao): first, prior, next and last over a data source's data set. A button
// is enabled only when its move can go somewhere (first and prior off the first row, next and last off
// the last), and none while the source has no open data set with rows or is disabled. The buttons take
// no focus; each move runs through the event guard.
class TDBNavigator : public QWidget {
    Q_OBJECT

public:
    enum class Button { First, Prior, Next, Last };

    explicit TDBNavigator(QWidget *parent = nullptr);

    DataSource *GetDataSource() const { return follower_.source(); }
    void SetDataSource(DataSource *source);
    QToolButton *ButtonOf(Button button) const;

    // The operator moved to a row with a button (run through the event guard, after the move).
    std::function<void()> OnMoved;

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void move(Button button);

    DataSourceFollower follower_{this, [this] {
                                     refresh();
                                 }};
    QToolButton *buttons_[4] = {};
};

// What a control showing one field of a data source's current row keeps: the source, the field, and the
// field's display text (as a grid shows it) set again on every move and change of the row; nothing without
// an open data set with rows. Clearing the source detaches the control and empties it.
class DataFieldControl {
public:
    DataSource *GetDataSource() const { return follower_.source(); }
    void SetDataSource(DataSource *source);
    QString DataField() const { return dataField_; }
    void SetDataField(const QString &field);

protected:
    explicit DataFieldControl(QWidget *control);
    virtual ~DataFieldControl() = default;
    DataFieldControl(const DataFieldControl &) = delete;
    DataFieldControl &operator=(const DataFieldControl &) = delete;
    virtual void showText(const QString &text) = 0;

private:
    void refresh();

    QWidget *control_;
    DataSourceFollower follower_;
    QString dataField_;
};

// A caption that shows one field of a data source's current row (dbtNome).
class TDBText : public QLabel, public DataFieldControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)

public:
    explicit TDBText(QWidget *parent = nullptr);

private:
    void showText(const QString &text) override { setText(text); }
};

// A read-only edit that shows one field of a data source's current row (dbe*): the operator reads it and
// never types into it.
class TDBEdit : public QLineEdit, public DataFieldControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)

public:
    explicit TDBEdit(QWidget *parent = nullptr);

private:
    void showText(const QString &text) override;
};

} // namespace bco
