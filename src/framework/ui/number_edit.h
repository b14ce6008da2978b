#pragma once

#include "framework/ui/edit_control.h"

namespace bco {

// The number edit of the forms (ned*): a value with a fixed number of decimals, shown with the locale's
// separators (pt-BR: 1.234,56) and, when a number format is given, through it: "%n CR" shows
// "1.234,56 CR"; an empty format shows the plain number.
//
// While the operator edits it the control holds the plain number (no thousands separators, no format
// text: "1234,56"), which is the text a form's key-press handler passes to Consiste::MaxNumber; leaving it
// shows the value formatted again. Every key goes first to the form's hooks (a point already turned into
// the locale's decimal comma), then the control refuses a minus sign unless AcceptMinus, and any key that
// would give more than IntegerDigits integer or Decimals decimal digits (MaxNumber). A paste is refused
// whole unless every character of the number it holds passes the same checks.
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
    QChar translateKey(QChar key) const override;
    void handleKey(QKeyEvent *event, QChar key) override;
    void pasteText(const QString &text) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool accepts(QString text, int selStart, int selLength, const QString &typed) const;
    QString numberText(double value, bool withSeparators) const;
    QString displayText(double value) const;
    double parse(const QString &text) const;
    void refresh();

    double value_ = 0.0;
    int decimals_ = 2;
    int integerDigits_ = 13;
    bool thousands_ = true;
    bool acceptMinus_ = true;
    QString numberFormat_;
    bool editing_ = false;
};

} // namespace bco
