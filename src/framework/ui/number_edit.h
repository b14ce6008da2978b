#pragma once

#include "framework/ui/edit_control.h"
#include "framework/text/typed_amount.h"

namespace bco {

// The number edit of the forms (ned*): a value with a fixed number of decimals, shown with the locale's
// separators (pt-BR: 1.234,56) and, when a number format is given, through it: "%n CR" shows
// "1.234,56 CR"; an empty format shows the plain number.
//
// While the operator edits it the control holds the number as typed, in the locale's notation
// (ReadTypedAmount): entering shows the plain number ("1234,56"), and the operator may type the thousands
// separators too ("1.234,56"); the keypad's decimal key types the decimal separator whatever character the
// keyboard layout gives it. Every key goes first to the form's hooks, then the control refuses a minus sign
// unless AcceptMinus, and any key that would give a text that is no amount in the making, or more than
// IntegerDigits integer or Decimals decimal digits (MaxNumber, which counts digits only), with a beep and a
// tip under the control that says how to write the amount. A paste is taken
// whole or not at all: each of its characters must pass what a typed one passes, hooks included, and the
// text it gives must be a whole amount ("1.234,56" and "1234,56" are; "1,234.56", "12.50" and "R$ 5" are
// not). A text left unfinished ("12.5", a thousands group short of its digits) is not read as anything: the
// control keeps the value it had, and the text stays as typed, when the operator leaves too, until it is
// finished or the value is set; an action that reads the control refuses it (Unfinished). So is a text
// typed past a refused key: the keys around it may make another whole amount than the one meant ("1.23,45"
// keeps "1.234", "12,345" keeps "12,34"), which is not taken until the operator deletes a character, replaces
// the whole text or leaves it empty.
//
// The value is kept rounded to Decimals places (Consiste::RoundDec), so what the operator sees is what
// the form reads. Clearing sets 0.
class TNumberEdit : public EditControl {
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(int Decimals READ Decimals WRITE SetDecimals)
    Q_PROPERTY(int IntegerDigits READ IntegerDigits WRITE SetIntegerDigits)
    Q_PROPERTY(bool Thousands READ Thousands WRITE SetThousands)
    Q_PROPERTY(QString NumberFormat READ NumberFormat WRITE SetNumberFormat)
    Q_PROPERTY(bool AcceptMinus READ AcceptMinus WRITE SetAcceptMinus)

public:
    explicit TNumberEdit(QWidget *parent = nullptr);

    double Value() const;
    // Whether the control holds a typed text that is no amount yet ("2.5", a thousands group short of its
    // digits), or one typed past a refused key, left or not: Value() is then still the value the control
    // had, which an action must not take for what the field shows.
    bool Unfinished() const;
    // For an action about to read the control: when it is Unfinished, puts the focus on it, tells the
    // operator how to write the amount and raises Consiste::EAbort.
    void RefuseUnfinished();
    void SetValue(double value);
    void Clear() { SetValue(0.0); }
    // The text as shown: formatted, or the plain number while the operator edits it.
    QString Text() const { return text(); }

    int Decimals() const { return decimals_; }
    void SetDecimals(int decimals);
    int IntegerDigits() const { return integerDigits_; }
    void SetIntegerDigits(int digits);
    bool Thousands() const { return thousands_; }
    void SetThousands(bool thousands);
    // "%n" stands for the number; empty shows the number alone.
    QString NumberFormat() const { return numberFormat_; }
    void SetNumberFormat(const QString &format);
    bool AcceptMinus() const { return acceptMinus_; }
    void SetAcceptMinus(bool accept) { acceptMinus_ = accept; }

protected:
    QChar translateKey(const QKeyEvent &event, QChar key) const override;
    void handleKey(QKeyEvent *event, QChar key) override;
    void pasteText(const QString &text) override;
    void refusedByHooks(QChar typed) override;
    void removeSelection() override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool accepts(const QString &text, int selStart, int selLength, QChar typed) const;
    // Whether a typed amount is one the control holds: complete, within its digits.
    bool fits(const TypedAmount &typed) const;
    QString numberText(double value, bool withSeparators) const;
    QString displayText(double value) const;
    void refresh();
    // Tells under the control how to write the amount, naming the key or the text pasted.
    void refuse(const QString &what);
    void noteRefusedKey();

    double value_ = 0.0;
    int decimals_ = 2;
    int integerDigits_ = 13;
    bool thousands_ = true;
    bool acceptMinus_ = true;
    QString numberFormat_;
    bool editing_ = false;
    // A key was refused since the text was last emptied, replaced whole or corrected: the text may not be
    // the amount the operator typed.
    bool keyRefused_ = false;
};

} // namespace bco
