#include "framework/session/operator_lookups.h"

#include <stdexcept>

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"

namespace Dbgeral {

namespace {

// Runs `sql` with positional values and answers the query on its first row (or past the end).
QSqlQuery run(const QString &sql, const QVariantList &values, const char *what) {
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw std::runtime_error(std::string("cannot read ") + what + ": " +
                                 query.lastError().text().toStdString());
    return query;
}

int requiredField(const bco::DataPacket &packet, const char *name) {
    const int index = packet.fieldIndex(QString::fromLatin1(name));
    if (index < 0)
        throw std::invalid_argument(std::string("the general parameters lack the field ") + name);
    return index;
}

bool releasedFromBlocking(const QString &operatorCode) {
    QSqlQuery query = run(QStringLiteral("SELECT IDLIBBLOQ FROM OPERADOR WHERE CDOPERADOR = ?"),
                          {operatorCode}, "the operator's release from blocked dates");
    return query.next() && query.value(0).toString() == u"S";
}

} // namespace

bool AcessoOperContCorr(const QString &operatorCode, const QString &account) {
    QSqlQuery query = run(QStringLiteral("SELECT 1 FROM CONTCORR C "
                                         "JOIN OPEREMPR O ON O.CDEMPRESA = C.CDEMPRESA "
                                         "WHERE C.CDREDUCONT = ? AND O.CDOPERADOR = ?"),
                          {account, operatorCode}, "the operator's accounts");
    return query.next();
}

bool DtProcBloq(const QString &modulePrefix, const QString &operatorCode, QDate date,
                const bco::Variant &parameters) {
    if (!parameters.isPacket())
        throw std::invalid_argument("the general parameters are not a data packet");
    const bco::DataPacket &rules = parameters.packet();
    const int module = requiredField(rules, "CDMODULO");
    const int blocking = requiredField(rules, "IDBLOQDATA");
    const int tolerance = requiredField(rules, "QTDIATOLE");
    const int closedUpTo = requiredField(rules, "DTBLOQATE");
    if (date.isNull())
        return false;
    for (int row = 0; row < rules.rowCount(); ++row) {
        if (rules.value(row, module).toText().trimmed() != modulePrefix.trimmed())
            continue;
        if (rules.value(row, blocking).toText() != u"S")
            return false;
        const QDate earliest =
            Ondrima::DataProc(Ondrima::FiliProc()).addDays(-rules.value(row, tolerance).toInt());
        const QDate closed = rules.value(row, closedUpTo).toDate();
        const bool blocked = date < earliest || (closed.isValid() && date <= closed);
        return blocked && !releasedFromBlocking(operatorCode);
    }
    return false;
}

void ListaEmpresaOper(const QString &operatorCode, QString &list) {
    QSqlQuery query =
        run(QStringLiteral("SELECT CDEMPRESA FROM OPEREMPR WHERE CDOPERADOR = ? ORDER BY CDEMPRESA"),
            {operatorCode}, "the operator's companies");
    QStringList codes;
    while (query.next())
        codes << QLatin1Char('\'') + query.value(0).toString() + QLatin1Char('\'');
    list = codes.join(QLatin1Char(','));
}

} // namespace Dbgeral
