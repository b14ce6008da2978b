#include "server/storage/database.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <string>

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

#include <libpq-fe.h>
#include <poll.h>
#include <sqlite3.h>

#include "framework/data/sql_text.h"
#include "server/storage/money.h"

namespace bco::server {

// The rows a catalogue's own query read (see Catalogue), each reached by its place.
struct CatalogueRows {
    virtual ~CatalogueRows() = default;
    virtual int count() const = 0;
    // Whether `row`'s key is not null; the key's bytes live as long as the rows.
    virtual bool hasKey(int row) const = 0;
    virtual QByteArrayView key(int row) const = 0;
    // Adds the `value`th of the catalogue's values of `row` as a field of `kind`.
    virtual void addValue(RecordBuilder &builder, int row, int value, Column::Kind kind) const = 0;
};

namespace {

// A date as QDate::toString(Qt::ISODate) writes it (empty when it is not a date) without its formatted
// printing, which took some 3% of an import's call. A day outside the years 1 to 9999 has no such text: Qt
// writes none, which SQLite would compare as a text below every date and PostgreSQL refuse. It is refused
// here alike, as a fault of the caller, which holds the days it reckons within the calendar.
QByteArray isoDate(QDate date) {
    if (!date.isValid())
        return {};
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        throw DatabaseError("a day outside the years 1 to 9999 cannot be stored or compared: " +
                            std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day));
    char text[10];
    const auto put = [&text](int at, int value, int digits) {
        for (int place = at + digits - 1; place >= at; --place, value /= 10)
            text[place] = static_cast<char>('0' + value % 10);
    };
    put(0, year, 4);
    text[4] = '-';
    put(5, month, 2);
    text[7] = '-';
    put(8, day, 2);
    return QByteArray(text, sizeof text);
}

sqlite3 *sqliteHandle(const QSqlDatabase &database) {
    const QVariant handle = database.driver() != nullptr ? database.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw DatabaseError("the SQLite connection has no handle");
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// SQLite keeps dates as 'YYYY-MM-DD' text; read it without building a QString per value.
QDate parseIsoDate(QByteArrayView text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < lengths[p]; ++i) {
            const char c = text[starts[p] + i];
            if (c < '0' || c > '9')
                return {};
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

QString sqlForMessage(const QString &sql) {
    QString simplified = sql.simplified();
    if (simplified.size() > 160)
        simplified = simplified.left(157) + QStringLiteral("...");
    return simplified;
}

bool busy(int sqliteCode) {
    const int primary = sqliteCode & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

[[noreturn]] void failSqlite(sqlite3 *db, const char *what, const QString &sql) {
    const std::string message =
        QStringLiteral("%1 [%2]: %3")
            .arg(QString::fromUtf8(what), sqlForMessage(sql), QString::fromUtf8(sqlite3_errmsg(db)))
            .toStdString();
    const int code = sqlite3_extended_errcode(db);
    if (busy(code))
        throw DatabaseBusy(message);
    // The schema's only triggers that abort are those that keep the balance sums within the integers.
    if (code == SQLITE_CONSTRAINT_TRIGGER)
        throw DatabaseValueTooLarge(message);
    throw DatabaseError(message);
}

PGconn *postgresHandle(const QSqlDatabase &database) {
    const QVariant handle = database.driver() != nullptr ? database.driver()->handle() : QVariant();
    // The driver registers the handle under libpq's own name of the type.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        throw DatabaseError("the PostgreSQL connection has no handle");
    return *static_cast<PGconn *const *>(handle.constData());
}

// Takes the result's message (or the connection's, when there is no result) and frees the result.
[[noreturn]] void failPostgres(PGconn *connection, PGresult *result, const char *what, const QString &sql) {
    const QString message =
        QString::fromUtf8(result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(connection))
            .trimmed();
    // lock_not_available (the lock timeout ran out) and deadlock_detected.
    const char *state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const bool deadlock = state != nullptr && qstrcmp(state, "40P01") == 0;
    const bool wasBusy = deadlock || (state != nullptr && qstrcmp(state, "55P03") == 0);
    // numeric_value_out_of_range: a balance sum summed past BIGINT by its trigger.
    const bool tooLarge = state != nullptr && qstrcmp(state, "22003") == 0;
    PQclear(result);
    const std::string text =
        QStringLiteral("%1 [%2]: %3").arg(QString::fromUtf8(what), sqlForMessage(sql), message).toStdString();
    if (deadlock)
        throw DatabaseDeadlock(text);
    if (wasBusy)
        throw DatabaseBusy(text);
    if (tooLarge)
        throw DatabaseValueTooLarge(text);
    throw DatabaseError(text);
}

bool succeeded(const PGresult *result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
}

// A value as PostgreSQL reads it in text form; nullopt for NULL (and for a date that is not one).
std::optional<QByteArray> postgresText(const QVariant &value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return QByteArray(value.toBool() ? "true" : "false");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QByteArray::number(value.toLongLong());
    case QMetaType::Double:
        return QByteArray::number(value.toDouble(), 'g', 17);
    case QMetaType::QDate:
        if (!value.toDate().isValid())
            return std::nullopt;
        return isoDate(value.toDate());
    default:
        return value.toString().toUtf8();
    }
}

qint64 parseInteger(QByteArrayView text) {
    qint64 value = 0;
    if (text == "t")
        return 1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double parseReal(QByteArrayView text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// One value of a SQLite row. Each sqlite3_column_* call takes the connection's mutex; a value read once and
// then through the sqlite3_value_* calls takes it once. The value is unprotected, which is safe here: a
// connection is only ever used by the thread that opened it.
struct SqliteCell {
    sqlite3_value *value;

    bool isNull() const { return sqlite3_value_type(value) == SQLITE_NULL; }
    QByteArrayView utf8() const {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
        return text == nullptr ? QByteArrayView() : QByteArrayView(text, sqlite3_value_bytes(value));
    }
    qint64 integer() const { return sqlite3_value_int64(value); }
    double real() const { return sqlite3_value_double(value); }
    QDate date() const { return parseIsoDate(utf8()); }
};

// One column of any row, read as a cell.
struct RowCell {
    const SqlRow &row;
    int column;

    bool isNull() const { return row.isNull(column); }
    QByteArrayView utf8() const { return row.utf8(column); }
    qint64 integer() const { return row.integer(column); }
    double real() const { return row.real(column); }
    QDate date() const { return row.date(column); }
};

template <typename Cell> void addCell(RecordBuilder &builder, const Cell &cell, Column::Kind kind) {
    if (cell.isNull()) {
        builder.addNull();
        return;
    }
    switch (kind) {
    case Column::Kind::Text:
        builder.addUtf8(cell.utf8());
        break;
    case Column::Kind::Integer:
        builder.addInteger(cell.integer());
        break;
    case Column::Kind::Float:
        builder.addReal(cell.real());
        break;
    case Column::Kind::Cents:
        builder.addReal(amountFromCents(cell.integer()));
        break;
    case Column::Kind::Date:
        builder.addDate(cell.date());
        break;
    case Column::Kind::Boolean:
        builder.addBoolean(cell.integer() != 0);
        break;
    }
}

} // namespace

// Prepared statements of one connection, by text. A statement in use (a query whose row callback runs the
// same text again) is not handed out twice: the second user gets a fresh one.
struct Sql::Cache {
    struct Sqlite {
        sqlite3_stmt *stmt = nullptr;
        bool inUse = false;
    };
    struct Postgres {
        QByteArray name; // of the statement prepared on the connection
        QStringList parameterNames;
    };
    // Nodes of a std::map do not move, so an entry in use stays valid while others are added.
    std::map<QString, Sqlite> sqlite;
    // A PostgreSQL statement's result is a copy of its own, so one prepared statement serves every user.
    std::map<QString, Postgres> postgres;

    ~Cache() {
        for (const auto &entry : sqlite)
            sqlite3_finalize(entry.second.stmt);
    }
};

// A prepared SQLite statement with its parameters bound; given back to the cache (reset) on every path out.
struct Sql::SqliteStatement : SqlRow {
    sqlite3 *db;
    sqlite3_stmt *stmt = nullptr;
    Cache::Sqlite *cached = nullptr;
    const QString &sql;

    SqliteStatement(sqlite3 *handle, Cache &cache, const QString &text, const SqlParams &params)
        : SqliteStatement(handle, cache, text) {
        for (const auto &[name, value] : params)
            bind(name, value);
    }
    SqliteStatement(sqlite3 *handle, Cache &cache, const QString &text, std::span<const QVariant> values)
        : SqliteStatement(handle, cache, text) {
        if (values.size() != static_cast<size_t>(sqlite3_bind_parameter_count(stmt)))
            throw DatabaseError(QStringLiteral("%1 values for the %2 parameters of %3")
                                    .arg(values.size())
                                    .arg(sqlite3_bind_parameter_count(stmt))
                                    .arg(sqlForMessage(text))
                                    .toStdString());
        for (size_t i = 0; i < values.size(); ++i)
            bindAt(static_cast<int>(i) + 1, values[i]);
    }
    // Prepared (or taken from the cache), nothing bound. Binding is left to the constructors that delegate
    // here, so that the destructor hands the statement back even when a value cannot be bound.
    SqliteStatement(sqlite3 *handle, Cache &cache, const QString &text)
        : db(handle)
        , sql(text) {
        auto found = cache.sqlite.find(text);
        if (found != cache.sqlite.end() && !found->second.inUse) {
            cached = &found->second;
            stmt = cached->stmt;
        } else {
            const QByteArray utf8 = text.toUtf8();
            if (sqlite3_prepare_v3(db, utf8.constData(), static_cast<int>(utf8.size()),
                                   SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
                failSqlite(db, "cannot prepare", text);
            if (found == cache.sqlite.end())
                cached = &cache.sqlite.emplace(text, Cache::Sqlite{stmt, false}).first->second;
        }
        if (cached != nullptr)
            cached->inUse = true;
    }
    ~SqliteStatement() override {
        if (cached != nullptr) {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
            cached->inUse = false;
        } else {
            sqlite3_finalize(stmt);
        }
    }
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    void bind(const QString &name, const QVariant &value) {
        // Parameter names are short and ASCII: the key is spelt on the stack, since a call that writes
        // thousands of rows binds hundreds of thousands of parameters.
        char spelt[64];
        QByteArray key;
        const bool ascii = name.size() < qsizetype(sizeof spelt) - 1 &&
                           std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii) {
            spelt[0] = ':';
            for (qsizetype i = 0; i < name.size(); ++i)
                spelt[i + 1] = static_cast<char>(name[i].unicode());
            spelt[name.size() + 1] = '\0';
        } else {
            key = (u':' + name).toUtf8();
        }
        const int index = sqlite3_bind_parameter_index(stmt, ascii ? spelt : key.constData());
        if (index == 0)
            throw DatabaseError(
                ("statement has no parameter :" + name.toUtf8() + ": " + sqlForMessage(sql).toUtf8())
                    .toStdString());
        bindAt(index, value);
    }

    void bindAt(int index, const QVariant &value) {
        int rc = SQLITE_OK;
        if (value.isNull()) {
            rc = sqlite3_bind_null(stmt, index);
        } else {
            switch (value.metaType().id()) {
            case QMetaType::Bool:
                rc = sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
                break;
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(stmt, index, value.toDouble());
                break;
            case QMetaType::QDate: {
                // A date that is none is stored as PostgreSQL stores it, NULL, not as an empty text that
                // every comparison of dates would take for a day.
                if (!value.toDate().isValid()) {
                    rc = sqlite3_bind_null(stmt, index);
                    break;
                }
                const QByteArray iso = isoDate(value.toDate());
                rc = sqlite3_bind_text(stmt, index, iso.constData(), static_cast<int>(iso.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text(stmt, index, text.constData(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK)
            failSqlite(db, "cannot bind a parameter", sql);
    }

    bool step() {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        failSqlite(db, "cannot run", sql);
    }

    SqliteCell cell(int column) const { return SqliteCell{sqlite3_column_value(stmt, column)}; }
    bool isNull(int column) const override { return cell(column).isNull(); }
    QByteArrayView utf8(int column) const override { return cell(column).utf8(); }
    qint64 integer(int column) const override { return cell(column).integer(); }
    double real(int column) const override { return cell(column).real(); }
    QDate date(int column) const override { return cell(column).date(); }
};

// One value of a PostgreSQL row, as the text libpq holds for it: read in place, without a copy. libpq gives
// a null as empty text, so only an empty value is asked whether it is null.
struct PostgresCell {
    const PGresult *result;
    int row, column;
    const char *text;
    int length;

    PostgresCell(const PGresult *of, int inRow, int inColumn)
        : result(of)
        , row(inRow)
        , column(inColumn)
        , text(PQgetvalue(of, inRow, inColumn))
        , length(PQgetlength(of, inRow, inColumn)) {}

    bool isNull() const { return length == 0 && PQgetisnull(result, row, column) != 0; }
    QByteArrayView utf8() const { return QByteArrayView(text, length); }
    qint64 integer() const { return parseInteger(utf8()); }
    double real() const { return parseReal(utf8()); }
    QDate date() const { return parseIsoDate(utf8()); }
};

// A statement run through libpq on the driver's own connection: prepared once per text (named parameters
// become $1, $2...), run with its values as text, and its whole result kept until the statement goes.
// QtSql would turn every value into a QVariant and a QString first, which costs the entry list of 100,000
// rows more than the database takes to select it.
struct Sql::PostgresStatement : SqlRow {
    PGresult *result = nullptr;
    int rows = 0;
    int current = -1;

    PostgresStatement(PGconn *connection, Cache &cache, const QString &text, const SqlParams &params) {
        auto found = cache.postgres.find(text);
        if (found == cache.postgres.end()) {
            const PositionalSql positional = toPositional(text, true);
            const QByteArray name =
                "bco_" + QByteArray::number(static_cast<qulonglong>(cache.postgres.size() + 1));
            PGresult *prepared =
                PQprepare(connection, name.constData(), positional.text.toUtf8().constData(), 0, nullptr);
            if (!succeeded(prepared))
                failPostgres(connection, prepared, "cannot prepare", text);
            PQclear(prepared);
            found = cache.postgres.emplace(text, Cache::Postgres{name, positional.parameterNames}).first;
        }
        const QStringList &names = found->second.parameterNames;
        std::vector<std::optional<QByteArray>> values;
        values.reserve(static_cast<size_t>(names.size()));
        std::vector<const char *> pointers;
        pointers.reserve(static_cast<size_t>(names.size()));
        for (const QString &name : names) {
            const auto value = std::find_if(params.begin(), params.end(), [&](const auto &param) {
                return param.first.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (value == params.end())
                throw DatabaseError(
                    ("no value for parameter :" + name + " of " + sqlForMessage(text)).toStdString());
            values.push_back(postgresText(value->second));
            pointers.push_back(values.back() ? values.back()->constData() : nullptr);
        }
        result = PQexecPrepared(connection, found->second.name.constData(), static_cast<int>(pointers.size()),
                                pointers.data(), nullptr, nullptr, 0);
        if (!succeeded(result))
            failPostgres(connection, std::exchange(result, nullptr), "cannot run", text);
        rows = PQntuples(result);
    }
    ~PostgresStatement() override { PQclear(result); }
    PostgresStatement(const PostgresStatement &) = delete;
    PostgresStatement &operator=(const PostgresStatement &) = delete;

    bool next() { return ++current < rows; }
    PostgresCell cell(int column) const { return PostgresCell{result, current, column}; }
    bool isNull(int column) const override { return cell(column).isNull(); }
    QByteArrayView utf8(int column) const override { return cell(column).utf8(); }
    qint64 integer(int column) const override { return cell(column).integer(); }
    double real(int column) const override { return cell(column).real(); }
    QDate date(int column) const override { return cell(column).date(); }

    // The value of the first row's first column, typed by the column's type.
    QVariant first() const {
        if (cell(0).isNull())
            return QVariant();
        constexpr Oid boolean = 16, bigint = 20, smallint = 21, integer = 23, real = 700,
                      doublePrecision = 701, date = 1082, numeric = 1700;
        switch (PQftype(result, 0)) {
        case boolean:
            return QVariant(cell(0).utf8() == "t");
        case bigint:
        case smallint:
        case integer:
            return QVariant(cell(0).integer());
        case real:
        case doublePrecision:
            return QVariant(cell(0).real());
        case numeric:
            return cell(0).utf8().contains('.') ? QVariant(cell(0).real()) : QVariant(cell(0).integer());
        case date:
            return QVariant(cell(0).date());
        default:
            return QVariant(QString::fromUtf8(cell(0).utf8()));
        }
    }
};

Sql::Sql(QSqlDatabase database, Dialect dialect, WriterQueue *writers, LogSync *logSync)
    : database_(std::move(database))
    , dialect_(dialect)
    , writers_(writers)
    , logSync_(logSync)
    , cache_(std::make_unique<Cache>()) {
    if (dialect_ == Dialect::Sqlite)
        sqlite_ = sqliteHandle(database_);
    else
        postgres_ = postgresHandle(database_);
}

namespace {

bool fileMoved(sqlite3 *db) {
    int moved = 0;
    return sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

// A connection whose file moved empties the log into that file, wherever the file went: the log stays
// beside the path, and whatever file is opened there next (another put in its place, the server restarted)
// would otherwise have the old pages read into it, and then written for good. SQLite leaves the log of a
// moved file as it is when its connections close.
void emptyTheLogIntoTheMovedFile(sqlite3 *db) {
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
}

} // namespace

Sql::~Sql() {
    if (dialect_ == Dialect::Sqlite && sqlite_ != nullptr && fileMoved(static_cast<sqlite3 *>(sqlite_)))
        emptyTheLogIntoTheMovedFile(static_cast<sqlite3 *>(sqlite_));
}

qint64 Sql::execute(const QString &sql, const SqlParams &params) {
    if (dialect_ == Dialect::Sqlite) {
        auto *db = static_cast<sqlite3 *>(sqlite_);
        SqliteStatement statement(db, *cache_, sql, params);
        while (statement.step()) {
        }
        return sqlite3_changes64(db);
    }
    PostgresStatement statement(static_cast<PGconn *>(postgres_), *cache_, sql, params);
    return parseInteger(QByteArrayView(PQcmdTuples(statement.result)));
}

qint64 Sql::executeInOrder(const QString &sql, std::span<const QVariant> values) {
    if (dialect_ != Dialect::Sqlite)
        throw DatabaseError(("values bound in order on PostgreSQL: " + sqlForMessage(sql)).toStdString());
    auto *db = static_cast<sqlite3 *>(sqlite_);
    SqliteStatement statement(db, *cache_, sql, values);
    while (statement.step()) {
    }
    return sqlite3_changes64(db);
}

namespace {

// A value as a field of COPY's text format: its text with the format's own characters escaped; \N for
// null.
void appendCopyField(QByteArray &into, const QVariant &value) {
    const std::optional<QByteArray> text = postgresText(value);
    if (!text) {
        into += "\\N";
        return;
    }
    for (const char c : *text) {
        switch (c) {
        case '\\':
            into += "\\\\";
            break;
        case '\t':
            into += "\\t";
            break;
        case '\n':
            into += "\\n";
            break;
        case '\r':
            into += "\\r";
            break;
        default:
            into += c;
        }
    }
}

} // namespace

qint64 Sql::copyRows(const QString &table, const QStringList &columns, std::span<const QVariant> values) {
    const QString statement =
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(QStringLiteral(", ")));
    if (dialect_ != Dialect::Postgresql)
        throw DatabaseError(("rows copied on SQLite: " + sqlForMessage(statement)).toStdString());
    const auto width = static_cast<size_t>(columns.size());
    if (width == 0 || values.size() % width != 0)
        throw DatabaseError(QStringLiteral("%1 values do not make rows of %2 columns for %3")
                                .arg(values.size())
                                .arg(width)
                                .arg(sqlForMessage(statement))
                                .toStdString());
    if (values.empty())
        return 0;
    QByteArray data;
    for (size_t at = 0; at < values.size(); ++at) {
        appendCopyField(data, values[at]);
        data += (at + 1) % width == 0 ? '\n' : '\t';
    }
    auto *connection = static_cast<PGconn *>(postgres_);
    PGresult *started = PQexec(connection, statement.toUtf8().constData());
    if (PQresultStatus(started) != PGRES_COPY_IN)
        failPostgres(connection, started, "cannot run", statement);
    PQclear(started);
    // The copy is ended whatever happens, so that the connection is never left in the middle of one.
    const bool sent = PQputCopyData(connection, data.constData(), static_cast<int>(data.size())) == 1;
    const bool ended = PQputCopyEnd(connection, sent ? nullptr : "the rows could not be sent") == 1;
    PGresult *result = PQgetResult(connection);
    // A COPY answers one result; anything after it is drained so that the next statement finds none.
    while (PGresult *extra = PQgetResult(connection))
        PQclear(extra);
    if (!sent || !ended || PQresultStatus(result) != PGRES_COMMAND_OK)
        failPostgres(connection, result, "cannot run", statement);
    const qint64 copied = parseInteger(QByteArrayView(PQcmdTuples(result)));
    PQclear(result);
    return copied;
}

void Sql::executeScript(const QString &script) {
    if (dialect_ == Dialect::Sqlite) {
        auto *db = static_cast<sqlite3 *>(sqlite_);
        char *error = nullptr;
        if (const int code = sqlite3_exec(db, script.toUtf8().constData(), nullptr, nullptr, &error);
            code != SQLITE_OK) {
            const QString message = QString::fromUtf8(error != nullptr ? error : sqlite3_errmsg(db));
            sqlite3_free(error);
            const std::string text = ("cannot run the script: " + message).toStdString();
            if (busy(code))
                throw DatabaseBusy(text);
            throw DatabaseError(text);
        }
        return;
    }
    // PostgreSQL takes several statements in one simple query (dollar-quoted bodies included).
    auto *connection = static_cast<PGconn *>(postgres_);
    PGresult *result = PQexec(connection, script.toUtf8().constData());
    if (!succeeded(result))
        failPostgres(connection, result, "cannot run the script", script);
    PQclear(result);
}

bool Sql::lostWhileIdle() const {
    if (dialect_ != Dialect::Postgresql || inTransaction_)
        return false;
    auto *connection = static_cast<PGconn *>(postgres_);
    if (PQstatus(connection) != CONNECTION_OK)
        return true;
    // An idle connection is sent nothing: what comes is the backend's farewell or the connection's end.
    pollfd watched{PQsocket(connection), POLLIN, 0};
    return ::poll(&watched, 1, 0) != 0;
}

void Sql::refuseIfTheFileMoved() {
    auto *db = static_cast<sqlite3 *>(sqlite_);
    if (!fileMoved(db))
        return;
    emptyTheLogIntoTheMovedFile(db);
    throw DatabaseError("the database file was deleted, moved or replaced since the connection opened it");
}

bool Sql::sqliteSnapshotTaken() const {
    return sqlite3_txn_state(static_cast<sqlite3 *>(sqlite_), nullptr) != SQLITE_TXN_NONE;
}

void Sql::takeSqliteSnapshot() {
    // Any read of a table starts the read transaction; the schema's is the smallest there is.
    scalar(QStringLiteral("SELECT COUNT(*) FROM sqlite_schema"));
}

void Sql::forEach(const QString &sql, const SqlParams &params,
                  const std::function<void(const SqlRow &)> &row) {
    if (dialect_ == Dialect::Sqlite) {
        SqliteStatement statement(static_cast<sqlite3 *>(sqlite_), *cache_, sql, params);
        while (statement.step())
            row(statement);
        return;
    }
    PostgresStatement statement(static_cast<PGconn *>(postgres_), *cache_, sql, params);
    while (statement.next())
        row(statement);
}

std::optional<QVariant> Sql::scalar(const QString &sql, const SqlParams &params) {
    std::optional<QVariant> answer;
    if (dialect_ == Dialect::Sqlite) {
        SqliteStatement statement(static_cast<sqlite3 *>(sqlite_), *cache_, sql, params);
        if (statement.step()) {
            switch (sqlite3_column_type(statement.stmt, 0)) {
            case SQLITE_NULL:
                answer = QVariant();
                break;
            case SQLITE_INTEGER:
                answer = QVariant(statement.integer(0));
                break;
            case SQLITE_FLOAT:
                answer = QVariant(statement.real(0));
                break;
            default:
                answer = QVariant(statement.text(0));
                break;
            }
            // A statement that writes (INSERT ... RETURNING) finishes its work on the steps after the row.
            while (statement.step()) {
            }
        }
        return answer;
    }
    PostgresStatement statement(static_cast<PGconn *>(postgres_), *cache_, sql, params);
    if (statement.next())
        answer = statement.first();
    return answer;
}

DataPacket Sql::packet(const QString &sql, const SqlParams &params, const Columns &columns) {
    return packet(sql, params, columns, {});
}

namespace {

// Where one field of a packet comes from: a selected column, or the `value`th value of a catalogue.
struct FieldSource {
    int column = -1;
    int catalogue = -1;
    int value = -1;
};

std::vector<FieldSource> fieldSources(const Columns &columns, const std::vector<Catalogue *> &catalogues) {
    std::vector<FieldSource> sources(static_cast<size_t>(columns.size()));
    for (size_t c = 0; c < catalogues.size(); ++c) {
        for (int v = 0; v < catalogues[c]->fields.size(); ++v) {
            const int field = catalogues[c]->fields[v];
            if (field < 0 || field >= columns.size() || sources[static_cast<size_t>(field)].catalogue >= 0)
                throw DatabaseError("a catalogue fills a field that is not one field of the packet");
            sources[static_cast<size_t>(field)] = {-1, static_cast<int>(c), v};
        }
    }
    int column = 0;
    for (FieldSource &source : sources)
        if (source.catalogue < 0)
            source.column = column++;
    return sources;
}

// Calls `add` with the record and the key of each row of a query whose first column is the key and whose
// others are the values of the catalogue's fields, each in the form its column of the packet takes. The
// record ends with the key, and the key views the record's bytes.
template <typename Add>
void readCatalogueRows(Sql &sql, const Catalogue &catalogue, const QString &text, const SqlParams &params,
                       const Columns &columns, Add add) {
    const auto values = static_cast<int>(catalogue.fields.size());
    // Batch storage: a catalogue of a period's movements holds as many records as the list.
    RecordBuilder builder(values + 1, RecordBuilder::Storage::Batch);
    sql.forEach(text, params, [&](const SqlRow &row) {
        if (row.isNull(0))
            return;
        for (int v = 0; v < values; ++v)
            addCell(builder, RowCell{row, v + 1}, columns[catalogue.fields[v]].kind);
        builder.addUtf8(row.utf8(0));
        Record record = builder.build();
        const QByteArrayView key = record.utf8(values);
        add(key, std::move(record));
    });
}

// Byte for byte, as the keys are compared everywhere.
bool keyBefore(QByteArrayView a, QByteArrayView b) {
    const int order = std::memcmp(a.data(), b.data(), static_cast<size_t>(std::min(a.size(), b.size())));
    return order < 0 || (order == 0 && a.size() < b.size());
}

bool sameKey(QByteArrayView a, QByteArrayView b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), static_cast<size_t>(a.size())) == 0;
}

// Records of a catalogue's query, each its values in the packet's form followed by the key.
struct RecordRows : CatalogueRows {
    std::vector<Record> records;
    int values = 0;

    int count() const override { return static_cast<int>(records.size()); }
    bool hasKey(int) const override { return true; }
    QByteArrayView key(int row) const override { return records[static_cast<size_t>(row)].utf8(values); }
    void addValue(RecordBuilder &builder, int row, int value, Column::Kind) const override {
        const Record &record = records[static_cast<size_t>(row)];
        if (record.isNull(value))
            builder.addNull();
        else
            builder.addUtf8(record.utf8(value));
    }
};

// Lists the keys of `catalogue.rows` in key order. The database mostly gives the rows in that order already
// (a pass along the key), which is checked before anything is sorted.
void indexCatalogue(Catalogue &catalogue) {
    auto &read = catalogue.read;
    const CatalogueRows &rows = *catalogue.rows;
    read.reserve(static_cast<size_t>(rows.count()));
    for (int row = 0; row < rows.count(); ++row)
        if (rows.hasKey(row))
            read.emplace_back(rows.key(row), row);
    const auto before = [](const auto &a, const auto &b) {
        return keyBefore(a.first, b.first);
    };
    if (!std::is_sorted(read.begin(), read.end(), before))
        std::stable_sort(read.begin(), read.end(), before);
    // Stable, so that a key read twice keeps the row read first.
    read.erase(std::unique(read.begin(), read.end(),
                           [](const auto &a, const auto &b) { return sameKey(a.first, b.first); }),
               read.end());
}

// The row of `catalogue.rows` that holds `key`, or -1.
int readRow(Catalogue &catalogue, QByteArrayView key) {
    const auto &read = catalogue.read;
    const std::size_t next = catalogue.lastFound + 1;
    if (next < read.size() && sameKey(read[next].first, key)) {
        catalogue.lastFound = next;
        return read[next].second;
    }
    const auto found =
        std::lower_bound(read.begin(), read.end(), key,
                         [](const auto &entry, QByteArrayView k) { return keyBefore(entry.first, k); });
    if (found == read.end() || !sameKey(found->first, key))
        return -1;
    catalogue.lastFound = static_cast<std::size_t>(found - read.begin());
    return found->second;
}

// Where a catalogue holds the values of a key: a row it read, or a record it looked up; neither when it has
// none.
struct CatalogueHit {
    int row = -1;
    const Record *record = nullptr;

    bool found() const { return row >= 0 || record != nullptr; }
};

// The values `catalogue` holds for `key`, looked up first when it has a look-up and has not seen the key.
CatalogueHit catalogueValues(Sql &sql, Catalogue &catalogue, QByteArrayView key, const Columns &columns) {
    if (catalogue.rows != nullptr) {
        const int row = readRow(catalogue, key);
        if (row >= 0)
            return {row, nullptr};
    }
    auto &lookedUp = catalogue.lookedUp;
    auto found = lookedUp.constFind(QByteArray::fromRawData(key.data(), key.size()));
    if (found == lookedUp.cend()) {
        if (catalogue.lookup.isEmpty())
            return {};
        // A copy: the key's bytes belong to the row of a query that the look-up must not disturb.
        const QByteArray owned = key.toByteArray();
        SqlParams params = catalogue.lookupParams;
        params.push_back({QStringLiteral("chave"), QString::fromUtf8(owned)});
        readCatalogueRows(sql, catalogue, catalogue.lookup, params, columns,
                          [&](QByteArrayView readKey, Record &&record) {
                              // The hash's key views the record's bytes, which the record keeps while the
                              // hash holds it; a key found twice keeps its first record, so that no view
                              // outlives the bytes it shows.
                              const QByteArray view = QByteArray::fromRawData(readKey.data(), readKey.size());
                              if (!lookedUp.contains(view))
                                  lookedUp.insert(view, std::move(record));
                          });
        found = lookedUp.constFind(owned);
        if (found == lookedUp.cend())
            found = lookedUp.insert(owned, Record());
    }
    return {-1, found->isValid() ? &found.value() : nullptr};
}

// The last key a catalogue was asked for and what it answered: the entries of a day mostly share their type,
// branch and company, and a repeated key is then not looked for again.
struct LastFound {
    std::string key;
    bool asked = false;
    CatalogueHit hit;
};

// Reads every row of `statement` (stepped by `next`) into `packet`, the fields placed by `sources`.
template <typename Statement, typename Next>
void readRows(Sql &sql, Statement &statement, Next next, DataPacket &packet, const Columns &columns,
              const std::vector<Catalogue *> &catalogues, const std::vector<FieldSource> &sources) {
    const int count = static_cast<int>(columns.size());
    // Reused: build() leaves it ready for the next row.
    RecordBuilder builder(count, RecordBuilder::Storage::Batch);
    // A catalogue's rows stay where they are, and so do the records it looked up but when it looks up
    // another: the last hit it answered stays valid until it is asked again.
    std::vector<LastFound> last(catalogues.size());
    std::vector<CatalogueHit> found(catalogues.size());
    while (next()) {
        bool kept = true;
        for (size_t c = 0; c < catalogues.size(); ++c) {
            const auto key = statement.cell(catalogues[c]->keyColumn);
            if (key.isNull()) {
                found[c] = {};
            } else {
                const QByteArrayView text = key.utf8();
                LastFound &memo = last[c];
                if (!memo.asked ||
                    QByteArrayView(memo.key.data(), static_cast<qsizetype>(memo.key.size())) != text) {
                    memo.hit = catalogueValues(sql, *catalogues[c], text, columns);
                    memo.key.assign(text.data(), static_cast<size_t>(text.size()));
                    memo.asked = true;
                }
                found[c] = memo.hit;
            }
            kept = kept && (found[c].found() || !catalogues[c]->required);
        }
        if (!kept)
            continue;
        for (int i = 0; i < count; ++i) {
            const FieldSource &source = sources[static_cast<size_t>(i)];
            if (source.column >= 0) {
                addCell(builder, statement.cell(source.column), columns[i].kind);
                continue;
            }
            const CatalogueHit &hit = found[static_cast<size_t>(source.catalogue)];
            if (hit.row >= 0) {
                catalogues[static_cast<size_t>(source.catalogue)]->rows->addValue(
                    builder, hit.row, source.value, columns[i].kind);
            } else if (hit.record != nullptr && !hit.record->isNull(source.value)) {
                // A looked-up record holds the value in the packet's own form: its bytes are copied as they
                // are.
                builder.addUtf8(hit.record->utf8(source.value));
            } else {
                builder.addNull();
            }
        }
        packet.appendRow(builder.build());
    }
}

} // namespace

DataPacket Sql::packet(const QString &sql, const SqlParams &params, const Columns &columns,
                       const std::vector<Catalogue *> &catalogues) {
    DataPacket packet(fieldsOf(columns));
    const std::vector<FieldSource> sources = fieldSources(columns, catalogues);
    if (dialect_ == Dialect::Sqlite) {
        // Straight on the statement, each value read once: the hot path of the entry list.
        SqliteStatement statement(static_cast<sqlite3 *>(sqlite_), *cache_, sql, params);
        readRows(
            *this, statement, [&] { return statement.step(); }, packet, columns, catalogues, sources);
        return packet;
    }
    PostgresStatement statement(static_cast<PGconn *>(postgres_), *cache_, sql, params);
    packet.reserve(statement.rows);
    readRows(
        *this, statement, [&] { return statement.next(); }, packet, columns, catalogues, sources);
    return packet;
}

Catalogue Sql::catalogue(const QString &sql, const SqlParams &params, const Columns &columns, int keyColumn,
                         QList<int> fields, bool required, const QString &lookup,
                         const SqlParams &lookupParams) {
    Catalogue made;
    made.keyColumn = keyColumn;
    made.fields = std::move(fields);
    made.required = required;
    made.lookup = lookup;
    made.lookupParams = lookupParams;
    for (const int field : made.fields)
        if (field < 0 || field >= columns.size())
            throw DatabaseError("a catalogue fills a field that is not one field of the packet");
    if (sql.isEmpty())
        return made;
    // Copied into records even on PostgreSQL, whose result could be kept: a result of 100,000 rows held while
    // the packet is built leaves the allocator so scattered that the call loses more than the copy costs.
    auto rows = std::make_shared<RecordRows>();
    rows->values = static_cast<int>(made.fields.size());
    readCatalogueRows(*this, made, sql, params, columns,
                      [&](QByteArrayView, Record &&record) { rows->records.push_back(std::move(record)); });
    made.rows = std::move(rows);
    indexCatalogue(made);
    return made;
}

QString Sql::forShare() const {
    return dialect_ == Dialect::Postgresql && inWritingTransaction() ? QStringLiteral(" FOR SHARE")
                                                                     : QString();
}

QString Sql::forUpdate(QStringView alias) const {
    if (dialect_ != Dialect::Postgresql)
        return {};
    return alias.isEmpty() ? QStringLiteral(" FOR UPDATE")
                           : QStringLiteral(" FOR UPDATE OF ") + alias.toString();
}

} // namespace bco::server
