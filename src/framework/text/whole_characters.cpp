#include "framework/text/whole_characters.h"

#include <algorithm>

namespace bco {

QString leftWholeCharacters(const QString &text, qsizetype units) {
    if (text.size() <= units)
        return text;
    qsizetype end = std::max<qsizetype>(units, 0);
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}

} // namespace bco
