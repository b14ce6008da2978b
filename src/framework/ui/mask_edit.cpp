#include "framework/ui/mask_edit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QKeySequence>

namespace bco {

namespace {

// Keys that only move the caret or the selection, or copy: a masked edit leaves them to the line edit.
bool onlyMovesOrCopies(const QKeyEvent *event) {
    static const QKeySequence::StandardKey keys[] = {
        QKeySequence::MoveToNextChar,
        QKeySequence::MoveToPreviousChar,
        QKeySequence::MoveToNextWord,
        QKeySequence::MoveToPreviousWord,
        QKeySequence::MoveToStartOfLine,
        QKeySequence::MoveToEndOfLine,
        QKeySequence::MoveToStartOfBlock,
        QKeySequence::MoveToEndOfBlock,
        QKeySequence::MoveToStartOfDocument,
        QKeySequence::MoveToEndOfDocument,
        QKeySequence::SelectNextChar,
        QKeySequence::SelectPreviousChar,
        QKeySequence::SelectNextWord,
        QKeySequence::SelectPreviousWord,
        QKeySequence::SelectStartOfLine,
        QKeySequence::SelectEndOfLine,
        QKeySequence::SelectStartOfBlock,
        QKeySequence::SelectEndOfBlock,
        QKeySequence::SelectStartOfDocument,
        QKeySequence::SelectEndOfDocument,
        QKeySequence::SelectAll,
        QKeySequence::Copy,
    };
    for (const QKeySequence::StandardKey key : keys) {
        if (event->matches(key))
            return true;
    }
    return false;
}

} // namespace

TMaskEdit::TMaskEdit(QWidget *parent)
    : EditControl(parent) {
    setMaxLength(32767);
    connect(this, &QLineEdit::textChanged, this, [this] { keepShape(); });
}

void TMaskEdit::SetEditMask(const QString &definition) {
    if (definition == mask_.definition())
        return;
    const QString value = Text();
    mask_ = bco::EditMask(definition);
    if (mask_.isEmpty()) {
        SetMaxLength(maxLength_);
        setText(value);
    } else {
        setMaxLength(mask_.length());
        setText(mask_.editText(value));
        setCursorPosition(0);
    }
}

QString TMaskEdit::Text() const {
    return mask_.storedValue(text());
}

void TMaskEdit::SetText(const QString &value) {
    setText(mask_.isEmpty() ? value : mask_.editText(value));
    setCursorPosition(0);
}

bool TMaskEdit::IsEmpty() const {
    return mask_.isBlank(text());
}

void TMaskEdit::SetMaxLength(int length) {
    maxLength_ = std::max(length, 0);
    if (mask_.isEmpty())
        setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
}

MaskEdit TMaskEdit::current() const {
    return MaskEdit{text(), SelStart(), SelLength()};
}

void TMaskEdit::apply(const MaskEdit &edit) {
    if (edit.text != text())
        setText(edit.text);
    setCursorPosition(edit.selStart);
    if (edit.selLength > 0)
        setSelection(edit.selStart, edit.selLength);
}

// Whatever reaches the line edit behind the rules (its own setText, an input method) is brought back to
// the mask's shape, so that no position is ever shifted.
void TMaskEdit::keepShape() {
    if (mask_.isEmpty())
        return;
    const QString shaped = mask_.editText(mask_.storedValue(text()));
    if (shaped != text()) {
        const int caret = cursorPosition();
        setText(shaped);
        setCursorPosition(std::min(caret, static_cast<int>(shaped.size())));
    }
}

void TMaskEdit::handleKey(QKeyEvent *event, QChar key) {
    if (mask_.isEmpty()) {
        EditControl::handleKey(event, key);
        return;
    }
    event->accept();
    if (onlyMovesOrCopies(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->ignore();
        return;
    default:
        break;
    }
    if (isReadOnly())
        return;
    if (event->key() == Qt::Key_Backspace && key == QChar(8)) {
        apply(mask_.backspace(current()));
    } else if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        apply(mask_.deleteForward(current()));
    } else if (key.isPrint()) {
        if (const std::optional<MaskEdit> typed = mask_.type(current(), key))
            apply(*typed);
    }
    // Any other key (word deletion, undo) would change the text outside the mask's rules: dropped.
}

// A click past what was typed puts the caret on the first empty position, where typing goes on, rather
// than at the end of the blanks, where every key would be refused.
void TMaskEdit::mousePressEvent(QMouseEvent *event) {
    EditControl::mousePressEvent(event);
    if (mask_.isEmpty() || hasSelectedText())
        return;
    const QString shown = text();
    const QString empty = mask_.blankText();
    for (int p = 0; p < cursorPosition(); ++p) {
        if (shown[p] == mask_.blank() && empty[p] == mask_.blank()) {
            setCursorPosition(p);
            return;
        }
    }
}

void TMaskEdit::pasteText(const QString &text) {
    if (mask_.isEmpty()) {
        EditControl::pasteText(text);
        return;
    }
    if (isReadOnly())
        return;
    if (const std::optional<MaskEdit> pasted = mask_.paste(current(), text)) {
        apply(*pasted);
        return;
    }
    // What the field held stays, and would be taken for what was pasted.
    QString shape = mask_.blankText();
    shape.replace(mask_.blank(), u'_');
    tellRefused(
        QStringLiteral("“%1” recusado: o campo recebe um texto da forma %2.").arg(text.trimmed(), shape));
}

void TMaskEdit::removeSelection() {
    if (mask_.isEmpty()) {
        EditControl::removeSelection();
        return;
    }
    if (!isReadOnly() && hasSelectedText())
        apply(mask_.deleteForward(current()));
}

} // namespace bco
