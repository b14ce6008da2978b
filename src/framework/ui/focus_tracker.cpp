#include "framework/ui/focus_tracker.h"

#include <QApplication>

#include "framework/ui/event_guard.h"

namespace bco {

namespace {

const char *const formProperty = "bcoForm";

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
}

void FocusTracker::markForm(QWidget *widget) {
    widget->setProperty(formProperty, true);
}

QWidget *FocusTracker::formOf(QWidget *widget) {
    for (QWidget *w = widget; w != nullptr; w = w->parentWidget())
        if (w->property(formProperty).toBool())
            return w;
    return widget != nullptr ? widget->window() : nullptr;
}

QWidget *FocusTracker::activeControl(QWidget *form) const {
    return activeControls_.value(form).data();
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
    QWidget *previous = to != nullptr ? activeControls_.value(form).data() : nullptr;
    if (to != nullptr)
        activeControls_[form] = to;
    // When the focus went to nothing (its control was hidden or disabled) and now comes back to another
    // control of the form, the move is from the control the form had left active.
    if (from == nullptr && previous != to)
        from = previous;
    if (dispatching_ || from == nullptr || to == nullptr || formOf(from) != form)
        return;
    dispatching_ = true;
    const bool completed = runSequence(from, to);
    dispatching_ = false;
    if (!completed && QApplication::focusWidget() == to) {
        // The handler that refused the move put the focus nowhere: it stays on the control being left.
        dispatching_ = true;
        activeControls_[form] = from;
        if (from->isVisible() && from->isEnabled())
            from->setFocus(Qt::OtherFocusReason);
        dispatching_ = false;
    }
}

bool FocusTracker::runSequence(QWidget *from, QWidget *to) {
    QWidget *form = formOf(to);
    const QList<QWidget *> fromChain = chainInside(from, form);
    const QList<QWidget *> toChain = chainInside(to, form);
    QPointer<QWidget> guardTo(to);

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
