#include "framework/text/typed_amount.h"

#include <QString>

namespace bco {

AmountNotation AmountNotation::of(const QLocale &locale) {
    AmountNotation notation;
    const QString decimal = locale.decimalPoint();
    notation.decimal = decimal.size() == 1 ? decimal.front() : QLatin1Char('.');
    const QString group = locale.groupSeparator();
    if (group.size() == 1 && group.front() != notation.decimal)
        notation.group = group.front();
    return notation;
}

TypedAmount ReadTypedAmount(QStringView text, const AmountNotation &notation) {
    TypedAmount read;
    qsizetype at = 0;
    if (text.startsWith(u'-')) {
        read.negative = true;
        at = 1;
    }
    QString integer, decimals;
    bool grouped = false;
    bool inDecimals = false;
    int groupDigits = 0;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c >= u'0' && c <= u'9') {
            if (inDecimals) {
                decimals += c;
                continue;
            }
            integer += c;
            if (++groupDigits > 3 && grouped)
                return read;
        } else if (!notation.group.isNull() && c == notation.group) {
            // A group ends here: the first of one to three digits not led by a zero, the others of three.
            const bool fits =
                grouped ? groupDigits == 3 : groupDigits >= 1 && groupDigits <= 3 && integer.front() != u'0';
            if (inDecimals || !fits)
                return read;
            grouped = true;
            groupDigits = 0;
        } else if (c == notation.decimal && !inDecimals && (!grouped || groupDigits == 3)) {
            inDecimals = true;
        } else {
            return read;
        }
    }
    read.integerDigits = static_cast<int>(integer.size());
    read.decimalDigits = static_cast<int>(decimals.size());
    if (grouped && !inDecimals && groupDigits != 3) {
        read.state = AmountTextState::Partial;
        return read;
    }
    read.state = AmountTextState::Complete;
    const QString number = (integer.isEmpty() ? QStringLiteral("0") : integer) + u'.' +
                           (decimals.isEmpty() ? QStringLiteral("0") : decimals);
    const double magnitude = number.toDouble();
    read.value = read.negative && magnitude != 0.0 ? -magnitude : magnitude;
    return read;
}

} // namespace bco
