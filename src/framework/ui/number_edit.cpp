#include "framework/ui/number_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QFocusEvent>
#include <QKeyEvent>

#include "framework/checks/consiste.h"

namespace bco {

TNumberEdit::TNumberEdit(QWidget *parent)
    : EditControl(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    refresh();
}

double TNumberEdit::Value() const {
    return editing_ && !isReadOnly() ? Consiste::RoundDec(parse(text()), decimals_) : value_;
}

void TNumberEdit::SetValue(double value) {
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

// The plain number the operator typed: digits, the locale's decimal separator and a leading minus; group
// separators are ignored. Anything that is not a number reads as 0.
double TNumberEdit::parse(const QString &text) const {
    const QLocale numbers = locale();
    QString plain;
    for (const QChar c : text.trimmed()) {
        if (c.isDigit() || c == QLatin1Char('-'))
            plain += c;
        else if (c == numbers.decimalPoint())
            plain += QLatin1Char('.');
    }
    if (plain.isEmpty())
        return 0.0;
    const QByteArray latin = plain.toLatin1();
    char *end = nullptr;
    const double value = std::strtod(latin.constData(), &end);
    if (end != latin.constData() + latin.size() || !std::isfinite(value))
        return 0.0;
    return value;
}

void TNumberEdit::refresh() {
    setTextQuietly(editing_ ? numberText(value_, false) : displayText(value_));
}

QChar TNumberEdit::translateKey(QChar key) const {
    const QString decimalPoint = locale().decimalPoint();
    if (key == QLatin1Char('.') && decimalPoint.size() == 1 && decimalPoint[0] != QLatin1Char('.'))
        return decimalPoint[0];
    return key;
}

bool TNumberEdit::accepts(QString text, int selStart, int selLength, const QString &typed) const {
    for (const QChar c : typed) {
        if (c == QLatin1Char('-') && !acceptMinus_)
            return false;
        if (!Consiste::MaxNumber(text, integerDigits_, decimals_, c, selStart, selLength, locale()))
            return false;
        text.replace(selStart, selLength, c);
        ++selStart;
        selLength = 0;
    }
    return true;
}

void TNumberEdit::handleKey(QKeyEvent *event, QChar key) {
    if (!key.isPrint() || isReadOnly()) {
        EditControl::handleKey(event, key);
        return;
    }
    event->accept();
    if (accepts(text(), SelStart(), SelLength(), QString(key)))
        insert(QString(key));
}

void TNumberEdit::pasteText(const QString &pasted) {
    if (isReadOnly())
        return;
    const QLocale numbers = locale();
    bool ok = false;
    double value = numbers.toDouble(pasted.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toDouble(pasted.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return;
    QLocale plain = numbers;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    QString typed = plain.toString(value, 'f', decimals_);
    // Trailing zeros of the decimals are not the operator's digits; they must not push the paste over
    // the limits.
    const QString decimalPoint = numbers.decimalPoint();
    if (typed.contains(decimalPoint)) {
        while (typed.endsWith(QLatin1Char('0')))
            typed.chop(1);
        if (typed.endsWith(decimalPoint))
            typed.chop(decimalPoint.size());
    }
    if (accepts(text(), SelStart(), SelLength(), typed))
        insert(typed);
}

void TNumberEdit::focusInEvent(QFocusEvent *event) {
    EditControl::focusInEvent(event);
    if (!isReadOnly() && !editing_) {
        editing_ = true;
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
        refresh();
    } else if (!isReadOnly() && !editing_ && hasFocus()) {
        editing_ = true;
        refresh();
    }
}

void TNumberEdit::focusOutEvent(QFocusEvent *event) {
    if (editing_) {
        value_ = Value();
        editing_ = false;
        refresh();
    }
    EditControl::focusOutEvent(event);
}

} // namespace bco
