#pragma once

#include <QString>

namespace bco {

// The text cut to at most `width` UTF-16 units (a database column's width, as Qt counts a string's size),
// never between the two units of a character outside the basic plane (an emoji): half a character would be
// stored as a replacement character, or refused by a database that checks its encoding.
QString leftWholeCharacters(const QString &text, qsizetype width);

} // namespace bco
