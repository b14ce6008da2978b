#include "filter/radio_group.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace Cli_bco11102 {

TRadioGroup::TRadioGroup(QWidget *parent)
    : QGroupBox(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(6, 0, 6, 0);
    // idClicked comes only from the operator: a click, or an arrow key that checks the next button.
    connect(&buttons_, &QButtonGroup::idClicked, this, [this] { Q_EMIT Click(); });
}

void TRadioGroup::SetItems(const QStringList &items) {
    for (QAbstractButton *button : buttons_.buttons()) {
        buttons_.removeButton(button);
        delete button;
    }
    items_ = items;
    for (int i = 0; i < items_.size(); ++i) {
        auto *button = new QRadioButton(items_[i], this);
        buttons_.addButton(button, i);
        layout()->addWidget(button);
    }
}

int TRadioGroup::ItemIndex() const {
    return buttons_.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton *button = buttons_.button(index)) {
        button->setChecked(true);
    } else if (QAbstractButton *checked = buttons_.checkedButton()) {
        // An exclusive group never lets its checked button go; clearing needs it lifted for a moment.
        buttons_.setExclusive(false);
        checked->setChecked(false);
        buttons_.setExclusive(true);
    }
}

} // namespace Cli_bco11102
