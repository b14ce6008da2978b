#pragma once

class QLineEdit;

namespace bco {

// Keeps a plain line edit's text on one line: QLineEdit keeps a pasted or dropped line break or tab, shows it
// as a blank and hands it on, where the server refuses it and lists and reports would break a row. What the
// operator brings in is mended as it comes, the cursor staying where it was; a text the program sets (a
// stored description shown again) is left as it is, so that showing it changes nothing.
void keepOnOneLine(QLineEdit &edit);

} // namespace bco
