#pragma once

#include <QMap>
#include <QString>

namespace bco {

// The widths an operator gave the columns of a screen's grid, by field name, kept in the login context's
// layout file under the operator's code and the grid's key ("BCO11100/dbgPadrao"), so that each operator
// finds the screens as they left them whoever used the desktop since. Without a login context or a layout
// file nothing is read (an empty map) nor written.
QMap<QString, int> readColumnWidths(const QString &grid);
void writeColumnWidths(const QString &grid, const QMap<QString, int> &widths);

} // namespace bco
