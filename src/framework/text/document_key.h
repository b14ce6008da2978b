#pragma once

#include <QString>

namespace bco {

// A bank document as repetitions compare it: without its outer white space and the zeros that lead it (a
// document of zeros alone keeps one). The entry form stores a document brought to its width with zeros, a
// workbook's import as the cell wrote it, and either may repeat the other.
inline QString documentKey(const QString &document) {
    const QString text = document.trimmed();
    qsizetype zeros = 0;
    while (zeros + 1 < text.size() && text[zeros] == u'0')
        ++zeros;
    return text.mid(zeros);
}

} // namespace bco
