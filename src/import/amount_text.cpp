#include "import/amount_text.h"

#include <algorithm>

#include <QList>
#include <QLocale>

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

AmountReading readAmountText(QStringView text) {
    AmountReading reading;
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
            return reading;
    }
    QString digits;
    if (integer.isEmpty() && !fraction.isEmpty())
        digits = QStringLiteral("0");
    else if (!thousands.isNull() && integer.contains(thousands))
        digits = withoutThousands(integer, thousands);
    else if (allDigits(integer))
        digits = integer.toString();
    if (digits.isEmpty())
        return reading;
    const bool lone = !decimal.isNull() && (decimal == u'.' ? lastComma : lastPoint) < 0;
    const bool leadsAGroup = !integer.isEmpty() && integer.size() <= 3 && !integer.startsWith(u'0');
    if (lone && fraction.size() == 3 && leadsAGroup) {
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        const QString sign = negative ? QStringLiteral("-") : QString();
        const qlonglong whole = (digits + fraction.toString()).toLongLong();
        reading.outcome = AmountReading::Outcome::Ambiguous;
        reading.asThousands = sign + brazil.toString(whole) + QStringLiteral(",00");
        // In cents, as the entry will hold it (half away from zero): three decimals written back would be as
        // ambiguous again.
        const qlonglong cents = digits.toLongLong() * 100 + fraction.left(2).toInt() + (fraction[2] >= u'5');
        reading.asDecimals = sign + brazil.toString(cents / 100) + u',' +
                             QStringLiteral("%1").arg(cents % 100, 2, 10, QLatin1Char('0'));
        return reading;
    }
    if (fraction.size() > 2 &&
        !std::all_of(fraction.begin() + 2, fraction.end(), [](QChar c) { return c == u'0'; })) {
        reading.outcome = AmountReading::Outcome::FractionOfACent;
        return reading;
    }
    if (!fraction.isEmpty())
        digits += u'.' + fraction.toString();
    bool ok = false;
    const double value = digits.toDouble(&ok);
    if (!ok)
        return reading;
    reading.outcome = AmountReading::Outcome::Amount;
    reading.value = negative ? -value : value;
    return reading;
}

} // namespace bco
