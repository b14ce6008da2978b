#pragma once

#include <QString>

namespace bco {

// The text cut to at most `width` UTF-16 units (a database column's width, as Qt counts a string's size),
// never between the two units of a character outside the basic plane (an emoji): half a character would be
// stored as a replacement character, or refused by a database that checks its encoding.
QString leftWholeCharacters(const QString &text, qsizetype width);

// The text without the blanks (U+0020 alone) at either end, as SQL's TRIM takes them off: a text compared
// with a column's TRIM must lose the same characters, a tab or a no-break space being kept by both.
QString trimBlanks(const QString &text);

// Whether the text stays on one line as printed or shown, in the order it is written: no line break, tab or
// other control character, no line or paragraph separator, no control of the text's direction (U+202A to
// U+202E, U+2066 to U+2069, the marks U+200E, U+200F and U+061C).
bool isOneLine(QStringView text);
// The text with each of those replaced by a blank, for a line of output that must stay one line.
QString asOneLine(QString text);
// A text brought into a single-line field (pasted, read from a spreadsheet's cell) as the field must hold it:
// the line breaks at either end, which a cell copied from a spreadsheet carries, go; any other line break,
// tab or control character becomes a blank.
QString asOneLineField(QString text);

} // namespace bco
