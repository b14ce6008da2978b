#pragma once

#include <functional>
#include <initializer_list>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace bco {

// The application-wide focus order the forms are written against. When the focus moves from control A to
// control B inside one form:
//   1. the form's active control becomes B;
//   2. A's exit handler runs;
//   3. the exit handlers of each container that holds A but not B run, innermost first;
//   4. the enter handlers of each container that holds B but not A run, outermost first;
//   5. B's enter handler runs.
// Each handler runs through the event guard. When one aborts (or fails), the rest does not run and the focus
// stays where the handler put it, or goes back to A when it put it nowhere. Moves between forms, to or from
// another window (a message box) or to nothing run no handler: a form keeps its active control while
// another window has the focus, and when the focus comes back from nothing to another control of the form,
// the sequence runs as a move from that active control. A window being hidden (a sub-window maximized,
// restored or closed) hands the focus on along its chain without any handler: its form keeps its active
// control, which has the focus back once the form shows again. Handlers that move the focus themselves do
// not start a nested sequence. Tool buttons take no focus, so pressing one leaves the active control where it
// was. A line entered with Tab (or Enter) has its whole text selected once the handlers ran, as Qt selects it
// when the focus arrives: what the operator types replaces what a handler of the move put there.
//
// Inside a form the keyboard works the same in every entry field (a line, a combo box, a spin box, a check
// or radio button): Enter, of the main keys or the keypad, moves to the next field exactly as Tab does (with
// Ctrl, Alt or Shift it is left alone: Ctrl+Enter confirms). A cell editor of a grid, a multi-line text and
// the windows that are no forms (look-ups, message boxes) keep Enter for themselves. A line made read-only
// is no tab stop, so that Tab passes over what only shows (a click still reaches it to copy its text);
// made writable again, it is a tab stop again.
class FocusTracker : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    // The one tracker of the application, made on first use (a QApplication must exist).
    static FocusTracker &instance();

    void setEnterHandler(QWidget *widget, Handler handler);
    void setExitHandler(QWidget *widget, Handler handler);

    // Marks `widget` as a form: the unit whose active control is kept and inside which handlers fire.
    static void markForm(QWidget *widget);
    static QWidget *formOf(QWidget *widget);

    // The control that last received the focus inside `form` (nullptr before any); while a move's handlers
    // run, the control the move goes to.
    QWidget *activeControl(QWidget *form) const;
    // While a move's handlers run, the control it leaves inside `form`; nullptr otherwise.
    QWidget *leaving(QWidget *form) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FocusTracker(QObject *parent);
    void focusChanged(QWidget *from, QWidget *to);
    bool runSequence(QWidget *from, QWidget *to);
    struct Handlers {
        Handler enter;
        Handler exit;
    };
    Handlers &handlersOf(QWidget *widget);
    bool run(QWidget *widget, Handler Handlers::*which);
    bool wasHandedOn(QWidget *form);
    void giveFocusBack(QWidget *form);
    void selectAsKeysEnter(QWidget *to);
    // Whether `to` received the focus last, for one of `reasons`.
    bool cameBy(const QWidget *to, std::initializer_list<Qt::FocusReason> reasons) const;

    QHash<QWidget *, Handlers> handlers_;
    QHash<QWidget *, QPointer<QWidget>> activeControls_;
    QHash<QWidget *, QPointer<QWidget>> leaving_;
    // Forms whose hidden window handed the focus on, until it comes back to them.
    QHash<QWidget *, QPointer<QWidget>> handedOn_;
    // The control each of those handed the focus on to last.
    QHash<QWidget *, QPointer<QWidget>> handedTo_;
    // The control that last received the focus, and why.
    QPointer<QWidget> lastFocusIn_;
    // The control a move that a check refused was heading for, until the focus next goes anywhere.
    QPointer<QWidget> refusedTarget_;
    Qt::FocusReason lastFocusInReason_ = Qt::OtherFocusReason;
    bool dispatching_ = false;
};

} // namespace bco
