#pragma once

#include <QString>

class QLineEdit;

namespace bco {

// A text brought into a single-line field (pasted, dropped) as the field must hold it: a line break at its
// end, which a cell copied from a spreadsheet carries, goes; any other line break, tab or control character
// becomes a blank.
QString asOneLineField(QString text);

// Keeps a plain line edit's text on one line: QLineEdit keeps a pasted or dropped line break or tab, shows it
// as a blank and hands it on, where the server refuses it and lists and reports would break a row. What the
// operator brings in is mended as it comes, the cursor staying where it was; a text the program sets (a
// stored description shown again) is left as it is, so that showing it changes nothing.
void keepOnOneLine(QLineEdit &edit);

} // namespace bco
