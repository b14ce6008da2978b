#pragma once

#include <optional>
#include <vector>

#include <QChar>
#include <QString>

namespace bco {

// The text of a masked edit with its caret and selection. Positions count characters of the edit text
// from 0; with no selection the caret is at `selStart`.
struct MaskEdit {
    QString text;
    int selStart = 0;
    int selLength = 0;

    friend bool operator==(const MaskEdit &, const MaskEdit &) = default;
};

// An edit mask as the forms, the database pictures and the tax-number routines write it:
// "mask;save-literals;blank", e.g. "9999-9;0; " (an agency: four digits, a hyphen, one digit; the hyphen
// is not stored; blanks shown as spaces).
//
// Mask characters, one position each:
//   0 digit, required          9 digit, optional          # digit or sign (+ -), optional
//   L letter, required         l letter, optional
//   A letter or digit, required  a letter or digit, optional
//   C any character, required  c any character, optional
//   \x  the character x as a literal        any other character: a literal
// Case switches take no position: > upper-cases what follows, < lower-cases it, <> ends either.
// A '!' is accepted and ignored. The second field is "0" when the stored value leaves the literals out,
// anything else when it keeps them (the default); the third field's first character stands for an empty
// position in the edit text (default '_').
//
// The edit text always holds one character per position: literals in place, every other position a
// character or the blank. An empty definition is no mask: text passes through every routine as typed.
//
// Editing rules (the masked-edit widget applies them to each key; each answers the new text, caret and
// selection, or nothing when the key is refused and must leave the edit untouched):
// - Typing overwrites. A selection is first cleared (its non-literal positions become blank) and the caret
//   goes to its start. The character goes to the first non-literal position at or after the caret,
//   converted to the position's case; it is refused when it does not fit that position or there is none.
//   The caret then moves to the next non-literal position (or the end), stepping over literals.
//   Typing the literal under the caret, or the literal just stepped over, only moves on (a value typed
//   with its punctuation, "1234-5", enters the same as "12345").
//   A blank (space or the mask's blank) is accepted in an optional position and empties it.
// - Backspace clears a selection, or else the first non-literal position before the caret, and puts the
//   caret there; at the start it does nothing. Delete clears a selection, or else the first non-literal
//   position at or after the caret. Neither moves the following characters: literals stay in place.
// - Paste is typing each pasted character in turn (outer white space dropped); if any character is
//   refused, the whole paste is refused.
// - The text is complete when every required position holds a character.
class EditMask {
public:
    EditMask() = default;
    explicit EditMask(const QString &definition);

    bool isEmpty() const { return slots_.empty(); }
    const QString &definition() const { return definition_; }
    int length() const { return static_cast<int>(slots_.size()); }
    bool savesLiterals() const { return saveLiterals_; }
    QChar blank() const { return blank_; }

    // The edit text that shows a stored value: stored characters fill the positions in order (with
    // save-literals off, only the non-literal ones), converted to their case; missing ones are blank.
    QString editText(const QString &stored) const;
    // The stored value of an edit text: blanks become spaces, trailing spaces go.
    QString storedValue(const QString &editText) const;
    QString blankText() const { return editText(QString()); }

    // A stored value fits when it has no more characters than the mask has positions for it and, when
    // literals are stored, holds the mask's literals in their places.
    bool fits(const QString &stored) const;
    bool isBlank(const QString &editText) const;

    std::optional<MaskEdit> type(const MaskEdit &edit, QChar key) const;
    MaskEdit backspace(const MaskEdit &edit) const;
    MaskEdit deleteForward(const MaskEdit &edit) const;
    std::optional<MaskEdit> paste(const MaskEdit &edit, const QString &text) const;

private:
    enum class Accepts { Literal, Digit, DigitOrSign, Letter, LetterOrDigit, Any };
    enum class Case { Keep, Upper, Lower };
    struct Slot {
        Accepts accepts;
        bool required;
        Case letterCase;
        QChar literal;
    };

    bool isLiteral(int position) const { return slots_[position].accepts == Accepts::Literal; }
    bool isBlankChar(QChar c) const { return c == blank_ || c == QLatin1Char(' '); }
    std::optional<QChar> accept(const Slot &slot, QChar c) const;
    int nextEditable(int from) const;
    int previousEditable(int before) const;
    MaskEdit normalized(const MaskEdit &edit) const;
    QString normalizedText(const QString &text) const;
    void clearSelection(MaskEdit &edit) const;

    QString definition_;
    std::vector<Slot> slots_;
    bool saveLiterals_ = true;
    QChar blank_ = QLatin1Char('_');
};

// A stored value shown through a mask definition as the operator sees it, literals included:
// FormatMaskText("9999-9;0; ", "12345") == "1234-5". An empty (or all-blank) value shows nothing, and a
// value that does not fit the mask is shown as stored rather than cut.
QString FormatMaskText(const QString &maskDefinition, const QString &stored);

// A stored code shown through a picture as the registers keep it (a bank's "99999-9" for its agencies):
// the picture as a mask whose literals are not stored; a blank picture shows the code as stored.
QString FormatThroughPicture(const QString &picture, const QString &stored);

} // namespace bco
