#include "framework/ui/number_edit.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPointer>

#include "framework/checks/consiste.h"
#include "framework/text/typed_amount.h"

namespace bco {

TNumberEdit::TNumberEdit(QWidget *parent)
    : EditControl(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    refresh();
}

// The keys and pastes the control takes never give a text the field cannot hold, but a text may come
// another way (the platform's own paste of a selection, a form's setText): one with a third decimal or digits
// past the field is not rounded or cut into another amount, but read as no amount at all.
bool TNumberEdit::fits(const TypedAmount &typed) const {
    return !keyRefused_ && typed.complete() && typed.decimalDigits <= decimals_ &&
           typed.integerDigits <= integerDigits_;
}

double TNumberEdit::Value() const {
    if (!editing_ || isReadOnly())
        return value_;
    const TypedAmount typed = ReadTypedAmount(text(), AmountNotation::of(locale()));
    return fits(typed) ? Consiste::RoundDec(typed.value, decimals_) : value_;
}

bool TNumberEdit::Unfinished() const {
    return editing_ && !isReadOnly() && !fits(ReadTypedAmount(text(), AmountNotation::of(locale())));
}

void TNumberEdit::RefuseUnfinished() {
    if (!Unfinished())
        return;
    setFocus(Qt::OtherFocusReason);
    if (keyRefused_)
        Consiste::MensErro(
            QStringLiteral("'%1' pode não ser o valor que você digitou: uma tecla foi recusada no "
                           "meio dele. Confira-o e escreva-o de novo, como 1.234,56 ou 1234,56.")
                .arg(text()));
    const bool complete = ReadTypedAmount(text(), AmountNotation::of(locale())).complete();
    Consiste::MensErro(
        complete ? QStringLiteral("'%1' tem mais algarismos do que o campo aceita: nada foi arredondado nem "
                                  "cortado; escreva o valor de novo.")
                       .arg(text())
                 : QLatin1Char('\'') + text() +
                       QStringLiteral("' não é um valor completo: escreva-o como 1.234,56 ou 1234,56."));
}

void TNumberEdit::SetValue(double value) {
    keyRefused_ = false;
    // A text left unfinished kept the control editing after the focus went: a value set now is shown as one.
    if (!hasFocus())
        editing_ = false;
    value_ = std::isfinite(value) ? Consiste::RoundDec(value, decimals_) : 0.0;
    refresh();
}

void TNumberEdit::SetDecimals(int decimals) {
    value_ = Value();
    decimals_ = std::clamp(decimals, 0, 9);
    SetValue(value_);
}

void TNumberEdit::SetIntegerDigits(int digits) {
    integerDigits_ = std::clamp(digits, 1, 15);
}

void TNumberEdit::SetThousands(bool thousands) {
    thousands_ = thousands;
    refresh();
}

void TNumberEdit::SetNumberFormat(const QString &format) {
    numberFormat_ = format;
    refresh();
}

QString TNumberEdit::numberText(double value, bool withSeparators) const {
    QLocale numbers = locale();
    QLocale::NumberOptions options = numbers.numberOptions();
    if (withSeparators)
        options &= ~QLocale::NumberOptions(QLocale::OmitGroupSeparator);
    else
        options |= QLocale::OmitGroupSeparator;
    numbers.setNumberOptions(options);
    if (value == 0.0)
        value = 0.0; // a negative zero is shown without its sign
    return numbers.toString(value, 'f', decimals_);
}

QString TNumberEdit::displayText(double value) const {
    const QString number = numberText(value, thousands_);
    if (numberFormat_.isEmpty() || !numberFormat_.contains(QLatin1String("%n")))
        return number;
    QString shown = numberFormat_;
    return shown.replace(QLatin1String("%n"), number);
}

void TNumberEdit::refresh() {
    setTextQuietly(editing_ ? numberText(value_, false) : displayText(value_));
}

QChar TNumberEdit::translateKey(const QKeyEvent &event, QChar key) const {
    if (event.modifiers().testFlag(Qt::KeypadModifier) && (key == u'.' || key == u','))
        return AmountNotation::of(locale()).decimal;
    return key;
}

bool TNumberEdit::accepts(const QString &text, int selStart, int selLength, QChar typed) const {
    if (typed == u'-' && !acceptMinus_)
        return false;
    return Consiste::MaxNumber(text, integerDigits_, decimals_, typed, selStart, selLength, locale());
}

void TNumberEdit::handleKey(QKeyEvent *event, QChar key) {
    if (!key.isPrint() || isReadOnly()) {
        // Deleting a character is the operator correcting what the refusal told (a key that deletes nothing
        // corrects nothing); an emptied text holds nothing typed.
        const QString before = text();
        EditControl::handleKey(event, key);
        if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) && text() != before)
            keyRefused_ = false;
        keyRefused_ = keyRefused_ && !text().isEmpty();
        return;
    }
    event->accept();
    if (accepts(text(), SelStart(), SelLength(), key)) {
        if (SelLength() == text().size())
            keyRefused_ = false;
        insert(QString(key));
        return;
    }
    noteRefusedKey();
    refuse(QString(key));
}

