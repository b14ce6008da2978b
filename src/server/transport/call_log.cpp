#include "server/transport/call_log.h"

namespace bco::server {

namespace {

QString escaped(const QString &text) {
    QString written;
    written.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\n')
            written += QStringLiteral("\\n");
        else if (c == u'\r')
            written += QStringLiteral("\\r");
        else if (c == u'\t')
            written += QStringLiteral("\\t");
        else if (c.category() == QChar::Other_Control)
            written += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            written += c;
    }
    return written;
}

} // namespace

QByteArray callLogLine(const QString &method, double milliseconds, const QString &outcome) {
    return QStringLiteral("%1 %2 ms %3\n")
        .arg(escaped(method))
        .arg(milliseconds, 0, 'f', 1)
        .arg(escaped(outcome))
        .toUtf8();
}

} // namespace bco::server
