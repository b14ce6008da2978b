#include "server/storage/list_versions.h"

namespace bco::server {

qint64 listVersion(Sql &sql, const QString &account) {
    const auto version =
        sql.scalar(QStringLiteral("SELECT NRVERSAO FROM VERSAOLISTA WHERE CDREDUCONT = :conta"),
                   {{QStringLiteral("conta"), account}});
    return version ? version->toLongLong() : 0;
}

qint64 lockListVersion(Sql &sql, const QString &account) {
    if (sql.dialect() != Dialect::Postgresql)
        return listVersion(sql, account);
    // The row must exist to be locked; version 0 is the version of an account without one.
    sql.execute(QStringLiteral("INSERT INTO VERSAOLISTA (CDREDUCONT, NRVERSAO) VALUES (:conta, 0) "
                               "ON CONFLICT (CDREDUCONT) DO NOTHING"),
                {{QStringLiteral("conta"), account}});
    const auto version = sql.scalar(
        QStringLiteral("SELECT NRVERSAO FROM VERSAOLISTA WHERE CDREDUCONT = :conta") + sql.forUpdate(),
        {{QStringLiteral("conta"), account}});
    return version ? version->toLongLong() : 0;
}

} // namespace bco::server
