#include "framework/text/edit_mask.h"

#include <algorithm>

namespace bco {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

EditMask::EditMask(const QString &definition)
    : definition_(definition) {
    Case letterCase = Case::Keep;
    qsizetype i = 0;
    const qsizetype n = definition.size();
    for (; i < n; ++i) {
        const QChar c = definition[i];
        if (c == QLatin1Char(';'))
            break;
        auto add = [&](Accepts accepts, bool required, QChar literal = QChar()) {
            slots_.push_back({accepts, required, letterCase, literal});
        };
        switch (c.unicode()) {
        case '\\':
            if (i + 1 < n)
                add(Accepts::Literal, false, definition[++i]);
            break;
        case '>':
            if (i + 1 < n && definition[i + 1] == QLatin1Char('<')) {
                ++i;
                letterCase = Case::Keep;
            } else {
                letterCase = Case::Upper;
            }
            break;
        case '<':
            if (i + 1 < n && definition[i + 1] == QLatin1Char('>')) {
                ++i;
                letterCase = Case::Keep;
            } else {
                letterCase = Case::Lower;
            }
            break;
        case '!':
            break;
        case '0':
            add(Accepts::Digit, true);
            break;
        case '9':
            add(Accepts::Digit, false);
            break;
        case '#':
            add(Accepts::DigitOrSign, false);
            break;
        case 'L':
            add(Accepts::Letter, true);
            break;
        case 'l':
            add(Accepts::Letter, false);
            break;
        case 'A':
            add(Accepts::LetterOrDigit, true);
            break;
        case 'a':
            add(Accepts::LetterOrDigit, false);
            break;
        case 'C':
            add(Accepts::Any, true);
            break;
        case 'c':
            add(Accepts::Any, false);
            break;
        default:
            add(Accepts::Literal, false, c);
            break;
        }
    }
    if (i >= n)
        return;
    const QString rest = definition.mid(i + 1);
    const qsizetype second = rest.indexOf(QLatin1Char(';'));
    saveLiterals_ = rest.left(second < 0 ? rest.size() : second) != QLatin1String("0");
    if (second >= 0 && second + 1 < rest.size())
        blank_ = rest[second + 1];
}

std::optional<QChar> EditMask::accept(const Slot &slot, QChar c) const {
    if (isBlankChar(c)) {
        if (slot.required)
            return std::nullopt;
        return blank_;
    }
    bool fits = false;
    switch (slot.accepts) {
    case Accepts::Literal:
        fits = false;
        break;
    case Accepts::Digit:
        fits = isAsciiDigit(c);
        break;
    case Accepts::DigitOrSign:
        fits = isAsciiDigit(c) || c == QLatin1Char('+') || c == QLatin1Char('-');
        break;
    case Accepts::Letter:
        fits = c.isLetter();
        break;
    case Accepts::LetterOrDigit:
        fits = c.isLetter() || isAsciiDigit(c);
        break;
    case Accepts::Any:
        fits = c.isPrint();
        break;
    }
    if (!fits)
        return std::nullopt;
    switch (slot.letterCase) {
    case Case::Upper:
        return c.toUpper();
    case Case::Lower:
        return c.toLower();
    case Case::Keep:
        break;
    }
    return c;
}

int EditMask::nextEditable(int from) const {
    for (int p = std::max(from, 0); p < length(); ++p) {
        if (!isLiteral(p))
            return p;
    }
    return -1;
}

int EditMask::previousEditable(int before) const {
    for (int p = std::min(before, length()) - 1; p >= 0; --p) {
        if (!isLiteral(p))
            return p;
    }
    return -1;
}

bool EditMask::fits(const QString &stored) const {
    if (isEmpty())
        return true;
    if (saveLiterals_) {
        if (stored.size() > length())
            return false;
        for (int p = 0; p < stored.size(); ++p) {
            if (isLiteral(p) && stored[p] != slots_[p].literal)
                return false;
        }
        return true;
    }
    const auto editable = std::count_if(slots_.begin(), slots_.end(),
                                        [](const Slot &slot) { return slot.accepts != Accepts::Literal; });
    return stored.size() <= editable;
}

QString EditMask::editText(const QString &stored) const {
    if (isEmpty())
        return stored;
    QString text;
    text.reserve(length());
    qsizetype next = 0;
    for (int p = 0; p < length(); ++p) {
        const Slot &slot = slots_[p];
        if (slot.accepts == Accepts::Literal) {
            text += slot.literal;
            if (saveLiterals_)
                ++next;
            continue;
        }
        const QChar c = next < stored.size() ? stored[next++] : QLatin1Char(' ');
        if (isBlankChar(c))
            text += blank_;
        else if (slot.letterCase == Case::Upper)
            text += c.toUpper();
        else if (slot.letterCase == Case::Lower)
            text += c.toLower();
        else
            text += c;
    }
    return text;
}

QString EditMask::storedValue(const QString &editText) const {
    if (isEmpty())
        return editText;
    const QString text = normalizedText(editText);
    QString stored;
    for (int p = 0; p < length(); ++p) {
        if (isLiteral(p) && !saveLiterals_)
            continue;
        stored += !isLiteral(p) && isBlankChar(text[p]) ? QLatin1Char(' ') : text[p];
    }
    while (stored.endsWith(QLatin1Char(' ')))
        stored.chop(1);
    return stored;
}

bool EditMask::isBlank(const QString &editText) const {
    if (isEmpty())
        return editText.trimmed().isEmpty();
    const QString text = normalizedText(editText);
    for (int p = 0; p < length(); ++p) {
        if (!isLiteral(p) && !isBlankChar(text[p]))
            return false;
    }
    return true;
}

// The widget hands back whatever it holds; a text of the wrong length or with a literal overwritten is
// brought back to the mask's shape so that no position is ever shifted by a key.
QString EditMask::normalizedText(const QString &text) const {
    QString shaped = text.left(length());
    while (shaped.size() < length())
        shaped += blank_;
    for (int p = 0; p < length(); ++p) {
        if (isLiteral(p))
            shaped[p] = slots_[p].literal;
    }
    return shaped;
}

MaskEdit EditMask::normalized(const MaskEdit &edit) const {
    MaskEdit shaped;
    shaped.text = isEmpty() ? edit.text : normalizedText(edit.text);
    const int size = static_cast<int>(shaped.text.size());
    shaped.selStart = std::clamp(edit.selStart, 0, size);
    shaped.selLength = std::clamp(edit.selLength, 0, size - shaped.selStart);
    return shaped;
}

void EditMask::clearSelection(MaskEdit &edit) const {
    if (isEmpty()) {
        edit.text.remove(edit.selStart, edit.selLength);
    } else {
        for (int p = edit.selStart; p < edit.selStart + edit.selLength; ++p) {
            if (!isLiteral(p))
                edit.text[p] = blank_;
        }
    }
    edit.selLength = 0;
}

std::optional<MaskEdit> EditMask::type(const MaskEdit &edit, QChar key) const {
    MaskEdit result = normalized(edit);
    const bool hadSelection = result.selLength > 0;
    clearSelection(result);
    if (isEmpty()) {
        result.text.insert(result.selStart, key);
        ++result.selStart;
        return result;
    }
    const int caret = result.selStart;
    if (!hadSelection && caret < length() && isLiteral(caret) && key == slots_[caret].literal) {
        const int next = nextEditable(caret + 1);
        result.selStart = next < 0 ? length() : next;
        return result;
    }
    if (!hadSelection && caret > 0 && isLiteral(caret - 1) && key == slots_[caret - 1].literal)
        return result;
    const int position = nextEditable(caret);
    if (position < 0)
        return std::nullopt;
    const std::optional<QChar> accepted = accept(slots_[position], key);
    if (!accepted)
        return std::nullopt;
    result.text[position] = *accepted;
    const int next = nextEditable(position + 1);
    result.selStart = next < 0 ? length() : next;
    return result;
}

MaskEdit EditMask::backspace(const MaskEdit &edit) const {
    MaskEdit result = normalized(edit);
    if (result.selLength > 0) {
        clearSelection(result);
        return result;
    }
    if (isEmpty()) {
        if (result.selStart > 0)
            result.text.remove(--result.selStart, 1);
        return result;
    }
    const int position = previousEditable(result.selStart);
    if (position < 0)
        return result;
    result.text[position] = blank_;
    result.selStart = position;
    return result;
}

MaskEdit EditMask::deleteForward(const MaskEdit &edit) const {
    MaskEdit result = normalized(edit);
    if (result.selLength > 0) {
        clearSelection(result);
        return result;
    }
    if (isEmpty()) {
        result.text.remove(result.selStart, 1);
        return result;
    }
    const int position = nextEditable(result.selStart);
    if (position < 0)
        return result;
    result.text[position] = blank_;
    result.selStart = position;
    return result;
}

std::optional<MaskEdit> EditMask::paste(const MaskEdit &edit, const QString &text) const {
    MaskEdit result = normalized(edit);
    clearSelection(result);
    for (const QChar c : text.trimmed()) {
        std::optional<MaskEdit> typed = type(result, c);
        if (!typed)
            return std::nullopt;
        result = std::move(*typed);
    }
    return result;
}

QString FormatMaskText(const QString &maskDefinition, const QString &stored) {
    if (stored.trimmed().isEmpty())
        return QString();
    const EditMask mask(maskDefinition);
    if (!mask.fits(stored))
        return stored;
    return mask.editText(stored);
}

QString FormatThroughPicture(const QString &picture, const QString &stored) {
    const QString trimmed = picture.trimmed();
    return trimmed.isEmpty() ? stored : FormatMaskText(trimmed + QStringLiteral(";0; "), stored);
}

} // namespace bco
