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

QString trimBlanks(const QString &text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == u' ')
        ++start;
    while (end > start && text.at(end - 1) == u' ')
        --end;
    return text.mid(start, end - start);
}

namespace {

// The embeddings, overrides, isolates and marks of the bidirectional algorithm: U+202E shows the text after
// it reversed, so that a payee or a description would read as another on the screen and on paper.
bool turnsTheLine(QChar c) {
    const char16_t code = c.unicode();
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) || code == 0x200E ||
           code == 0x200F || code == 0x061C;
}

bool breaksTheLine(QChar c) {
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph || turnsTheLine(c);
}

} // namespace

bool isOneLine(QStringView text) {
    return std::none_of(text.begin(), text.end(), breaksTheLine);
}

QString asOneLine(QString text) {
    for (QChar &c : text) {
        if (breaksTheLine(c))
            c = u' ';
    }
    return text;
}

QString asOneLineField(QString text) {
    // A break of two characters is one break, and one blank.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const auto isBreak = [](QChar c) {
        return c == u'\n' || c == u'\r';
    };
    while (!text.isEmpty() && isBreak(text.back()))
        text.chop(1);
    qsizetype leading = 0;
    while (leading < text.size() && isBreak(text[leading]))
        ++leading;
    return asOneLine(text.mid(leading));
}

} // namespace bco
