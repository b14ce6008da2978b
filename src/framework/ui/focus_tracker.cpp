#include "framework/ui/focus_tracker.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>

#include "framework/ui/event_guard.h"

namespace bco {

namespace {

const char *const formProperty = "bcoForm";
// Set on a line whose tab stop was taken away because it was made read-only.
const char *const displayProperty = "bcoReadOnlyDisplay";

// Whether `widget` lies in a form of its own window (a dialog parented to a form is not in it).
bool insideForm(const QWidget *widget) {
    for (const QWidget *w = widget; w != nullptr; w = w->parentWidget()) {
        if (w->property(formProperty).toBool())
            return true;
        if (w->isWindow())
            return false;
    }
    return false;
}

bool isEntryField(const QWidget *widget) {
    const bool field = qobject_cast<const QLineEdit *>(widget) != nullptr ||
                       qobject_cast<const QComboBox *>(widget) != nullptr ||
                       qobject_cast<const QAbstractSpinBox *>(widget) != nullptr ||
                       qobject_cast<const QCheckBox *>(widget) != nullptr ||
                       qobject_cast<const QRadioButton *>(widget) != nullptr;
    if (!field)
        return false;
    for (const QWidget *w = widget->parentWidget(); w != nullptr && !w->isWindow(); w = w->parentWidget())
        if (qobject_cast<const QAbstractItemView *>(w) != nullptr)
            return false; // a grid's cell editor: Enter ends the edit
    return insideForm(widget);
}

bool isPlainEnter(const QKeyEvent *event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier;
}

// The widget and its ancestors up to (not including) the form, innermost first.
QList<QWidget *> chainInside(QWidget *widget, QWidget *form) {
    QList<QWidget *> chain;
    for (QWidget *w = widget; w != nullptr && w != form; w = w->parentWidget())
        chain << w;
    return chain;
}

} // namespace

FocusTracker &FocusTracker::instance() {
    static FocusTracker *tracker = new FocusTracker(qApp);
    return *tracker;
}

FocusTracker::FocusTracker(QObject *parent)
    : QObject(parent) {
    connect(qApp, &QApplication::focusChanged, this, &FocusTracker::focusChanged);
    qApp->installEventFilter(this);
}

void FocusTracker::markForm(QWidget *widget) {
    instance(); // the keys of the form's fields are the tracker's from the start
    widget->setProperty(formProperty, true);
}

bool FocusTracker::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (isPlainEnter(static_cast<QKeyEvent *>(event)) && isEntryField(widget)) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &tab);
            return true;
        }
    } else if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
        lastFocusIn_ = static_cast<QWidget *>(watched);
        lastFocusInReason_ = static_cast<QFocusEvent *>(event)->reason();
    } else if (event->type() == QEvent::Show && watched->isWidgetType() &&
               handedOn_.contains(static_cast<QWidget *>(watched))) {
        // The window shows the form before it puts the focus anywhere: the focus goes back once it has.
        QMetaObject::invokeMethod(
            this,
            [this, form = QPointer<QWidget>(static_cast<QWidget *>(watched))] {
                if (form)
                    giveFocusBack(form);
            },
            Qt::QueuedConnection);
    } else if (event->type() == QEvent::ReadOnlyChange || event->type() == QEvent::Polish) {
        // A line laid out on a page of a tab widget is made, and made read-only, before the page joins its
        // form: it is seen again when it is first shown.
        auto *line = qobject_cast<QLineEdit *>(watched);
        if (line != nullptr && insideForm(line)) {
            if (line->isReadOnly() && line->focusPolicy() & Qt::TabFocus) {
                line->setFocusPolicy(Qt::ClickFocus);
                line->setProperty(displayProperty, true);
            } else if (!line->isReadOnly() && line->property(displayProperty).toBool()) {
                line->setFocusPolicy(Qt::StrongFocus);
                line->setProperty(displayProperty, false);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

bool FocusTracker::wasHandedOn(QWidget *form) {
    const QPointer<QWidget> handed = handedOn_.take(form);
    return handed == form; // a form made later at the address of a destroyed one was not
}

void FocusTracker::giveFocusBack(QWidget *form) {
    QWidget *focused = QApplication::focusWidget();
    // Only while the focus is inside the form. The window may show the form before it gives it the focus,
    // or show it behind another (a form opened maximized over it restores it): the focus's coming is then
    // the hand back, which focusChanged tells by the mark left in place.
    if (focused == nullptr || formOf(focused) != form || !wasHandedOn(form))
        return;
    QWidget *active = activeControls_.value(form).data();
    if (active == nullptr || focused == active || !active->isVisible() || !active->isEnabled())
        return;
    dispatching_ = true;
    active->setFocus(Qt::OtherFocusReason);
    dispatching_ = false;
}

QWidget *FocusTracker::formOf(QWidget *widget) {
    for (QWidget *w = widget; w != nullptr; w = w->parentWidget())
        if (w->property(formProperty).toBool())
            return w;
    return widget != nullptr ? widget->window() : nullptr;
}

bool FocusTracker::cameBy(const QWidget *to, std::initializer_list<Qt::FocusReason> reasons) const {
    return to != nullptr && lastFocusIn_ == to &&
           std::find(reasons.begin(), reasons.end(), lastFocusInReason_) != reasons.end();
}

QWidget *FocusTracker::activeControl(QWidget *form) const {
    return activeControls_.value(form).data();
}

QWidget *FocusTracker::leaving(QWidget *form) const {
    return leaving_.value(form).data();
}

FocusTracker::Handlers &FocusTracker::handlersOf(QWidget *widget) {
    if (!handlers_.contains(widget))
        connect(widget, &QObject::destroyed, this, [this, widget] { handlers_.remove(widget); });
    return handlers_[widget];
}

void FocusTracker::setEnterHandler(QWidget *widget, Handler handler) {
    handlersOf(widget).enter = std::move(handler);
}

void FocusTracker::setExitHandler(QWidget *widget, Handler handler) {
    handlersOf(widget).exit = std::move(handler);
}

bool FocusTracker::run(QWidget *widget, Handler Handlers::*which) {
    const auto found = handlers_.constFind(widget);
    if (found == handlers_.constEnd() || !(found.value().*which))
        return true;
    const Handler handler = found.value().*which; // the handler may replace itself while it runs
    return runGuarded(handler);
}

void FocusTracker::focusChanged(QWidget *from, QWidget *to) {
    QWidget *form = formOf(to);
    // A window being hidden hands the focus on along its chain while none of its controls shows (a
    // sub-window maximized or restored is hidden for the while): nobody moved it, so no handler runs and
    // the form keeps its active control, which gets the focus back when the form shows again.
    if (to != nullptr && !form->isVisible()) {
        handedOn_.insert(form, form);
        handedTo_.insert(form, to);
        return;
    }
    QWidget *previous = to != nullptr ? activeControls_.value(form).data() : nullptr;
    // A window made active again after a check refused a move (its message took the focus away) may give the
    // focus to the control the move was heading for, which Qt remembered for it: nobody moved, so the form's
    // active control, the one the check kept, gets it back and no handler runs. Else the check would run
    // again, and show its message again, each time the message closed.
    const bool refusedAgain =
        from == nullptr && to != nullptr && to == refusedTarget_ && cameBy(to, {Qt::ActiveWindowFocusReason});
    if (to != nullptr)
        refusedTarget_ = nullptr;
    if (refusedAgain && previous != nullptr && previous != to && previous->isVisible() &&
        previous->isEnabled() && !dispatching_) {
        dispatching_ = true;
        previous->setFocus(Qt::OtherFocusReason);
        dispatching_ = false;
        return;
    }
    const bool handedBack = to != nullptr && wasHandedOn(form);
    // The form's window, shown again, gives the focus from nowhere to the control it was handed on to while
    // hidden (a form opened maximized over it restored it for the while), whenever it is made active again,
    // though the operator clicked elsewhere in the form meanwhile: nobody moved it, so the control the form
    // kept active gets it back and no handler runs. A move of the operator, or of the program to another
    // control, runs its handlers.
    const bool toHandedTo = to != nullptr && handedTo_.value(form) == to;
    if (toHandedTo)
        handedTo_.remove(form);
    const bool byOperator = cameBy(
        to, {Qt::MouseFocusReason, Qt::TabFocusReason, Qt::BacktabFocusReason, Qt::ShortcutFocusReason});
    if (toHandedTo && from == nullptr && !byOperator && previous != nullptr && previous != to &&
        previous->isVisible() && previous->isEnabled() && !dispatching_) {
        dispatching_ = true;
        previous->setFocus(Qt::OtherFocusReason);
        dispatching_ = false;
        return;
    }
    if (to != nullptr)
        activeControls_[form] = to;
    // When the focus went to nothing (its control was hidden or disabled) and now comes back to another
    // control of the form, the move is from the control the form had left active; so it is when the operator
    // brings the focus back to a form whose hidden window handed it on, and when it passed through the frame
    // that holds the form (the sub-window takes it on a Tab off the form's last field, and hands it on to a
    // control of its own): the field was left all the same.
    const bool throughFrame =
        from != nullptr && to != nullptr && formOf(from) != form && from->isAncestorOf(form);
    if ((from == nullptr && previous != to) || handedBack || throughFrame)
        from = previous;
    if (dispatching_ || from == nullptr || to == nullptr || from == to || formOf(from) != form)
        return;
    QPointer<QWidget> entered(to);
    dispatching_ = true;
    const bool completed = runSequence(from, to);
    dispatching_ = false;
    if (completed && entered && QApplication::focusWidget() == to)
        selectAsKeysEnter(to);
    // The handler that refused the move put the focus nowhere: it stays on the control being left. Its
    // message may have left the window inactive, the focus nowhere for the while: the form keeps the control
    // active, and gets it back once the window is active again.
    if (!completed)
        refusedTarget_ = to;
    if (!completed && activeControls_.value(form) == to) {
        activeControls_[form] = from;
        if (QApplication::focusWidget() == to && from->isVisible() && from->isEnabled()) {
            dispatching_ = true;
            from->setFocus(Qt::OtherFocusReason);
            dispatching_ = false;
        }
    }
}

// A line entered with Tab (or Enter) has its text selected, so that typing replaces it. Qt selects it as the
// focus arrives, before the handlers of the move run; a handler that fills the line (the type's name made
// the description) leaves the caret after the text, and what the operator then types would be added to it.
void FocusTracker::selectAsKeysEnter(QWidget *to) {
    auto *line = qobject_cast<QLineEdit *>(to);
    const bool byKeys = cameBy(to, {Qt::TabFocusReason, Qt::BacktabFocusReason, Qt::ShortcutFocusReason});
    if (line != nullptr && byKeys && line->inputMask().isEmpty() && !line->hasSelectedText())
        line->selectAll();
}

bool FocusTracker::runSequence(QWidget *from, QWidget *to) {
    QWidget *form = formOf(to);
    const QList<QWidget *> fromChain = chainInside(from, form);
    const QList<QWidget *> toChain = chainInside(to, form);
    QPointer<QWidget> guardTo(to);
    // A handler may move the focus itself, a move inside this one: the outer move's is told again after it.
    const QPointer<QWidget> outer = leaving_.value(form);
    leaving_[form] = from;
    const struct Restore {
        QHash<QWidget *, QPointer<QWidget>> &leaving;
        QWidget *form;
        QPointer<QWidget> outer;
        ~Restore() {
            if (outer.isNull())
                leaving.remove(form);
            else
                leaving[form] = outer;
        }
    } restore{leaving_, form, outer};

    for (QWidget *widget : fromChain) {
        if (widget != from && toChain.contains(widget))
            break;
        if (!run(widget, &Handlers::exit))
            return false;
    }
    for (auto it = toChain.crbegin(); it != toChain.crend(); ++it) {
        QWidget *widget = *it;
        if (widget != to && fromChain.contains(widget))
            continue;
        if (guardTo.isNull())
            return true;
        if (!run(widget, &Handlers::enter))
            return false;
    }
    return true;
}

} // namespace bco
