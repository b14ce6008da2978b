#include "framework/data/sql_text.h"

namespace bco {

SqlDialect dialectForDriver(const QString &driverName) {
    if (driverName == u"QOCI")
        return SqlDialect::Oracle;
    if (driverName == u"QODBC" || driverName == u"QTDS")
        return SqlDialect::MsSql;
    if (driverName == u"QIBASE")
        return SqlDialect::InterBase;
    return SqlDialect::Generic;
}

namespace {

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// Index just past a quoted run that starts at `from` with `quote` (doubled quotes stay inside).
qsizetype skipQuoted(const QString &sql, qsizetype from, QChar quote) {
    qsizetype i = from + 1;
    while (i < sql.size()) {
        if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return sql.size();
}

} // namespace

PositionalSql toPositional(const QString &sql, bool numbered) {
    PositionalSql result;
    result.text.reserve(sql.size());
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = skipQuoted(sql, i, c);
            result.text += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'-' && i + 1 < sql.size() && sql[i + 1] == u'-') {
            qsizetype end = sql.indexOf(u'\n', i);
            end = end < 0 ? sql.size() : end;
            result.text += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'/' && i + 1 < sql.size() && sql[i + 1] == u'*') {
            qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            end = end < 0 ? sql.size() : end + 2;
            result.text += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u':' && i + 1 < sql.size() && sql[i + 1] == u':') {
            result.text += QStringLiteral("::");
            i += 2;
        } else if (c == u':' && i + 1 < sql.size() && isNameChar(sql[i + 1])) {
            qsizetype end = i + 1;
            while (end < sql.size() && isNameChar(sql[end]))
                ++end;
            result.parameterNames << sql.mid(i + 1, end - i - 1).toUpper();
            if (numbered)
                result.text += u'$' + QString::number(result.parameterNames.size());
            else
                result.text += u'?';
            i = end;
        } else {
            result.text += c;
            ++i;
        }
    }
    return result;
}

} // namespace bco
