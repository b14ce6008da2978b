#include "framework/data/display_format.h"

#include <cmath>
#include <vector>

#include <QList>

namespace bco {

namespace {

struct Section {
    QString prefix;
    QString suffix;
    int minIntegerDigits = 0;
    int decimals = 0;
    int minDecimals = 0;
    bool thousands = false;
};

bool isPatternChar(QChar c) {
    return c == u'0' || c == u'#' || c == u'.' || c == u',';
}

QList<QStringView> splitSections(QStringView format) {
    QList<QStringView> sections;
    QChar quote;
    qsizetype start = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            sections << format.mid(start, i - start);
            start = i + 1;
        }
    }
    sections << format.mid(start);
    return sections;
}

Section parseSection(QStringView text) {
    Section section;
    bool inDigits = false;
    bool seenDigits = false;
    bool afterPoint = false;
    int placeholdersAfterPoint = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = text.indexOf(c, i + 1);
            const QStringView literal = text.mid(i + 1, end < 0 ? -1 : end - i - 1);
            (seenDigits ? section.suffix : section.prefix) += literal;
            i = end < 0 ? text.size() : end;
            continue;
        }
        if (isPatternChar(c) && !(seenDigits && !inDigits)) {
            inDigits = true;
            seenDigits = true;
            if (c == u'.') {
                afterPoint = true;
            } else if (c == u',') {
                if (!afterPoint)
                    section.thousands = true;
            } else if (afterPoint) {
                ++placeholdersAfterPoint;
                if (c == u'0')
                    section.minDecimals = placeholdersAfterPoint;
            } else if (c == u'0') {
                ++section.minIntegerDigits;
            }
            continue;
        }
        // Text between the digits would split the number; it is shown after it instead.
        inDigits = false;
        (seenDigits ? section.suffix : section.prefix) += c;
    }
    section.decimals = placeholdersAfterPoint;
    return section;
}

// The digits of a non-negative value rounded half away from zero to `decimals` places, taken from its 15
// significant decimal digits: the integer digits without leading zeros, and exactly `decimals` fraction
// digits.
void roundedDigits(double value, int decimals, QString &integer, QString &fraction) {
    const QString scientific = QString::number(value, 'e', 14);
    const qsizetype e = scientific.indexOf(u'e');
    const int exponent = scientific.mid(e + 1).toInt();
    std::vector<char> digits;
    for (const QChar c : QStringView(scientific).left(e))
        if (c.isDigit())
            digits.push_back(static_cast<char>(c.unicode() - u'0'));
    int point = exponent + 1;
    if (point <= 0) {
        digits.insert(digits.begin(), static_cast<size_t>(-point), 0);
        point = 0;
    }
    const size_t keep = static_cast<size_t>(point + decimals);
    if (digits.size() > keep) {
        const bool up = digits[keep] >= 5;
        digits.resize(keep);
        for (size_t i = keep; up && i-- > 0;) {
            if (++digits[i] < 10)
                break;
            digits[i] = 0;
            if (i == 0) {
                digits.insert(digits.begin(), 1);
                ++point;
            }
        }
        if (up && keep == 0) {
            digits.insert(digits.begin(), 1);
            ++point;
        }
    }
    digits.resize(static_cast<size_t>(point + decimals), 0);
    integer.clear();
    fraction.clear();
    for (int i = 0; i < point; ++i)
        if (!integer.isEmpty() || digits[static_cast<size_t>(i)] != 0)
            integer += QChar(u'0' + digits[static_cast<size_t>(i)]);
    for (size_t i = static_cast<size_t>(point); i < digits.size(); ++i)
        fraction += QChar(u'0' + digits[i]);
}

bool allZero(const QString &integer, const QString &fraction) {
    return integer.isEmpty() && fraction.count(u'0') == fraction.size();
}

QString formatSection(const Section &section, const QString &integerDigits, const QString &fractionDigits,
                      bool negative, const QLocale &locale) {
    QString integer = integerDigits;
    if (integer.size() < section.minIntegerDigits)
        integer.prepend(QString(section.minIntegerDigits - integer.size(), u'0'));
    if (section.thousands) {
        const QString separator = locale.groupSeparator();
        for (qsizetype at = integer.size() - 3; at > 0; at -= 3)
            integer.insert(at, separator);
    }
    QString fraction = fractionDigits;
    while (fraction.size() > section.minDecimals && fraction.endsWith(u'0'))
        fraction.chop(1);
    QString text = negative ? QStringLiteral("-") : QString();
    text += section.prefix + integer;
    if (!fraction.isEmpty())
        text += locale.decimalPoint() + fraction;
    return text + section.suffix;
}

} // namespace

std::optional<int> FormatDecimals(QStringView format) {
    if (format.trimmed().isEmpty())
        return std::nullopt;
    return parseSection(splitSections(format)[0]).decimals;
}

QString FormatFloat(QStringView format, double value, const QLocale &locale) {
    if (!std::isfinite(value))
        return QString::number(value);
    if (format.trimmed().isEmpty()) {
        QString text = QString::number(value, 'g', 15);
        return text.replace(u'.', locale.decimalPoint());
    }
    const QList<QStringView> sections = splitSections(format);
    const Section positive = parseSection(sections[0]);
    QString integer, fraction;
    roundedDigits(std::fabs(value), positive.decimals, integer, fraction);
    const bool zero = allZero(integer, fraction);
    if (zero && sections.size() >= 3 && !sections[2].isEmpty()) {
        const Section zeroSection = parseSection(sections[2]);
        roundedDigits(0.0, zeroSection.decimals, integer, fraction);
        return formatSection(zeroSection, integer, fraction, false, locale);
    }
    if (value < 0 && !zero && sections.size() >= 2 && !sections[1].isEmpty()) {
        const Section negative = parseSection(sections[1]);
        roundedDigits(std::fabs(value), negative.decimals, integer, fraction);
        return formatSection(negative, integer, fraction, false, locale);
    }
    return formatSection(positive, integer, fraction, value < 0 && !zero, locale);
}

} // namespace bco
