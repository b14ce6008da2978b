#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace Cli_bco11102 {

// A captioned group of radio buttons of which one item is chosen (rgp*): Items are the buttons' captions,
// top to bottom, and ItemIndex the chosen one (-1: none). The buttons have no names of their own, so the
// filter's saved options hold the group's ItemIndex alone.
//
// Click is sent when the operator chooses an item (a click, or an arrow key moving the choice); setting
// ItemIndex from the program sends nothing, so that a form restoring its criteria runs no click handler.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex USER true)

public:
    explicit TRadioGroup(QWidget *parent = nullptr);

    QStringList Items() const { return items_; }
    // Makes one button per caption; the choice is cleared.
    void SetItems(const QStringList &items);

    int ItemIndex() const;
    // An index outside the items clears the choice.
    void SetItemIndex(int index);

Q_SIGNALS:
    void Click();

private:
    QStringList items_;
    QButtonGroup buttons_;
};

} // namespace Cli_bco11102
