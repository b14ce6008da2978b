#include "import/number_formats.h"

namespace bco {

NumberShown builtInFormatShows(int id) {
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47))
        return NumberShown::Date;
    return id == 9 || id == 10 ? NumberShown::Percentage : NumberShown::Number;
}

NumberShown formatCodeShows(QStringView code) {
    bool dayOrYear = false;
    bool month = false;
    bool timeOfDay = false;
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
        case u'[':
            while (++i < code.size() && code[i] != u']') {
            }
            break;
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
    if (dayOrYear || (month && !timeOfDay))
        return NumberShown::Date;
    return percent ? NumberShown::Percentage : NumberShown::Number;
}

WorkbookCell numberAsShown(double number, NumberShown shown, const DateSystem &system) {
    if (shown == NumberShown::Date)
        if (const auto date = dateFromSerial(number, system))
            return WorkbookCell::fromDate(*date);
    if (shown == NumberShown::Percentage)
        return WorkbookCell::fromText(QString::number(number * 100, 'g', 15).replace(u'.', u',') + u'%');
    return WorkbookCell::fromNumber(number);
}

} // namespace bco
