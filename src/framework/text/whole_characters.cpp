#include "framework/text/whole_characters.h"

#include <algorithm>

namespace bco {

QString leftWholeCharacters(const QString &text, qsizetype width) {
    if (text.size() <= width)
        return text;
    qsizetype end = std::max<qsizetype>(width, 0);
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}

} // namespace bco
