#include "framework/data/sql_functions.h"

#include <cstring>
#include <stdexcept>

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace bco {

namespace {

// NVLSTR(a, b): the first argument unless it is null or empty text.
void nvlstr(sqlite3_context *context, int, sqlite3_value **argv) {
    sqlite3_value *first = argv[0];
    const bool empty = sqlite3_value_type(first) == SQLITE_NULL ||
                       (sqlite3_value_type(first) == SQLITE_TEXT && sqlite3_value_bytes(first) == 0);
    sqlite3_result_value(context, empty ? argv[1] : first);
}

// PARAM(x) is an eponymous virtual table: column 0 is PARAM, column 1 the hidden argument. It always
// yields exactly one row, whose PARAM is the argument (null when the argument is missing).
struct ParamCursor {
    sqlite3_vtab_cursor base;
    sqlite3_value *value;
    bool done;
};

int paramConnect(sqlite3 *db, void *, int, const char *const *, sqlite3_vtab **table, char **) {
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(PARAM, arg HIDDEN)");
    if (rc != SQLITE_OK)
        return rc;
    *table = static_cast<sqlite3_vtab *>(sqlite3_malloc(sizeof(sqlite3_vtab)));
    if (*table == nullptr)
        return SQLITE_NOMEM;
    std::memset(*table, 0, sizeof(sqlite3_vtab));
    sqlite3_vtab_config(db, SQLITE_VTAB_INNOCUOUS);
    return SQLITE_OK;
}

int paramDisconnect(sqlite3_vtab *table) {
    sqlite3_free(table);
    return SQLITE_OK;
}

int paramBestIndex(sqlite3_vtab *, sqlite3_index_info *info) {
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &constraint = info->aConstraint[i];
        if (constraint.iColumn == 1 && constraint.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            if (!constraint.usable)
                return SQLITE_CONSTRAINT;
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 1;
            info->idxNum = 1;
        }
    }
    info->estimatedCost = 1;
    info->estimatedRows = 1;
    return SQLITE_OK;
}

int paramOpen(sqlite3_vtab *, sqlite3_vtab_cursor **cursor) {
    auto *c = static_cast<ParamCursor *>(sqlite3_malloc(sizeof(ParamCursor)));
    if (c == nullptr)
        return SQLITE_NOMEM;
    std::memset(c, 0, sizeof(ParamCursor));
    *cursor = &c->base;
    return SQLITE_OK;
}

int paramClose(sqlite3_vtab_cursor *cursor) {
    auto *c = reinterpret_cast<ParamCursor *>(cursor);
    sqlite3_value_free(c->value);
    sqlite3_free(c);
    return SQLITE_OK;
}

int paramFilter(sqlite3_vtab_cursor *cursor, int idxNum, const char *, int argc, sqlite3_value **argv) {
    auto *c = reinterpret_cast<ParamCursor *>(cursor);
    sqlite3_value_free(c->value);
    c->value = (idxNum == 1 && argc > 0) ? sqlite3_value_dup(argv[0]) : nullptr;
    c->done = false;
    return SQLITE_OK;
}

int paramNext(sqlite3_vtab_cursor *cursor) {
    reinterpret_cast<ParamCursor *>(cursor)->done = true;
    return SQLITE_OK;
}

int paramEof(sqlite3_vtab_cursor *cursor) {
    return reinterpret_cast<ParamCursor *>(cursor)->done ? 1 : 0;
}

int paramColumn(sqlite3_vtab_cursor *cursor, sqlite3_context *context, int) {
    auto *c = reinterpret_cast<ParamCursor *>(cursor);
    if (c->value != nullptr)
        sqlite3_result_value(context, c->value);
    else
        sqlite3_result_null(context);
    return SQLITE_OK;
}

int paramRowid(sqlite3_vtab_cursor *, sqlite3_int64 *rowid) {
    *rowid = 1;
    return SQLITE_OK;
}

sqlite3_module makeParamModule() {
    sqlite3_module module{};
    module.iVersion = 0;
    module.xCreate = nullptr; // eponymous only: usable as PARAM(...) without CREATE VIRTUAL TABLE
    module.xConnect = paramConnect;
    module.xBestIndex = paramBestIndex;
    module.xDisconnect = paramDisconnect;
    module.xDestroy = paramDisconnect;
    module.xOpen = paramOpen;
    module.xClose = paramClose;
    module.xFilter = paramFilter;
    module.xNext = paramNext;
    module.xEof = paramEof;
    module.xColumn = paramColumn;
    module.xRowid = paramRowid;
    return module;
}

const sqlite3_module paramModule = makeParamModule();

sqlite3 *sqliteHandle(const QSqlDatabase &database) {
    const QVariant handle = database.driver() != nullptr ? database.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw std::invalid_argument("not an open SQLite connection");
    auto *db = *static_cast<sqlite3 *const *>(handle.constData());
    if (db == nullptr)
        throw std::invalid_argument("not an open SQLite connection");
    return db;
}

void check(sqlite3 *db, int rc, const char *what) {
    if (rc != SQLITE_OK)
        throw std::runtime_error(std::string("cannot register ") + what + ": " + sqlite3_errmsg(db));
}

} // namespace

void registerSqliteFunctions(const QSqlDatabase &database) {
    sqlite3 *db = sqliteHandle(database);
    check(db,
          sqlite3_create_function_v2(db, "NVLSTR", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                     nullptr, nvlstr, nullptr, nullptr, nullptr),
          "NVLSTR");
    check(db, sqlite3_create_module_v2(db, "PARAM", &paramModule, nullptr, nullptr), "PARAM");
}

QStringList postgresqlHelperFunctions() {
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION PARAM(value TEXT) RETURNS TABLE (PARAM TEXT) "
                       "LANGUAGE sql IMMUTABLE AS $$ SELECT value $$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION NVLSTR(value TEXT, fallback TEXT) RETURNS TEXT "
                       "LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN value IS NULL OR value = '' "
                       "THEN fallback ELSE value END $$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION INSTR(haystack TEXT, needle TEXT) RETURNS INTEGER "
                       "LANGUAGE sql IMMUTABLE AS $$ SELECT strpos(haystack, needle) $$"),
    };
}

} // namespace bco
