#pragma once

#include <QSqlDatabase>
#include <QString>

namespace bco {

// Where a database lives, as the host's settings and the server's command line name it:
//   sqlite:PATH                                   one file (created when missing)
//   postgresql://[user[:password]@][host][:port]/dbname[?host=/socket/dir]
// Throws std::invalid_argument with a clear message for anything else.
struct DatabaseUrl {
    enum class Kind { Sqlite, Postgresql } kind = Kind::Sqlite;
    QString path; // SQLite file
    QString host;
    int port = 5432;
    QString user;
    QString password;
    QString databaseName;

    static DatabaseUrl parse(const QString &url);
    QString driverName() const {
        return kind == Kind::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    }
};

// Whether opening a SQLite database may create its file.
enum class OpenMode { MayCreate, MustExist };

// Adds and opens a Qt connection under `connectionName` (replacing one of that name). On SQLite it turns on
// foreign keys, waits for locks instead of failing at once, and registers the helper functions of
// sql_functions.h. Throws std::runtime_error with the driver's message when the database cannot be opened.
QSqlDatabase openDatabase(const DatabaseUrl &url, const QString &connectionName,
                          OpenMode mode = OpenMode::MayCreate);

} // namespace bco
