#pragma once

#include <QDate>

namespace bco {

// The marks of a chart's axis of days: one on `first`, then one every `step` days, `count` in all, so that
// the last falls on or after `last`. Every mark stands on a day the chart plots, rather than between two, and
// there are at most `most` of them (at least two), so that their labels never crowd one another.
struct DayMarks {
    int step = 1;
    int count = 2;
};
DayMarks dayMarks(const QDate &first, const QDate &last, int most);

} // namespace bco
