#include "framework/session/operator_layout.h"

#include <QSettings>
#include <QUrl>

#include "framework/session/login_context.h"

namespace bco {

namespace {

// The group of the grid for the operator working now; empty when nothing is kept.
QString groupOf(const QString &grid) {
    if (!Session::installed() || Session::current().layoutFile.isEmpty() ||
        Session::current().operatorCode.isEmpty())
        return {};
    // An operator's code is the first level: a slash or a backslash in it would make levels of its own.
    const QString code = QString::fromLatin1(QUrl::toPercentEncoding(Session::current().operatorCode));
    return code + u'/' + grid;
}

} // namespace

QMap<QString, int> readColumnWidths(const QString &grid) {
    QMap<QString, int> widths;
    const QString group = groupOf(grid);
    if (group.isEmpty())
        return widths;
    QSettings file(Session::current().layoutFile, QSettings::IniFormat);
    file.beginGroup(group);
    for (const QString &field : file.childKeys()) {
        bool number = false;
        const int width = file.value(field).toInt(&number);
        if (number)
            widths.insert(field, width);
    }
    return widths;
}

void writeColumnWidths(const QString &grid, const QMap<QString, int> &widths) {
    const QString group = groupOf(grid);
    if (group.isEmpty())
        return;
    QSettings file(Session::current().layoutFile, QSettings::IniFormat);
    file.beginGroup(group);
    file.remove(QString());
    for (auto width = widths.cbegin(); width != widths.cend(); ++width)
        file.setValue(width.key(), width.value());
}

} // namespace bco
