#include "import/number_formats.h"

#include <cmath>

namespace bco {

NumberShown builtInFormatShows(int id) {
    if ((id >= 14 && id <= 17) || id == 22)
        return NumberShown::Date;
    if ((id >= 18 && id <= 21) || id == 45 || id == 47)
        return NumberShown::Time;
    if (id == 46)
        return NumberShown::ElapsedTime;
    return id == 9 || id == 10 ? NumberShown::Percentage : NumberShown::Number;
}

namespace {

// "[h]", "[mm]", "[ss]": a time elapsed, shown past its day.
bool isElapsedTime(QStringView bracketed) {
    if (bracketed.isEmpty())
        return false;
    for (const QChar c : bracketed)
        if (c.toLower() != bracketed.front().toLower() || !QStringView(u"hms").contains(c.toLower()))
            return false;
    return true;
}

// The time a number stands for, as "hh:mm:ss": of its day (a date's serial carries the day before it), or
// elapsed since its start.
QString timeShown(double number, bool elapsed) {
    auto seconds = static_cast<long long>(std::llround(number * 86400.0));
    if (!elapsed)
        seconds %= 86400;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

NumberShown formatCodeShows(QStringView code) {
    bool dayOrYear = false;
    bool month = false;
    bool timeOfDay = false;
    bool elapsed = false;
    bool percent = false;
    // The first section, which shows positive numbers, tells: a "%" only in the section of zeros or of
    // text makes no percentage of an amount.
    for (qsizetype i = 0; i < code.size() && code[i] != u';'; ++i) {
        const QChar c = code[i];
        switch (c.toLower().unicode()) {
        case u'"':
            while (++i < code.size() && code[i] != u'"') {
            }
            break;
        case u'[': {
            const qsizetype from = i + 1;
            while (++i < code.size() && code[i] != u']') {
            }
            elapsed = elapsed || isElapsedTime(code.mid(from, i - from));
            break;
        }
        case u'\\':
        case u'_':
        case u'*':
            ++i;
            break;
        case u'd':
        case u'y':
            dayOrYear = true;
            break;
        case u'm':
            month = true;
            break;
        case u'h':
        case u's':
            timeOfDay = true;
            break;
        case u'%':
            percent = true;
            break;
        default:
            break;
        }
    }
    if (dayOrYear || (month && !timeOfDay && !elapsed))
        return NumberShown::Date;
    if (elapsed)
        return NumberShown::ElapsedTime;
    if (timeOfDay)
        return NumberShown::Time;
    return percent ? NumberShown::Percentage : NumberShown::Number;
}

WorkbookCell numberAsShown(double number, NumberShown shown, const DateSystem &system) {
    // A number in a date's or a time's format that is none (negative, past any calendar) shows as "#####" in
    // the spreadsheet: read as the number, an amount would take what the sheet never showed.
    const QString noneShown = QStringLiteral("#####");
    if (shown == NumberShown::Date) {
        const auto date = dateFromSerial(number, system);
        return date ? WorkbookCell::fromDate(*date) : WorkbookCell::fromText(noneShown);
    }
    if (shown == NumberShown::Time || shown == NumberShown::ElapsedTime)
        return number >= 0 && number < 1e12
                   ? WorkbookCell::fromText(timeShown(number, shown == NumberShown::ElapsedTime))
                   : WorkbookCell::fromText(noneShown);
    if (shown == NumberShown::Percentage)
        return WorkbookCell::fromText(QString::number(number * 100, 'g', 15).replace(u'.', u',') + u'%');
    return WorkbookCell::fromNumber(number);
}

} // namespace bco
