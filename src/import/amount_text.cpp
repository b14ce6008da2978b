#include "import/amount_text.h"

#include <QList>
#include <QString>

namespace bco {

namespace {

bool allDigits(QStringView text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// The integer part with its thousands separators taken out; empty when the groups are not of three digits.
QString withoutThousands(QStringView integer, QChar separator) {
    const auto groups = integer.split(separator);
    QString digits;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const QStringView group = groups[i];
        const bool fits = i == 0 ? group.size() >= 1 && group.size() <= 3 : group.size() == 3;
        if (!fits || !allDigits(group))
            return {};
        digits += group;
    }
    return digits;
}

} // namespace

std::optional<double> amountFromText(QStringView text) {
    QString compact;
    for (const QChar c : text)
        if (!c.isSpace())
            compact += c;
    QStringView rest(compact);
    bool negative = false;
    if (rest.startsWith(u'-') || rest.startsWith(u'+')) {
        negative = rest.front() == u'-';
        rest = rest.mid(1);
    }
    if (rest.startsWith(u"R$", Qt::CaseInsensitive))
        rest = rest.mid(2);

    const qsizetype lastPoint = rest.lastIndexOf(u'.');
    const qsizetype lastComma = rest.lastIndexOf(u',');
    QChar decimal, thousands;
    if (lastPoint >= 0 && lastComma >= 0) {
        decimal = lastPoint > lastComma ? u'.' : u',';
        thousands = lastPoint > lastComma ? u',' : u'.';
    } else if (lastComma >= 0) {
        decimal = rest.count(u',') == 1 ? u',' : QChar();
        thousands = u',';
    } else if (lastPoint >= 0) {
        decimal = rest.count(u'.') == 1 ? u'.' : QChar();
        thousands = u'.';
    }
    QStringView integer = rest;
    QStringView fraction;
    if (!decimal.isNull()) {
        const qsizetype at = rest.lastIndexOf(decimal);
        integer = rest.left(at);
        fraction = rest.mid(at + 1);
        if (!fraction.isEmpty() && !allDigits(fraction))
            return std::nullopt;
    }
    QString digits;
    if (integer.isEmpty() && !fraction.isEmpty())
        digits = QStringLiteral("0");
    else if (!thousands.isNull() && integer.contains(thousands))
        digits = withoutThousands(integer, thousands);
    else if (allDigits(integer))
        digits = integer.toString();
    if (digits.isEmpty())
        return std::nullopt;
    if (!fraction.isEmpty())
        digits += u'.' + fraction.toString();
    bool ok = false;
    const double value = digits.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace bco
