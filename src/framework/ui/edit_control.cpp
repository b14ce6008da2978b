#include "framework/ui/edit_control.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

#include "framework/text/whole_characters.h"
#include "framework/ui/event_guard.h"

namespace bco {

QChar typedCharacter(const QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Backspace:
        return QChar(8);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(13);
    case Qt::Key_Escape:
        return QChar(27);
    default:
        break;
    }
    // A shortcut (Ctrl+V) types nothing, whatever text the platform sends with it; AltGr, which some
    // platforms send as Ctrl+Alt, still types its character.
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers.testFlag(Qt::ControlModifier) && !modifiers.testFlag(Qt::AltModifier))
        return QChar();
    const QString text = event->text();
    if (text.size() != 1 || !text[0].isPrint())
        return QChar();
    return text[0];
}

EditControl::EditControl(QWidget *parent)
    : QLineEdit(parent)
    , refusal_(*this, [this] { return mapToGlobal(QPoint(0, height())); }) {
    // Dropped text would bypass the checks of what may be typed.
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!quiet_)
            Q_EMIT Changed();
    });
}

int EditControl::SelStart() const {
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

int EditControl::SelLength() const {
    return hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
}

void EditControl::SetSelStart(int position) {
    deselect();
    setCursorPosition(position);
}

void EditControl::SetSelLength(int length) {
    const int start = SelStart();
    if (length <= 0)
        SetSelStart(start);
    else
        setSelection(start, length);
}

void EditControl::SetColor(ControlColor color) {
    color_ = color;
    SetControlColor(this, color);
}

void EditControl::setTextQuietly(const QString &text) {
    const bool wasQuiet = quiet_;
    quiet_ = true;
    setText(text);
    quiet_ = wasQuiet;
}

bool EditControl::runKeyHooks(QKeyEvent *event, QChar &key) {
    QPointer<EditControl> self(this);
    if (OnKeyDown) {
        int code = event->key();
        const KeyDownHandler hook = OnKeyDown;
        if (!runGuarded([&] { hook(code, event->modifiers()); }) || code == 0)
            return false;
    }
    if (self.isNull())
        return false;
    return key.isNull() || runKeyPressHook(key);
}

bool EditControl::runKeyPressHook(QChar &key) {
    if (!OnKeyPress)
        return true;
    QPointer<EditControl> self(this);
    const KeyPressHandler hook = OnKeyPress;
    return runGuarded([&] { hook(key); }) && !key.isNull() && !self.isNull();
}

void EditControl::keyPressEvent(QKeyEvent *event) {
    // A refusal is told until the next key: the one refused is told again as it is released.
    forgetRefusal();
    QChar key = typedCharacter(event);
    if (key.isPrint())
        key = translateKey(*event, key);
    const QChar typed = key;
    if (!runKeyHooks(event, key)) {
        event->accept();
        if (typed.isPrint())
            refusedByHooks(typed);
        return;
    }
    // As the menu leaves undo out: the checks keep no history, and an undo would bring back a text they
    // refused or took for another (a number typed past a refused key).
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) {
        event->accept();
        if (isReadOnly())
            return;
        if (event->matches(QKeySequence::Cut)) {
            copy();
            removeSelection();
        } else {
            pasteText(QApplication::clipboard()->text());
        }
        return;
    }
    handleKey(event, key);
}

void EditControl::handleKey(QKeyEvent *event, QChar key) {
    const QChar original = typedCharacter(event);
    if (key == original || !key.isPrint()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent replaced(event->type(), 0, event->modifiers() & ~Qt::ShiftModifier, QString(key));
    QLineEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

// Composed characters (dead keys, input methods) come as committed text; each goes through the hooks as
// if it had been typed.
void EditControl::inputMethodEvent(QInputMethodEvent *event) {
    const QString committed = event->commitString();
    if (committed.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QPointer<EditControl> self(this);
    for (const QChar c : committed) {
        if (self.isNull())
            return;
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        keyPressEvent(&typed);
    }
    event->accept();
}

void EditControl::focusOutEvent(QFocusEvent *event) {
    forgetRefusal();
    QLineEdit::focusOutEvent(event);
}

void EditControl::keyReleaseEvent(QKeyEvent *event) {
    QLineEdit::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        refusal_.showAgain();
}

// A single line takes no line break or tab, which it would keep and send on.
void EditControl::pasteText(const QString &text) {
    insert(asOneLineField(text));
}

// With nothing selected nothing is removed: the line edit's delete would take the character after the
// caret, and a cut slipped for a copy would take a digit from an amount.
void EditControl::removeSelection() {
    if (hasSelectedText())
        del();
}

// The standard menu's paste, cut and delete would change the text behind the control's checks; they are
// sent through the control instead, and undo is left out since the checks keep no history.
void EditControl::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createStandardContextMenu();
    for (QAction *action : menu->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("edit-undo") || name == QLatin1String("edit-redo")) {
            action->setVisible(false);
        } else if (name == QLatin1String("edit-paste")) {
            action->disconnect();
            connect(action, &QAction::triggered, this,
                    [this] { pasteText(QApplication::clipboard()->text()); });
        } else if (name == QLatin1String("edit-cut")) {
            action->disconnect();
            connect(action, &QAction::triggered, this, [this] {
                copy();
                removeSelection();
            });
        } else if (name == QLatin1String("edit-delete")) {
            action->disconnect();
            connect(action, &QAction::triggered, this, [this] { removeSelection(); });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// Where the platform has a selection to paste (X11), the line edit pastes it on a middle click by itself,
// behind the control's checks: an amount took a third decimal or digits past its field's width that way.
void EditControl::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
        event->accept();
        if (!isReadOnly()) {
            deselect();
            pasteText(QApplication::clipboard()->text(QClipboard::Selection));
        }
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

} // namespace bco
