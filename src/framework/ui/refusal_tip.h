#pragma once

#include <functional>

#include <QPoint>
#include <QString>

class QWidget;

namespace bco {

// What a control tells, under where the operator types, of an input it refused: a key or a paste dropped
// without a word leaves another value than the one meant for an operator who types without looking. The
// tip is told until the next key, and shown again as the refused key is released (a tip hides at any key).
class RefusalTip {
public:
    // `owner` is the widget the tip belongs to; `where` answers, in global coordinates, where it goes.
    RefusalTip(QWidget &owner, std::function<QPoint()> where);

    // Beeps and shows `why`.
    void tell(const QString &why);
    // Shows it again, if there is one: when the refused key is released.
    void showAgain() const;
    // Forgets it, hiding it: at the next key, or when the control is left.
    void forget();

private:
    QWidget &owner_;
    std::function<QPoint()> where_;
    QString text_;
};

} // namespace bco
