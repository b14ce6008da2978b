#include "server/ledger/repeated_movements.h"

#include <utility>

namespace bco::server {

RepeatedMovements::RepeatedMovements(Sql &sql, Ignored ignored)
    : sql_(sql)
    , ignored_(std::move(ignored)) {
}

QString RepeatedMovements::of(const QString &account, QDate date, qint64 cents, const QString &document,
                              const QString &history) {
    if (!date.isValid())
        return {};
    auto day = days_.find({account, date});
    if (day == days_.end())
        day = days_.emplace(std::make_pair(account, date), read(account, date)).first;
    const auto found = day->second.find({cents, document.trimmed(), history.left(40).trimmed()});
    return found == day->second.end() ? QString() : found->second;
}

RepeatedMovements::Day RepeatedMovements::read(const QString &account, QDate date) const {
    Day movements;
    // In the order of the numbers, so that the first of equal movements is the one kept.
    sql_.forEach(
        QStringLiteral("SELECT NRMOVBANC, VRMOVBANC, TRIM(COALESCE(NRDOCMBANC, '')), "
                       "TRIM(COALESCE(DSHISMBANC, '')) FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
                       "DTMOVBANC = :data ORDER BY NRMOVBANC"),
        {{QStringLiteral("conta"), account}, {QStringLiteral("data"), date}}, [&](const SqlRow &row) {
            const QString number = row.text(0);
            if (!ignored_ || !ignored_(account, number))
                movements.emplace(Movement{row.integer(1), row.text(2), row.text(3)}, number);
        });
    return movements;
}

} // namespace bco::server
