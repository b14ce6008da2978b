#include "server/transport/audit.h"

#include <QDateTime>
#include <QTimeZone>

namespace bco::server {

void recordAudit(Sql &sql, qint64 when, const QString &operatorCode, const QString &method,
                 const std::vector<WrittenRecords> &written) {
    const QString insert =
        QStringLiteral("INSERT INTO AUDITORIA (DTHRCHAMADA, CDOPERADOR, NMMETODO, CDREDUCONT, DSNUMEROS) "
                       "VALUES (:quando, :operador, :metodo, :conta, :numeros)");
    const auto record = [&](const QString &account, const QStringList &numbers) {
        sql.execute(insert,
                    {{QStringLiteral("quando"), when},
                     {QStringLiteral("operador"), operatorCode},
                     {QStringLiteral("metodo"), method},
                     {QStringLiteral("conta"), account.isEmpty() ? QVariant() : QVariant(account)},
                     {QStringLiteral("numeros"),
                      numbers.isEmpty() ? QVariant() : QVariant(numbers.join(QStringLiteral(", ")))}});
    };
    if (written.empty())
        record(QString(), {});
    for (const WrittenRecords &records : written)
        record(records.account, records.numbers);
}

QList<AuditRow> auditOf(Sql &sql, const QString &account, QDate from, QDate to) {
    const qint64 start =
        from.isValid() ? from.startOfDay().toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    const qint64 end =
        to.isValid() ? to.addDays(1).startOfDay().toMSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    QList<AuditRow> rows;
    sql.forEach(
        QStringLiteral("SELECT DTHRCHAMADA, CDOPERADOR, NMMETODO, CDREDUCONT, DSNUMEROS FROM AUDITORIA "
                       "WHERE CDREDUCONT = :conta AND DTHRCHAMADA >= :inicio AND DTHRCHAMADA < :fim "
                       "ORDER BY DTHRCHAMADA, NRAUDITORIA"),
        {{QStringLiteral("conta"), account}, {QStringLiteral("inicio"), start}, {QStringLiteral("fim"), end}},
        [&](const SqlRow &row) {
            rows.append({row.integer(0), row.text(1), row.text(2), row.text(3), row.text(4)});
        });
    return rows;
}

QString formatAudit(const QList<AuditRow> &rows) {
    QString text;
    for (const AuditRow &row : rows) {
        text += QStringLiteral("%1  %2  %3  %4  %5\n")
                    .arg(QDateTime::fromMSecsSinceEpoch(row.when).toString(
                             QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                         row.operatorCode.leftJustified(10), row.method.leftJustified(20), row.account,
                         row.numbers);
    }
    return text;
}

} // namespace bco::server
