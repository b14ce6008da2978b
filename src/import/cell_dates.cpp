#include "import/cell_dates.h"

#include <cmath>

namespace bco {

std::optional<QDate> dateFromSerial(double serial, const DateSystem &system) {
    if (!std::isfinite(serial) || !system.epoch.isValid())
        return std::nullopt;
    const double day = std::floor(serial);
    // 31/12/9999 is serial 2958465 in the 1900 system; nothing further from any epoch is a date.
    if (day < 0 || day > 3'000'000)
        return std::nullopt;
    qint64 days = static_cast<qint64>(day);
    if (system.phantomLeapDay) {
        if (days == 0 || days == 60)
            return std::nullopt;
        if (days < 60)
            days += 1;
    }
    const QDate date = system.epoch.addDays(days);
    if (!date.isValid() || date.year() > 9999)
        return std::nullopt;
    return date;
}

namespace {

// Reads the digits at `pos` (one to `maxDigits` of them); -1 when there is none.
int readNumber(QStringView text, qsizetype &pos, int maxDigits) {
    int value = 0;
    int digits = 0;
    while (pos < text.size() && digits < maxDigits && text[pos].isDigit() && text[pos].unicode() < 128) {
        value = value * 10 + (text[pos].unicode() - '0');
        ++pos;
        ++digits;
    }
    return digits == 0 ? -1 : value;
}

bool isDateSeparator(QChar c) {
    return c == u'/' || c == u'-' || c == u'.';
}

// What may follow the date: nothing, or a time of day after a blank or a "T".
bool isTimeOfDayOrNothing(QStringView rest) {
    if (rest.isEmpty())
        return true;
    if (rest[0] != u' ' && rest[0] != u'T')
        return false;
    rest = rest.mid(1).trimmed();
    qsizetype pos = 0;
    for (int part = 0; part < 3; ++part) {
        if (readNumber(rest, pos, 2) < 0)
            return false;
        if (pos == rest.size())
            return part > 0;
        if (rest[pos] != u':')
            break;
        ++pos;
    }
    // Seconds may carry a fraction.
    if (pos < rest.size() && rest[pos] == u'.') {
        ++pos;
        readNumber(rest, pos, 9);
    }
    return pos == rest.size();
}

} // namespace

std::optional<QDate> dateFromText(QStringView text) {
    text = text.trimmed();
    qsizetype pos = 0;
    const qsizetype firstStart = pos;
    const int first = readNumber(text, pos, 4);
    const qsizetype firstDigits = pos - firstStart;
    if (first < 0 || pos >= text.size() || !isDateSeparator(text[pos]))
        return std::nullopt;
    const QChar separator = text[pos++];
    const int second = readNumber(text, pos, 2);
    if (second < 0 || pos >= text.size() || text[pos] != separator)
        return std::nullopt;
    ++pos;
    const qsizetype thirdStart = pos;
    const int third = readNumber(text, pos, 4);
    const qsizetype thirdDigits = pos - thirdStart;
    if (third < 0 || !isTimeOfDayOrNothing(text.mid(pos)))
        return std::nullopt;

    int day, month, year;
    if (firstDigits == 4) {
        if (thirdDigits > 2)
            return std::nullopt;
        year = first;
        month = second;
        day = third;
    } else if (firstDigits <= 2 && (thirdDigits == 2 || thirdDigits == 4)) {
        day = first;
        month = second;
        year = thirdDigits == 4 ? third : (third < 30 ? 2000 + third : 1900 + third);
    } else {
        return std::nullopt;
    }
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1)
        return std::nullopt;
    return date;
}

} // namespace bco
