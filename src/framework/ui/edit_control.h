#pragma once

#include <functional>

#include <QLineEdit>

#include "framework/ui/control_color.h"
#include "framework/ui/refusal_tip.h"

namespace bco {

// The line edit under our edit controls (masked, number and date edits). It gives the forms what their
// handlers expect of an edit:
// - key hooks. OnKeyDown sees every key first (its code and modifiers) and may swallow it by setting the
//   code to 0; OnKeyPress then sees the character a key types (backspace as 8, enter as 13, escape as 27,
//   nothing for keys that type no character) and may discard it by setting it to a null QChar or replace
//   it by another. Both run through the event guard: a hook that aborts or fails discards the key.
// - the selection counted as the forms count it (start and length in characters of the edit text);
// - the background colours the forms switch between;
// - Changed, sent on every change of the text, typed or set by the program, except when the control only
//   redraws the same value in another form (a number edit entering or leaving editing).
// Keys the hooks let through go to handleKey; a control that checks what is typed overrides it, and also
// pasteText, which every paste (keyboard, context menu) and every composed character comes through.
class EditControl : public QLineEdit {
    Q_OBJECT

public:
    using KeyPressHandler = std::function<void(QChar &key)>;
    using KeyDownHandler = std::function<void(int &key, Qt::KeyboardModifiers modifiers)>;

    explicit EditControl(QWidget *parent = nullptr);

    KeyDownHandler OnKeyDown;
    KeyPressHandler OnKeyPress;

    int SelStart() const;
    int SelLength() const;
    // Puts the caret at `position`, leaving nothing selected.
    void SetSelStart(int position);
    // Selects `length` characters from the current selection start.
    void SetSelLength(int length);

    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }

    ControlColor Color() const { return color_; }
    void SetColor(ControlColor color);

Q_SIGNALS:
    void Changed();

protected:
    void keyPressEvent(QKeyEvent *event) final;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    // The character a key types as the hooks are to see it; a number edit turns the keypad's decimal key
    // into the locale's decimal separator here, whichever character the keyboard layout gives it.
    virtual QChar translateKey(const QKeyEvent &event, QChar key) const {
        Q_UNUSED(event);
        return key;
    }
    // What the control does with a key that its hooks let through; `key` is the character it types (null
    // for keys that type none), possibly replaced by OnKeyPress. The default is the line edit's own
    // handling of that character.
    virtual void handleKey(QKeyEvent *event, QChar key);
    // A character typed that the form's hooks refused (OnKeyDown or OnKeyPress); nothing by default.
    virtual void refusedByHooks(QChar typed) { Q_UNUSED(typed); }
    // Inserts pasted text at the caret, over the selection.
    virtual void pasteText(const QString &text);
    // Removes the selected text (cut and the context menu's delete).
    virtual void removeSelection();

    // Beeps and tells under the control why what was typed or pasted was not taken, until forgetRefusal: an
    // input dropped without a word leaves another value than the one meant for an operator who types
    // without looking.
    void tellRefused(const QString &why) { refusal_.tell(why); }
    void forgetRefusal() { refusal_.forget(); }
    // A tip shown on a key's press goes with its release (a tip hides at any key), so it is shown again then.
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

    // Replaces the text without sending Changed: the same value shown another way.
    void setTextQuietly(const QString &text);
    // Runs OnKeyPress on a character as if it had been typed (a control that takes a paste character by
    // character); false when the hook discarded it, aborted or failed, or the control went with it.
    bool runKeyPressHook(QChar &key);

private:
    bool runKeyHooks(QKeyEvent *event, QChar &key);

    ControlColor color_ = ControlColor::Window;
    bool quiet_ = false;
    RefusalTip refusal_;
};

// The character a key event types as the forms see it in their key-press handlers; null for none (a
// shortcut such as Ctrl+V types none).
QChar typedCharacter(const QKeyEvent *event);

} // namespace bco
