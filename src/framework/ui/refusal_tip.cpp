#include "framework/ui/refusal_tip.h"

#include <utility>

#include <QApplication>
#include <QToolTip>

namespace bco {

RefusalTip::RefusalTip(QWidget &owner, std::function<QPoint()> where)
    : owner_(owner)
    , where_(std::move(where)) {
}

void RefusalTip::tell(const QString &why) {
    QApplication::beep();
    text_ = why;
    showAgain();
}

void RefusalTip::showAgain() const {
    if (!text_.isEmpty())
        QToolTip::showText(where_(), text_, &owner_);
}

void RefusalTip::forget() {
    if (text_.isEmpty())
        return;
    text_.clear();
    QToolTip::hideText();
}

} // namespace bco
