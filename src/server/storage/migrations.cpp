#include "server/storage/migrations.h"

#include <QFile>

#include "framework/data/sql_functions.h"

namespace bco::server {

namespace {

// Undoes what failed, which is what the operator must be told of: a rollback that fails as well (nothing
// was begun, the file may not be written) must not take its place.
void rollbackKeepingTheCause(Sql &sql) {
    try {
        sql.rollback();
    } catch (const DatabaseError &) {
    }
}

// Each migration is a common SQL file that both databases accept, then the file of the dialect when it has
// one, kept in the server's resources: NNNN_name.sql, NNNN_name.sqlite.sql, NNNN_name.postgresql.sql; some
// add rows read from other resource files after their scripts.
struct Migration {
    int version;
    const char *name;
    void (*addRows)(Sql &sql) = nullptr;
};

// The report designs shipped with the server, by report code and title.
struct ShippedDesign {
    const char *code;
    const char *title;
    const char *file;
};

constexpr ShippedDesign shippedDesigns[] = {
    {"BCO111", "Lançamentos por conta e data", "designs/BCO111_lancamentos_por_conta.json"},
    {"BCO111", "Resumo por tipo", "designs/BCO111_resumo_por_tipo.json"},
};

QString resourcePath(const QString &path) {
    return QStringLiteral(":/schema/") + path;
}

QString resource(const QString &path) {
    QFile file(resourcePath(path));
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(("the server was built without its schema file " + path).toStdString());
    return QString::fromUtf8(file.readAll());
}

void addShippedDesigns(Sql &sql) {
    for (const ShippedDesign &design : shippedDesigns)
        sql.execute(QStringLiteral("INSERT INTO MODELOREL (CDRELATORIO, NMTITULO, DSMODELO) "
                                   "VALUES (:code, :title, :design)"),
                    {{QStringLiteral("code"), QString::fromUtf8(design.code)},
                     {QStringLiteral("title"), QString::fromUtf8(design.title)},
                     {QStringLiteral("design"), resource(QString::fromLatin1(design.file))}});
}

// A shipped design changed: the rows of the shipped designs take the new text, unless an operator saved one
// since (its edits are the operator's); a design saved under another title is the operator's too.
void updateShippedDesigns(Sql &sql) {
    for (const ShippedDesign &design : shippedDesigns)
        sql.execute(QStringLiteral("UPDATE MODELOREL SET DSMODELO = :design WHERE CDRELATORIO = :code AND "
                                   "NMTITULO = :title AND CDOPERADOR IS NULL"),
                    {{QStringLiteral("code"), QString::fromUtf8(design.code)},
                     {QStringLiteral("title"), QString::fromUtf8(design.title)},
                     {QStringLiteral("design"), resource(QString::fromLatin1(design.file))}});
}

// clang-format off
constexpr Migration migrations[] = {
    {1, "0001_ledger"},
    {2, "0002_pictures"},
    {3, "0003_accounting"},
    {4, "0004_report_designs", addShippedDesigns},
    {5, "0005_operations"},
    {6, "0006_list_versions"},
    {7, "0007_entry_versions"},
    {8, "0008_report_designs_by_company", updateShippedDesigns},
    {9, "0009_bank_statements"},
    {10, "0010_report_design_coverage", updateShippedDesigns},
    {11, "0011_insertions_by_statement"},
    {12, "0012_sparse_indexes"},
    {13, "0013_balance_sums"},
    {14, "0014_deleted_numbers"},
    {15, "0015_statement_lines_by_day"},
    {16, "0016_numbers_drawn_by_day"},
};
// clang-format on

// Servers started at once on one database migrate it at once: the first takes the lock (SQLite's write lock,
// a PostgreSQL advisory lock held to the end of the transaction) and the others then find its work done.
void lockSchema(Sql &sql) {
    sql.begin(true);
    if (sql.dialect() == Dialect::Postgresql)
        sql.scalar(QStringLiteral("SELECT pg_advisory_xact_lock(11100)"));
}

bool isApplied(Sql &sql, int version) {
    return sql
        .scalar(QStringLiteral("SELECT 1 FROM schema_version WHERE version = :version"),
                {{QStringLiteral("version"), version}})
        .has_value();
}

void apply(Sql &sql, const Migration &migration) {
    const QString name = QString::fromLatin1(migration.name);
    lockSchema(sql);
    try {
        if (isApplied(sql, migration.version)) {
            sql.commit();
            return;
        }
        if (sql.dialect() == Dialect::Postgresql && migration.version == 1) {
            // The local queries' helper functions (PARAM, NVLSTR, INSTR) live in the database on PostgreSQL.
            for (const QString &statement : postgresqlHelperFunctions())
                sql.executeScript(statement);
        }
        // Two marks stand in the common files for what the dialects write differently: a table clustered on
        // its key, and a key numbered by the database. A migration that one dialect alone needs has no common
        // file.
        const QString commonScript = name + QStringLiteral(".sql");
        const bool sqlite = sql.dialect() == Dialect::Sqlite;
        const QString dialectScript =
            name + (sqlite ? QStringLiteral(".sqlite.sql") : QStringLiteral(".postgresql.sql"));
        const QString otherDialectScript =
            name + (sqlite ? QStringLiteral(".postgresql.sql") : QStringLiteral(".sqlite.sql"));
        const bool hasDialectScript = QFile::exists(resourcePath(dialectScript));
        if (QFile::exists(resourcePath(commonScript)) ||
            (!hasDialectScript && !QFile::exists(resourcePath(otherDialectScript)))) {
            QString common = resource(commonScript);
            if (sqlite)
                common.replace(QStringLiteral("/*SQLITE WITHOUT ROWID*/"), QStringLiteral("WITHOUT ROWID"));
            common.replace(QStringLiteral("/*AUTONUMBER*/"),
                           sqlite ? QStringLiteral("INTEGER NOT NULL PRIMARY KEY")
                                  : QStringLiteral("BIGINT GENERATED ALWAYS AS "
                                                   "IDENTITY PRIMARY KEY"));
            sql.executeScript(common);
        }
        if (hasDialectScript)
            sql.executeScript(resource(dialectScript));
        if (migration.addRows != nullptr)
            migration.addRows(sql);
        sql.execute(QStringLiteral("INSERT INTO schema_version (version, name) VALUES (:version, :name)"),
                    {{QStringLiteral("version"), migration.version}, {QStringLiteral("name"), name}});
        sql.commit();
    } catch (...) {
        rollbackKeepingTheCause(sql);
        throw;
    }
}

} // namespace

int latestSchemaVersion() {
    return std::end(migrations)[-1].version;
}

QList<int> knownSchemaVersions() {
    QList<int> versions;
    for (const Migration &migration : migrations)
        versions.append(migration.version);
    return versions;
}

int migrate(Sql &sql) {
    lockSchema(sql);
    try {
        // PostgreSQL would tell every later start, on the server's error output, that the table is there.
        if (sql.dialect() == Dialect::Postgresql)
            sql.executeScript(QStringLiteral("SET LOCAL client_min_messages = warning"));
        sql.executeScript(
            QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version ("
                           "version INTEGER NOT NULL PRIMARY KEY, name VARCHAR(100) NOT NULL)"));
        sql.commit();
    } catch (...) {
        rollbackKeepingTheCause(sql);
        throw;
    }
    // Migrations are numbered as they are planned, not as they are merged: one may arrive after a higher one
    // was applied, so each is applied when it is not listed, not when it is above the highest listed.
    QList<int> applied;
    sql.forEach(QStringLiteral("SELECT version FROM schema_version"), {},
                [&](const SqlRow &row) { applied.append(static_cast<int>(row.integer(0))); });
    const QList<int> known = knownSchemaVersions();
    for (const int version : applied) {
        if (!known.contains(version))
            throw DatabaseError(
                QStringLiteral(
                    "the database has schema version %1, which this server does not know (it knows "
                    "up to %2): a newer server migrated it")
                    .arg(version)
                    .arg(latestSchemaVersion())
                    .toStdString());
    }
    for (const Migration &migration : migrations) {
        if (!applied.contains(migration.version))
            apply(sql, migration);
    }
    return latestSchemaVersion();
}

} // namespace bco::server
