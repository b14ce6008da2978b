#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include <QLabel>
#include <QStyle>
#include <QWidget>

#include "framework/checks/messages.h"

class QAbstractButton;
class QAction;
class QCloseEvent;
class QMdiSubWindow;
class QToolButton;

namespace bco {

// What closing a form does with it, as its close handler decides.
enum class TCloseAction {
    caNone, // the close is refused: the form stays as it is
    caHide, // the form is hidden and lives on (the default)
    caFree, // the form is released once the event that closed it has ended
};

// Answers of a modal form, as the forms set them.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// The root of every form: the message catalogue, the screen-code label and the button panel, and the life
// cycle the forms are written against.
//
// - FormCreate runs once, right after the form and its controls exist (CreateForm below); a form that fails
//   there is destroyed and the failure goes to whoever asked for it.
// - FormActivate runs each time the form becomes the application's active form after another one was (not
//   when the operator merely comes back from another program or from a message box).
// - FormCloseQuery runs first when the form is asked to close, and answers whether it may: a form holding
//   work the operator has not saved asks here, and does nothing else, so that a frame closing many forms
//   can ask them all before it closes any (CanClose, AgreeToClose).
// - FormClose runs when the form is closed by code (Close), by its window or by its multi-document frame;
//   it decides the close action, which starts as caHide. A handler that aborts refuses the close.
// Every handler runs through the event guard when an event starts it.
//
// The descendant lays out the whole form in its .ui file, the base form's controls included under the
// names the base form uses, and calls BindFrame of its base form after setupUi; the base form finds its
// controls by name and refuses a layout that lacks one.
class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget *parent = nullptr);
    ~TForm() override;

    // The form's catalogue: the base form's rows and the descendant's.
    TMessages msgPadrao;

    // Controls every base form brings (bound by BindFrame).
    QLabel *lblCodTela = nullptr;
    QWidget *panMenu = nullptr;

    // Runs FormCreate; called once by CreateForm.
    void RunFormCreate();
    // Runs FormActivate without the form becoming active (a dialog used unseen).
    void RunFormActivate() { FormActivate(); }

    // Closes the form (its multi-document window when it is a child window), running FormClose.
    void Close();
    // Whether the form may close: FormCloseQuery through the event guard (a handler that aborts refuses).
    bool CanClose();
    // The form's next close does not ask again: its frame asked every form before closing them all (false:
    // it asks again, the frame having closed nothing after all).
    void AgreeToClose(bool agreed = true) { closeAgreed_ = agreed; }
    // Releases the form after the running event has ended, so a caller still up the stack (a modal
    // caller reading the form's data sets) finishes first.
    void Release();

    // Shows the form modally through the modal-forms service and answers its modal result. The operator
    // works on a modal form with the ordinary cursor, whatever cursor its caller was showing.
    int ShowModal();
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    // The multi-document window holding the form, when it is a child window.
    QMdiSubWindow *MdiWindow() const;

protected:
    virtual void FormCreate() {}
    virtual void FormActivate() {}
    virtual bool FormCloseQuery() { return true; }
    virtual void FormClose(TCloseAction &action) { Q_UNUSED(action); }

    // The named child of the form's layout, or std::logic_error naming the form and the missing name.
    template <class Widget> Widget *Control(const char *name) const {
        Widget *widget = findChild<Widget *>(QString::fromLatin1(name));
        if (widget == nullptr)
            missingControl(name);
        return widget;
    }
    // Finds the controls of this class; the descendant's BindFrame calls it first.
    void BindFormControls();

    // Runs `handler` through the event guard on every click of the button or trigger of the action.
    void OnClick(QAbstractButton *button, std::function<void()> handler);
    void OnClick(QAction *action, std::function<void()> handler);
    // Keys that press `button` wherever the focus is in the form (nothing while it is disabled); the first
    // is shown in its tool tip.
    void ButtonKeys(QAbstractButton *button, const QList<QKeySequence> &keys);
    // Makes `action` the one command behind `button` and the menu items that hold it: the button shows the
    // action (its caption becomes the action's icon text, its hint and picture the action's), a click
    // triggers it, and enabling the action enables the button. Handlers connect to the action only. The
    // action's keys (set before) work wherever the focus is in this form, and only there, so that two forms
    // open side by side each keep theirs; the button's hint names the first of them: "Filtrar (Ctrl+L)".
    void BindCommand(QToolButton *button, QAction *action);
    // Gives a tool button of the frame the style's picture for its job, unless the layout gave it one.
    void SetButtonIcon(QToolButton *button, QStyle::StandardPixmap picture) const;

    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    [[noreturn]] void missingControl(const char *name) const;
    void activated();
    void watchMdiWindow();

    int modalResult_ = mrNone;
    bool watchingMdiWindow_ = false;
    bool closeAgreed_ = false;
};

// The hourglass cursor over the whole application for the life of the object (the creators show it while
// a form is made); the cursor before it comes back however the scope ends.
class HourglassCursor {
public:
    HourglassCursor();
    ~HourglassCursor();
    HourglassCursor(const HourglassCursor &) = delete;
    HourglassCursor &operator=(const HourglassCursor &) = delete;
};

// Makes a form and runs its FormCreate: the one way forms are created. When FormCreate fails, the form is
// destroyed and the failure propagates.
template <class Form, class... Args> Form *CreateForm(Args &&...args) {
    auto form = std::make_unique<Form>(std::forward<Args>(args)...);
    form->RunFormCreate();
    return form.release();
}

} // namespace bco
