#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include "server/storage/database.h"
#include "server/transport/method_registry.h"

namespace bco::server {

// The audit trail of writing calls (table AUDITORIA): who wrote what, when, through which method.

// Writes the rows of one call in its transaction: one per account in `written`, or one without an account
// when it is empty. Numbers are kept as one text, separated by ", ".
void recordAudit(Sql &sql, qint64 when, const QString &operatorCode, const QString &method,
                 const std::vector<WrittenRecords> &written);

struct AuditRow {
    qint64 when = 0; // milliseconds since 1970 UTC
    QString operatorCode;
    QString method;
    QString account;
    QString numbers;
};

// The rows of an account, oldest first, from the start of `from` to the end of `to` in the server's local
// time (an invalid date leaves that side open).
QList<AuditRow> auditOf(Sql &sql, const QString &account, QDate from, QDate to);

// One line per row for the command line: local date and time, operator, method, account, numbers.
QString formatAudit(const QList<AuditRow> &rows);

} // namespace bco::server
