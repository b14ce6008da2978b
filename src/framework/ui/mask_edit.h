#pragma once

#include "framework/text/edit_mask.h"
#include "framework/ui/edit_control.h"

namespace bco {

// The masked edit of the forms (med*). With an edit mask ("mask;save-literals;blank", see EditMask) the
// edit text always holds one character per position: literals in place, the blank character where
// nothing was typed. Keys are applied by the mask's editing rules: typing overwrites, literals are
// skipped, letters take the case of their position, a key the position refuses is dropped; backspace and
// delete clear positions without shifting the rest; a paste is typed character by character and refused
// whole when any of them is. Without a mask the control is a plain edit limited to MaxLength characters.
//
// Text is the value as the forms read and write it: with save-literals off, the typed characters without
// the literals (">aaa;0; " showing "1  " reads "1"), blanks as spaces and trailing spaces dropped. Changing
// the mask keeps that value and shows it through the new mask, so a form can drop the mask of a tax
// number and go on editing its plain digits.
class TMaskEdit : public EditControl {
    Q_OBJECT
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)

public:
    explicit TMaskEdit(QWidget *parent = nullptr);

    QString EditMask() const { return mask_.definition(); }
    void SetEditMask(const QString &definition);
    bool HasMask() const { return !mask_.isEmpty(); }

    QString Text() const;
    void SetText(const QString &value);
    // The text as shown, literals and blanks included.
    QString EditText() const { return text(); }
    void Clear() { SetText(QString()); }
    // Nothing typed: only blanks (and literals).
    bool IsEmpty() const;

    // Characters a plain edit accepts; 0 means no limit. A mask sets its own length.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);

protected:
    void handleKey(QKeyEvent *event, QChar key) override;
    void pasteText(const QString &text) override;
    void removeSelection() override;
    void mousePressEvent(QMouseEvent *event) override;

    const bco::EditMask &mask() const { return mask_; }

private:
    void apply(const MaskEdit &edit);
    MaskEdit current() const;
    void keepShape();

    bco::EditMask mask_;
    int maxLength_ = 0;
};

} // namespace bco
