#pragma once

#include <ostream>

#include <QDate>
#include <QString>

// GoogleTest prints Qt values through these, so a failed comparison shows the texts and dates themselves
// rather than their bytes. Include before comparing them.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(QDate date, std::ostream *out) {
    *out << (date.isValid() ? date.toString(Qt::ISODate).toStdString() : std::string("invalid date"));
}
