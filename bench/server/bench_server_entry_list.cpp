// GetLancamentos of a period holding 100,000 entries of one account, through the dispatcher, with the answer
// encoded for the wire as the server sends it; against the floor: the same rows selected by the same
// statements through the database's own C library (sqlite3, libpq), each value read once, and nothing else.
#include <QCoreApplication>
#include <QSqlDriver>

#include <libpq-fe.h>
#include <sqlite3.h>

#include "bench_database.h"
#include "bench_support.h"
#include "framework/data/sql_text.h"
#include "framework/remote/wire_codec.h"

namespace {

const QDate from(2014, 1, 1);
const QDate to(2020, 1, 1);

void check(bool ok, const std::string &what) {
    if (!ok)
        throw std::runtime_error(what);
}

// Every row of the entry list's statements through sqlite3 on a connection of its own, as the server sets
// it up.
int sqliteFloor(const QString &path) {
    sqlite3 *db = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK,
          "cannot open the database");
    sqlite3_exec(db, "PRAGMA mmap_size = 1073741824", nullptr, nullptr, nullptr);
    int rows = 0;
    qint64 touched = 0;
    for (const QString &statement : bco::server::entryListStatements(bco::server::Dialect::Sqlite)) {
        sqlite3_stmt *stmt = nullptr;
        check(sqlite3_prepare_v2(db, statement.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK,
              sqlite3_errmsg(db));
        sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":conta"), "001", -1, SQLITE_STATIC);
        const QByteArray start = from.toString(Qt::ISODate).toUtf8(), end = to.toString(Qt::ISODate).toUtf8();
        sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":inicio"), start.constData(), -1,
                          SQLITE_STATIC);
        sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":fim"), end.constData(), -1,
                          SQLITE_STATIC);
        // The movements' statement takes the range of their numbers: here every movement of the account.
        sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":primeiro"), "0", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":ultimo"), "9999999999", -1,
                          SQLITE_STATIC);
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                sqlite3_value *value = sqlite3_column_value(stmt, c);
                switch (sqlite3_value_type(value)) {
                case SQLITE_INTEGER:
                    touched += sqlite3_value_int64(value);
                    break;
                case SQLITE_FLOAT:
                    touched += static_cast<qint64>(sqlite3_value_double(value));
                    break;
                case SQLITE_NULL:
                    break;
                default:
                    touched += sqlite3_value_bytes(value);
                    break;
                }
            }
            ++rows;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return touched >= 0 ? rows : -1;
}

// Every row of the entry list through libpq, each statement prepared and run with its values as text.
int postgresFloor(PGconn *connection) {
    int rows = 0;
    qint64 touched = 0;
    const QByteArray account = "001", start = from.toString(Qt::ISODate).toUtf8(),
                     end = to.toString(Qt::ISODate).toUtf8();
    for (const QString &statement : bco::server::entryListStatements(bco::server::Dialect::Postgresql)) {
        const bco::PositionalSql positional = bco::toPositional(statement, true);
        std::vector<const char *> values;
        for (const QString &name : positional.parameterNames)
            values.push_back(name == u"CONTA"      ? account.constData()
                             : name == u"INICIO"   ? start.constData()
                             : name == u"FIM"      ? end.constData()
                             : name == u"PRIMEIRO" ? "0"
                                                   : "9999999999");
        PGresult *result =
            PQexecParams(connection, positional.text.toUtf8().constData(), static_cast<int>(values.size()),
                         nullptr, values.data(), nullptr, nullptr, 0);
        check(PQresultStatus(result) == PGRES_TUPLES_OK, PQresultErrorMessage(result));
        const int count = PQntuples(result), columns = PQnfields(result);
        for (int r = 0; r < count; ++r)
            for (int c = 0; c < columns; ++c)
                touched += PQgetlength(result, r, c);
        rows += count;
        PQclear(result);
    }
    return touched >= 0 ? rows : -1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        database.addMovements(100000, 100, true);
        bco::server::SessionStore sessions;
        bco::server::Dispatcher dispatcher(database.pool(), sessions, bco::server::allMethods());
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        const bco::VariantList args{"001", from, to, 0.0, 0.0, "T", "T", "", "T"};
        qsizetype bytes = 0;
        int rows = 0;
        const double milliseconds = bench::medianMilliseconds(7, [&] {
            const auto outcome = dispatcher.call(QStringLiteral("GetLancamentos"), args, token);
            if (!outcome.ok())
                throw std::runtime_error(outcome.error.toStdString());
            rows = outcome.result.packet().rowCount();
            bytes = bco::encodeAnswer(outcome.result, outcome.args).size();
        });
        if (rows != 100000)
            throw std::runtime_error("the period does not hold 100,000 entries");
        // The same call without the encoding, to tell the database's share from the codec's.
        const double query = bench::medianMilliseconds(7, [&] {
            rows = dispatcher.call(QStringLiteral("GetLancamentos"), args, token).result.packet().rowCount();
        });
        int floorRows = 0;
        const double floor = bench::medianMilliseconds(7, [&] {
            if (dialect == bco::server::Dialect::Sqlite) {
                floorRows = sqliteFloor(database.pool().url().path);
            } else {
                const QVariant handle = database.sql().database().driver()->handle();
                floorRows = postgresFloor(*static_cast<PGconn *const *>(handle.constData()));
            }
        });
        // Each entry once, and on PostgreSQL its movement once more.
        if (floorRows != (dialect == bco::server::Dialect::Sqlite ? 100000 : 200000))
            throw std::runtime_error("the floor did not select the 100,000 entries and their movements");
        bench::report((std::string("server_lancamentos_100k_without_encoding_") + name).c_str(), query, "ms");
        bench::report((std::string("server_lancamentos_100k_") + name).c_str(), milliseconds, "ms");
        bench::report((std::string("server_lancamentos_100k_floor_") + name).c_str(), floor, "ms");
        bench::report((std::string("server_lancamentos_100k_ratio_to_floor_") + name).c_str(),
                      milliseconds / floor, "x");
        bench::report((std::string("server_lancamentos_100k_bytes_") + name).c_str(),
                      static_cast<double>(bytes), "bytes");
    }
    bench::report("server_lancamentos_peak_memory", bench::peakResidentMegabytes(), "MB");
    return 0;
}
