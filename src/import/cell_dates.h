#pragma once

#include <optional>

#include <QDate>
#include <QStringView>

namespace bco {

// How a workbook counts days in a number that stands for a date (a serial date).
struct DateSystem {
    // The day that serial 0 stands for.
    QDate epoch;
    // Excel's 1900 system counts a 29 February 1900 that never was: serial 60 is that day, and serials
    // below it are one day later than the epoch says.
    bool phantomLeapDay = false;

    static DateSystem excel1900() { return {QDate(1899, 12, 30), true}; }
    static DateSystem excel1904() { return {QDate(1904, 1, 1), false}; }
    // An OpenDocument workbook names its own epoch ("null date"), by default 30/12/1899.
    static DateSystem fromEpoch(QDate epoch) { return {epoch, false}; }
};

// The date of a serial number, its fraction (the time of day) dropped; nothing for a serial before the
// first day the system counts (1 in the 1900 system, 0 elsewhere), for the phantom 29/02/1900, or past
// 31/12/9999.
std::optional<QDate> dateFromSerial(double serial, const DateSystem &system);

// The date a text writes, blanks around it ignored: day, month and year separated by "/", "-" or "." (in
// that order, as Brazil writes them: 5/3/2024, 05-03-24, 05.03.2024), or year, month and day in ISO
// order (2024-03-05); either may be followed by a time of day (" 10:30", " 10:30:00", "T10:30:00"), which
// is ignored. A two-digit year means 2000 to 2029 for 00 to 29 and 1930 to 1999 for 30 to 99, as the
// spreadsheet programs read it. Nothing when the text is not such a date or names no real day.
std::optional<QDate> dateFromText(QStringView text);

} // namespace bco