// A key refused over a text wholly selected would have replaced it: the text left is the one the control had.
void TNumberEdit::noteRefusedKey() {
    keyRefused_ = keyRefused_ || (!text().isEmpty() && SelLength() != text().size());
}

// A cut, or the menu's delete, removes characters: a correction, as a deleting key that deletes one is.
void TNumberEdit::removeSelection() {
    const QString before = text();
    EditControl::removeSelection();
    if (text() != before)
        keyRefused_ = false;
}

void TNumberEdit::refusedByHooks(QChar typed) {
    noteRefusedKey();
    refuse(QString(typed));
}

// A key dropped without a word leaves another amount than the one typed ("1,234.56" would read 1,23).
void TNumberEdit::refuse(const QString &what) {
    // Told how to write an amount, the operator would not learn why the sign went.
    if (what == u"-" && !acceptMinus_) {
        tellRefused(QStringLiteral("“-” recusado: este valor não tem sinal, nunca é negativo."));
        return;
    }
    tellRefused(
        QStringLiteral("“%1” recusado: escreva o valor como 1.234,56 ou 1234,56, com até %2 algarismos "
                       "antes da vírgula e %3 depois.")
            .arg(what)
            .arg(integerDigits_)
            .arg(decimals_));
}

// The paste is typed character by character, quietly, so that the form's hooks judge each one against the
// text as it would stand; then the control goes back to what it held and, when every character passed and
// the whole is an amount, takes the paste (as the hooks left it) in one change.
void TNumberEdit::pasteText(const QString &pasted) {
    if (isReadOnly() || pasted.trimmed().isEmpty())
        return;
    QPointer<TNumberEdit> self(this);
    const QString before = text();
    const int start = SelStart();
    const int length = SelLength();
    QString taken;
    bool refused = false;
    for (QChar c : pasted.trimmed()) {
        refused = !runKeyPressHook(c) || self.isNull() || !accepts(text(), SelStart(), SelLength(), c);
        if (refused)
            break;
        const int at = SelStart();
        QString typed = text();
        setTextQuietly(typed.replace(at, SelLength(), c));
        SetSelStart(at + 1);
        taken += c;
    }
    if (self.isNull())
        return;
    refused = refused || !ReadTypedAmount(text(), AmountNotation::of(locale())).complete();
    setTextQuietly(before);
    SetSelStart(start);
    SetSelLength(length);
    if (refused) {
        refuse(pasted.trimmed());
        return;
    }
    // A whole amount pasted over the whole text replaces what a refused key left.
    if (length == before.size())
        keyRefused_ = false;
    insert(taken);
}

void TNumberEdit::focusInEvent(QFocusEvent *event) {
    EditControl::focusInEvent(event);
    if (!isReadOnly() && !editing_) {
        editing_ = true;
        keyRefused_ = false;
        refresh();
        selectAll();
    }
}

// Made read-only while the operator edits it, the control becomes a display at once; opened again while it
// has the focus, it is edited again.
void TNumberEdit::changeEvent(QEvent *event) {
    EditControl::changeEvent(event);
    if (event->type() != QEvent::ReadOnlyChange)
        return;
    if (isReadOnly() && editing_) {
        value_ = Value();
        editing_ = false;
        keyRefused_ = false;
        refresh();
    } else if (!isReadOnly() && !editing_ && hasFocus()) {
        editing_ = true;
        keyRefused_ = false;
        refresh();
    }
}

void TNumberEdit::focusOutEvent(QFocusEvent *event) {
    // A text that is no amount yet stays as typed when the focus goes (to a button clicked, a popup, another
    // window): taking the value the control had instead would show one amount and hand an action another.
    if (editing_ && !Unfinished()) {
        value_ = Value();
        editing_ = false;
        refresh();
    }
    EditControl::focusOutEvent(event);
}

} // namespace bco
