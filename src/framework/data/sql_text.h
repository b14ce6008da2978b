#pragma once

#include <QString>
#include <QStringList>

namespace bco {

// The four texts a local query carries, one per database kind.
enum class SqlDialect { Generic, Oracle, MsSql, InterBase };

// The dialect that serves a Qt SQL driver: SQLite and PostgreSQL run the generic text.
SqlDialect dialectForDriver(const QString &driverName);

// A query text whose named parameters (:NAME) have been turned into positional ones (?), with the name of
// each position in order. A name may occur several times; each occurrence gets its own position. Quoted
// text, quoted identifiers, comments and PostgreSQL casts (::) are left alone, so values are never pasted
// into the text.
// With `numbered`, positions are written as libpq takes them ($1, $2, ...) instead of '?'.
struct PositionalSql {
    QString text;
    QStringList parameterNames; // upper-case, one per position
};
PositionalSql toPositional(const QString &sql, bool numbered = false);

} // namespace bco
