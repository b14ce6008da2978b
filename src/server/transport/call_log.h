#pragma once

#include <QByteArray>
#include <QString>

namespace bco::server {

// The line the server logs for a call: the method, how long it took and its outcome (with what the method
// noted, a Login's operator code among it). Both come from the caller, who may put a line end in them: a
// control character is written as \n, \r, \t or \xHH, so that one call is one line and no caller can write a
// line that looks like another call's.
QByteArray callLogLine(const QString &method, double milliseconds, const QString &outcome);

} // namespace bco::server
