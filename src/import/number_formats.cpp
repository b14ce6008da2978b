#include "import/number_formats.h"

namespace bco {

bool isBuiltInDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
}

bool isDateFormatCode(QStringView code) {
    bool dayOrYear = false;
    bool month = false;
    bool timeOfDay = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
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
        default:
            break;
        }
    }
    return dayOrYear || (month && !timeOfDay);
}

} // namespace bco
