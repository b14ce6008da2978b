#include "server/numbering.h"

#include "server/method_registry.h"

namespace bco::server {

namespace {

struct SeriesTable {
    const char *kind;  // IDTIPONUM
    const char *table; // where the account's numbers already live
    const char *column;
};

SeriesTable tableOf(Series series) {
    switch (series) {
    case Series::BankMovement:
        return {"MB", "MOVBANCARIO", "NRMOVBANC"};
    case Series::Credit:
        return {"MC", "MOVCREDBANC", "NRMOVICRED"};
    case Series::Debit:
        return {"MD", "MOVDEBIBANC", "NRMOVIDEBI"};
    }
    throw std::logic_error("unknown series");
}

} // namespace

QString formatNumber(qint64 number) {
    return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0'));
}

qint64 drawNumbers(Sql &sql, Series series, const QString &account, int quantity) {
    const SeriesTable target = tableOf(series);
    const SqlParams params{{QStringLiteral("tipo"), QString::fromLatin1(target.kind)},
                           {QStringLiteral("conta"), account},
                           {QStringLiteral("quantidade"), qint64(quantity)}};
    // The series' row exists but for the first draw of an account: a plain increment then, which does not
    // read the account's numbers (an upsert evaluates its inserted values, and so scans them, every time).
    auto last = sql.scalar(QStringLiteral("UPDATE NUMERACAO SET NRULTIMO = NRULTIMO + :quantidade "
                                          "WHERE IDTIPONUM = :tipo AND CDCHAVE = :conta RETURNING NRULTIMO"),
                           params);
    if (!last) {
        // The first draw starts after the highest number the account holds; one statement on both databases,
        // whose conflict clause serves a draw that created the row meanwhile.
        last = sql.scalar(
            QStringLiteral(
                "INSERT INTO NUMERACAO (IDTIPONUM, CDCHAVE, NRULTIMO) VALUES (:tipo, :conta, "
                "(SELECT COALESCE(MAX(CAST(%2 AS BIGINT)), 0) FROM %1 WHERE CDREDUCONT = :conta) + "
                ":quantidade) ON CONFLICT (IDTIPONUM, CDCHAVE) DO UPDATE SET NRULTIMO = "
                "NUMERACAO.NRULTIMO + :quantidade RETURNING NRULTIMO")
                .arg(QString::fromLatin1(target.table), QString::fromLatin1(target.column)),
            params);
    }
    if (!last)
        throw DatabaseError("the numbering statement returned no row");
    const qint64 value = last->toLongLong();
    if (value > LargestNumber)
        throw Refusal(QStringLiteral("Numeração esgotada para a conta corrente %1.").arg(account));
    return value - quantity + 1;
}

} // namespace bco::server
