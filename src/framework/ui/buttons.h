#pragma once

#include <functional>

#include <QPointer>
#include <QToolButton>

#include "framework/data/data_source.h"

namespace bco {

// The forms' tool buttons (sbt*): flat until the mouse is over them, and never taking the focus, so that
// pressing one leaves the form's active control where it was (its exit handler does not run).
class TButtonFlat : public QToolButton {
    Q_OBJECT
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)

public:
    explicit TButtonFlat(QWidget *parent = nullptr);

    QString Hint() const { return toolTip(); }
    void SetHint(const QString &hint) { setToolTip(hint); }
};

// The look-up button beside a field (btp*, btn*, sbt*). A click runs, through the event guard:
//   1. BeforePesq, which prepares the data set (reopens a query, calls the server) and may abort;
//   2. the look-up window over DataSource with the title and the empty-list text (Pesquisar);
//   3. when the operator picked a row: the value of KeyField written into the associated edit, when both
//      are set, then AfterPesq, which copies what the form needs from the picked row.
// A form that handles the click itself sets OnClick, which then runs instead of all of that.
class TBtnPesquisa : public TButtonFlat {
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(QString EmptyText READ EmptyText WRITE SetEmptyText)
    Q_PROPERTY(QString KeyField READ KeyField WRITE SetKeyField)

public:
    explicit TBtnPesquisa(QWidget *parent = nullptr);

    DataSource *GetDataSource() const { return dataSource_; }
    void SetDataSource(DataSource *source) { dataSource_ = source; }
    QString Title() const { return title_; }
    void SetTitle(const QString &title) { title_ = title; }
    QString EmptyText() const { return emptyText_; }
    void SetEmptyText(const QString &text) { emptyText_ = text; }
    QString KeyField() const { return keyField_; }
    void SetKeyField(const QString &field) { keyField_ = field; }
    // The edit that receives the picked key (a masked edit gets it as its Text).
    QWidget *Associate() const { return associate_; }
    void SetAssociate(QWidget *edit) { associate_ = edit; }
    // F9 in `field` opens the look-up as a click would, while the button is enabled: the button takes no
    // focus, and the keyboard alone must reach it. The key is told in the button's hint.
    void OpenWithKeyIn(QWidget *field);

    std::function<void()> BeforePesq;
    std::function<void()> AfterPesq;
    std::function<void()> OnClick;

private:
    void lookUp();

    QPointer<DataSource> dataSource_;
    QString title_;
    QString emptyText_;
    QString keyField_;
    QPointer<QWidget> associate_;
};

} // namespace bco
