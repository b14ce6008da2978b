#include "server/migrations.h"

#include <QFile>

#include "framework/data/sql_functions.h"

namespace bco::server {

namespace {

// Each migration is a common SQL file that both databases accept and one file per dialect, kept in the
// server's resources (schema.qrc): NNNN_name.sql, NNNN_name.sqlite.sql, NNNN_name.postgresql.sql; some add
// rows read from other resource files after their scripts.
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

QString resource(const QString &path) {
    QFile file(QStringLiteral(":/schema/") + path);
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

constexpr Migration migrations[] = {
    {1, "0001_ledger"},
    {2, "0002_pictures"},
    {3, "0003_accounting"},
    {4, "0004_report_designs", addShippedDesigns},
};

void apply(Sql &sql, const Migration &migration) {
    const QString name = QString::fromLatin1(migration.name);
    sql.begin(true);
    try {
        if (sql.dialect() == Dialect::Postgresql && migration.version == 1) {
            // The local queries' helper functions (PARAM, NVLSTR, INSTR) live in the database on PostgreSQL.
            for (const QString &statement : postgresqlHelperFunctions())
                sql.executeScript(statement);
        }
        QString common = resource(name + QStringLiteral(".sql"));
        if (sql.dialect() == Dialect::Sqlite)
            common.replace(QStringLiteral("/*SQLITE WITHOUT ROWID*/"), QStringLiteral("WITHOUT ROWID"));
        sql.executeScript(common);
        sql.executeScript(
            resource(name + (sql.dialect() == Dialect::Sqlite ? QStringLiteral(".sqlite.sql")
                                                              : QStringLiteral(".postgresql.sql"))));
        if (migration.addRows != nullptr)
            migration.addRows(sql);
        sql.execute(QStringLiteral("INSERT INTO schema_version (version, name) VALUES (:version, :name)"),
                    {{QStringLiteral("version"), migration.version}, {QStringLiteral("name"), name}});
        sql.commit();
    } catch (...) {
        sql.rollback();
        throw;
    }
}

} // namespace

int latestSchemaVersion() {
    return std::end(migrations)[-1].version;
}

int migrate(Sql &sql) {
    sql.executeScript(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version ("
                                     "version INTEGER NOT NULL PRIMARY KEY, name VARCHAR(100) NOT NULL)"));
    const auto current = sql.scalar(QStringLiteral("SELECT MAX(version) FROM schema_version"));
    int version = current && !current->isNull() ? current->toInt() : 0;
    if (version > latestSchemaVersion())
        throw DatabaseError(
            QStringLiteral("the database is at schema version %1, newer than this server's %2")
                .arg(version)
                .arg(latestSchemaVersion())
                .toStdString());
    for (const Migration &migration : migrations) {
        if (migration.version <= version)
            continue;
        apply(sql, migration);
        version = migration.version;
    }
    return version;
}

} // namespace bco::server
