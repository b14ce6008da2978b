#include "server/ledger/repeated_movements.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QSet>

#include "framework/text/whole_characters.h"

namespace bco::server {

QString documentKeyOf(const QString &column) {
    const QString trimmed = QStringLiteral("TRIM(COALESCE(%1, ''))").arg(column);
    return QStringLiteral("CASE WHEN %1 <> '' AND LTRIM(%1, '0') = '' THEN '0' ELSE LTRIM(%1, '0') END")
        .arg(trimmed);
}

RepeatedMovements::RepeatedMovements(Sql &sql, Ignored ignored)
    : sql_(sql)
    , ignored_(std::move(ignored)) {
}

QString RepeatedMovements::take(const QString &account, QDate date, qint64 cents, const QString &document,
                                const QString &history, QChar kind) {
    if (!date.isValid())
        return {};
    auto day = days_.find({account, date});
    if (day == days_.end())
        day = days_.emplace(std::make_pair(account, date), read(account, date)).first;
    const QString shownDocument = documentKey(document),
                  shownHistory = trimBlanks(leftWholeCharacters(history, 40));
    // Of either kind when none is asked for: the first by number.
    std::deque<QString> *equal = nullptr;
    for (const QChar each : {QChar(u'C'), QChar(u'D')}) {
        if (!kind.isNull() && kind != each)
            continue;
        const auto found = day->second.find({each.unicode(), cents, shownDocument, shownHistory});
        if (found != day->second.end() && !found->second.empty() &&
            (equal == nullptr || found->second.front() < equal->front()))
            equal = &found->second;
    }
    if (equal == nullptr)
        return {};
    QString first = equal->front();
    equal->pop_front();
    return first;
}

namespace {

const QString selected =
    QStringLiteral("SELECT NRMOVBANC, VRMOVBANC, TRIM(COALESCE(NRDOCMBANC, '')), "
                   "TRIM(COALESCE(DSHISMBANC, '')), DTMOVBANC, IDMOVBANC FROM MOVBANCARIO ");

} // namespace

void RepeatedMovements::keep(const QString &account, const SqlRow &row, Day &day) const {
    const QString number = row.text(0);
    if (ignored_ && ignored_(account, number))
        return;
    const QString kind = row.text(5).trimmed().toUpper();
    day[Movement{kind.isEmpty() ? u' ' : kind.front().unicode(), row.integer(1), documentKey(row.text(2)),
                 row.text(3)}]
        .push_back(number);
}

// In the order of the numbers, so that equal movements are found first to last.
RepeatedMovements::Day RepeatedMovements::read(const QString &account, QDate date) const {
    Day movements;
    sql_.forEach(selected +
                     QStringLiteral("WHERE CDREDUCONT = :conta AND DTMOVBANC = :data ORDER BY NRMOVBANC"),
                 {{QStringLiteral("conta"), account}, {QStringLiteral("data"), date}},
                 [&](const SqlRow &row) { keep(account, row, movements); });
    return movements;
}

void RepeatedMovements::readAhead(const QString &account, const std::set<QDate> &dates) {
    std::vector<QDate> unread;
    for (const QDate &date : dates)
        if (date.isValid() && !days_.contains({account, date}))
            unread.push_back(date);
    // One text for every statement, whatever the count: the last day stands in for the days a statement
    // lacks, which IN takes as once.
    static const QString statement = [] {
        QStringList days;
        for (int i = 0; i < DaysPerStatement; ++i)
            days.append(QStringLiteral(":d%1").arg(i));
        return selected + QStringLiteral("WHERE CDREDUCONT = :conta AND DTMOVBANC IN (%1) ORDER BY NRMOVBANC")
                              .arg(days.join(QStringLiteral(", ")));
    }();
    for (size_t first = 0; first < unread.size(); first += DaysPerStatement) {
        const size_t end = std::min(unread.size(), first + DaysPerStatement);
        SqlParams params{{QStringLiteral("conta"), account}};
        for (size_t i = 0; i < DaysPerStatement; ++i)
            params.push_back({QStringLiteral("d%1").arg(i), unread[std::min(first + i, end - 1)]});
        std::map<QDate, Day> read;
        for (size_t i = first; i < end; ++i)
            read[unread[i]];
        sql_.forEach(statement, params, [&](const SqlRow &row) { keep(account, row, read[row.date(4)]); });
        for (auto &[date, day] : read)
            days_.emplace(std::make_pair(account, date), std::move(day));
    }
}

QStringList repetitionsNotShown(Sql &sql, const QString &account, QDate date, qint64 cents,
                                const QString &document, const QString &history, const QString &shown,
                                const QString &own) {
    QSet<QString> seen;
    for (const QString &movement : shown.split(u',', Qt::SkipEmptyParts))
        seen.insert(movement.trimmed());
    RepeatedMovements repeated(sql, [&own](const QString &, const QString &movement) {
        return !own.isEmpty() && movement.trimmed() == own.trimmed();
    });
    QStringList unseen;
    for (QString movement = repeated.take(account, date, cents, document, history); !movement.isEmpty();
         movement = repeated.take(account, date, cents, document, history))
        if (!seen.contains(movement.trimmed()))
            unseen << QStringLiteral("Movimento %1").arg(movement.trimmed());
    return unseen;
}

} // namespace bco::server
