#include "reconciliation/day_marks.h"

#include <algorithm>

namespace bco {

DayMarks dayMarks(const QDate &first, const QDate &last, int most) {
    const qint64 span = std::max<qint64>(1, first.daysTo(last));
    const qint64 intervals = std::max(1, most - 1);
    const qint64 step = (span + intervals - 1) / intervals;
    return {static_cast<int>(step), static_cast<int>((span + step - 1) / step + 1)};
}

} // namespace bco
