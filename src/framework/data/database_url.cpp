#include "framework/data/database_url.h"

#include <stdexcept>

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include "framework/data/sql_functions.h"

namespace bco {

DatabaseUrl DatabaseUrl::parse(const QString &text) {
    DatabaseUrl url;
    if (text.startsWith(u"sqlite:")) {
        url.kind = Kind::Sqlite;
        url.path = text.mid(7);
        if (url.path.isEmpty())
            throw std::invalid_argument("sqlite: needs a file path, as in sqlite:bco.db");
        return url;
    }
    if (text.startsWith(u"postgresql://") || text.startsWith(u"postgres://")) {
        const QUrl parsed(text, QUrl::StrictMode);
        // Qt's reason quotes the address, password and all, which would go to logs and screens.
        // A '#' in a password ends the address there, and what stood before it is read as a host and a port.
        if (!parsed.isValid())
            throw std::invalid_argument(
                !parsed.errorString().startsWith(u"Invalid port")
                    ? "malformed PostgreSQL address: write the special characters of the user and the "
                      "password "
                      "as %XX (# as %23, @ as %40, / as %2F)"
                : text.contains(u'#')
                    ? "the PostgreSQL address's port is not a number from 1 to 65535 (a # in "
                      "the user or the password is written %23)"
                    : "the PostgreSQL address's port is not a number from 1 to 65535");
        url.kind = Kind::Postgresql;
        url.host = parsed.host();
        url.port = parsed.port(5432);
        url.user = parsed.userName();
        url.password = parsed.password();
        url.databaseName = parsed.path().mid(1);
        const QUrlQuery query(parsed);
        if (query.hasQueryItem(QStringLiteral("host")))
            url.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        // A '#' left in a password starts the address's fragment, and the rest goes there, database and all.
        if (url.databaseName.isEmpty())
            throw std::invalid_argument(
                parsed.hasFragment() ? "the PostgreSQL address names no database (a # in the user or the "
                                       "password is written %23)"
                                     : "the PostgreSQL address names no database");
        return url;
    }
    throw std::invalid_argument("unknown database address (use sqlite:PATH or postgresql://...)");
}

QSqlDatabase openDatabase(const DatabaseUrl &url, const QString &connectionName, OpenMode mode) {
    if (QSqlDatabase::contains(connectionName))
        QSqlDatabase::removeDatabase(connectionName);
    QSqlDatabase database = QSqlDatabase::addDatabase(url.driverName(), connectionName);
    if (url.kind == DatabaseUrl::Kind::Sqlite) {
        if (mode == OpenMode::MustExist) {
            // Read and written, never created: SQLite would otherwise make an empty database where the file
            // is missing. (A file that may not be written is still opened for reading; a write then fails,
            // and the pool opens the connection anew after it.)
            QUrl file = QUrl::fromLocalFile(QFileInfo(url.path).absoluteFilePath());
            file.setQuery(QStringLiteral("mode=rw"));
            database.setDatabaseName(file.toString(QUrl::FullyEncoded));
            database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000;QSQLITE_OPEN_URI"));
        } else {
            database.setDatabaseName(url.path);
            database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
    } else {
        database.setHostName(url.host);
        database.setPort(url.port);
        database.setUserName(url.user);
        database.setPassword(url.password);
        database.setDatabaseName(url.databaseName);
    }
    if (!database.open())
        throw std::runtime_error("cannot open the database: " + database.lastError().text().toStdString());
    if (url.kind == DatabaseUrl::Kind::Sqlite) {
        QSqlQuery pragma(database);
        pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        registerSqliteFunctions(database);
    }
    return database;
}

} // namespace bco
