#include "server/ledger/numbering.h"

#include <algorithm>

#include "server/transport/method_registry.h"

namespace bco::server {

namespace {

struct SeriesTable {
    const char *kind;      // IDTIPONUM
    const char *table;     // where the numbers already live
    const char *keyColumn; // what CDCHAVE names in that table
    const char *number;    // the number as an integer, in SQL both databases read
};

SeriesTable tableOf(Series series) {
    switch (series) {
    case Series::BankMovement:
        return {"MB", "MOVBANCARIO", "CDREDUCONT", "CAST(NRMOVBANC AS BIGINT)"};
    case Series::Credit:
        return {"MC", "MOVCREDBANC", "CDREDUCONT", "CAST(NRMOVICRED AS BIGINT)"};
    case Series::Debit:
        return {"MD", "MOVDEBIBANC", "CDREDUCONT", "CAST(NRMOVIDEBI AS BIGINT)"};
    case Series::Accounting:
        return {"LC", "LANCCONT", "CDEMPRESA", "CAST(SUBSTR(NRLANCCONT, 3) AS BIGINT)"};
    }
    throw std::logic_error("unknown series");
}

} // namespace

QString formatNumber(qint64 number) {
    return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0'));
}

qint64 drawNumbers(Sql &sql, Series series, const QString &key, int quantity) {
    const SeriesTable target = tableOf(series);
    const SqlParams params{{QStringLiteral("tipo"), QString::fromLatin1(target.kind)},
                           {QStringLiteral("chave"), key},
                           {QStringLiteral("quantidade"), qint64(quantity)}};
    // A series that exists is incremented alone; only its first draw looks for the highest number already
    // held, which reads every record of the key.
    auto last = sql.scalar(QStringLiteral("UPDATE NUMERACAO SET NRULTIMO = NRULTIMO + :quantidade "
                                          "WHERE IDTIPONUM = :tipo AND CDCHAVE = :chave RETURNING NRULTIMO"),
                           params);
    if (!last) {
        // Two first draws at once both find no row: the one that inserts second increments instead.
        last = sql.scalar(
            QStringLiteral(
                "INSERT INTO NUMERACAO (IDTIPONUM, CDCHAVE, NRULTIMO) VALUES (:tipo, :chave, "
                "(SELECT COALESCE(MAX(%2), 0) FROM %1 WHERE %3 = :chave) + :quantidade) "
                "ON CONFLICT (IDTIPONUM, CDCHAVE) DO UPDATE SET NRULTIMO = NUMERACAO.NRULTIMO + :quantidade "
                "RETURNING NRULTIMO")
                .arg(QString::fromLatin1(target.table), QString::fromLatin1(target.number),
                     QString::fromLatin1(target.keyColumn)),
            params);
    }
    if (!last)
        throw DatabaseError("the numbering statement returned no row");
    const qint64 value = last->toLongLong();
    if (value > LargestNumber)
        throw Refusal(
            series == Series::Accounting
                ? QStringLiteral("Numeração de lançamentos contábeis esgotada para a empresa %1.").arg(key)
                : QStringLiteral("Numeração esgotada para a conta corrente %1.").arg(key));
    return value - quantity + 1;
}

qint64 nextNumber(Sql &sql, Series series, const QString &key) {
    // Incrementing by nothing takes the lock and answers the number after the last one drawn.
    return drawNumbers(sql, series, key, 0);
}

std::optional<qint64> lastNumberDrawn(Sql &sql, Series series, const QString &key) {
    const auto last = sql.scalar(
        QStringLiteral("SELECT NRULTIMO FROM NUMERACAO WHERE IDTIPONUM = :tipo AND CDCHAVE = :chave"),
        {{QStringLiteral("tipo"), QString::fromLatin1(tableOf(series).kind)},
         {QStringLiteral("chave"), key}});
    if (!last)
        return std::nullopt;
    return last->toLongLong();
}

void takeFromDailyAllowance(Sql &sql, Series series, const QString &key, const QString &operatorCode,
                            qint64 quantity) {
    // The day is the database clock's UTC day, one for every server of it: servers in other time zones (or
    // whose clocks drift) would each count a day of their own and purge the count another is still using.
    // PostgreSQL's CURRENT_DATE would follow each connection's time zone, which a client's environment sets.
    const bool sqlite = sql.dialect() == Dialect::Sqlite;
    const QString today =
        sqlite ? QStringLiteral("date('now')") : QStringLiteral("(now() AT TIME ZONE 'UTC')::date");
    const SqlParams params{{QStringLiteral("tipo"), QString::fromLatin1(tableOf(series).kind)},
                           {QStringLiteral("chave"), key},
                           {QStringLiteral("operador"), operatorCode},
                           {QStringLiteral("quantidade"), quantity}};
    const auto taken = sql.scalar(
        QStringLiteral("INSERT INTO NUMEROPEDIDO (IDTIPONUM, CDCHAVE, CDOPERADOR, DTDIA, QTNUMEROS) VALUES "
                       "(:tipo, :chave, :operador, %1, :quantidade) ON CONFLICT (IDTIPONUM, CDCHAVE, "
                       "CDOPERADOR, DTDIA) DO UPDATE SET QTNUMEROS = NUMEROPEDIDO.QTNUMEROS + :quantidade "
                       "RETURNING QTNUMEROS")
            .arg(today),
        params);
    if (!taken)
        throw DatabaseError("the allowance statement returned no row");
    const qint64 total = taken->toLongLong();
    if (total > NumbersPerOperatorPerDay)
        throw Refusal(
            QStringLiteral("O operador %1 já pediu hoje %2 números desta série da conta %3, e estes %4 "
                           "passariam do limite de um dia (%5): nenhum número foi dado. Um programa "
                           "que pede números sem gravar os lançamentos deve ser parado; o limite "
                           "recomeça no dia seguinte.")
                .arg(operatorCode)
                .arg(total - quantity)
                .arg(key)
                .arg(quantity)
                .arg(NumbersPerOperatorPerDay));
    // The counts of the days before yesterday are of no more use: purged by the day's first draw of each
    // operator (the one whose count is its own quantity), so that the other draws make one statement.
    // Yesterday's stays: on PostgreSQL a draw's day is its transaction's start, and a draw begun before
    // midnight that reached its count after the purge would find none, and count afresh past its allowance.
    if (total == quantity)
        sql.execute(
            QStringLiteral("DELETE FROM NUMEROPEDIDO WHERE IDTIPONUM = :tipo AND CDCHAVE = :chave AND "
                           "DTDIA < %1")
                .arg(sqlite ? QStringLiteral("date('now', '-1 day')")
                            : QStringLiteral("(now() AT TIME ZONE 'UTC')::date - 1")),
            {params[0], params[1]});
}

bool isDrawnNumber(const QString &number, std::optional<qint64> last) {
    if (number.size() != 10 ||
        !std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); }))
        return false;
    const qint64 value = number.toLongLong();
    return last && value >= 1 && value <= *last;
}

} // namespace bco::server
