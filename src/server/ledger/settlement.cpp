#include "server/ledger/settlement.h"

#include <algorithm>
#include <map>
#include <utility>

#include "server/storage/money.h"
#include "server/transport/access.h"
#include "server/transport/method_registry.h"

namespace bco::server {

namespace {

// "A.CDFILIAL = :k0 AND A.NRLANCTONF = :k1 ...", with its parameters.
QString keyCondition(const OpenItemKind &kind, const QStringList &key, SqlParams &params) {
    QStringList conditions;
    const QStringList columns = kind.keyColumns();
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const QString name = QStringLiteral("k%1").arg(i);
        conditions.append(QStringLiteral("%1 = :%2").arg(columns[i], name));
        params.push_back({name, key[i]});
    }
    return conditions.join(u" AND ");
}

// The discounts one selection asks for, in cents, added into `wanted` by item and into `total`, which may
// not pass `limit` (the entry's value): checked at each row, so that no sum of forged rows overflows.
void addWanted(const Selection &selection, int order, qint64 limit, qint64 &total,
               std::map<std::pair<int, QStringList>, qint64> &wanted) {
    const OpenItemKind &kind = *selection.kind;
    const Variant &rows = *selection.rows;
    const QString what =
        QStringLiteral("%1 do %2").arg(QString::fromUtf8(kind.name), QString::fromLatin1(kind.partyName));
    if (rows.isNull())
        return;
    if (!rows.isPacket())
        refuse(QStringLiteral("Seleção de %1 inválida.").arg(what));
    const DataPacket &packet = rows.packet();
    const int mark = packet.fieldIndex(u"IDMARCADO");
    const int discount = packet.fieldIndex(u"VRDESCONTO");
    // Rows that cannot say what they discount are refused, not taken for nothing chosen: the entry would be
    // written as if the operator had discounted nothing.
    for (const auto &[column, index] : {std::pair{"IDMARCADO", mark}, std::pair{"VRDESCONTO", discount}})
        if (index < 0 && packet.rowCount() > 0)
            refuse(QStringLiteral("Seleção de %1 inválida: falta %2.").arg(what, QLatin1String(column)));
    std::vector<int> keyFields;
    for (const QString &column : kind.keyColumns())
        keyFields.push_back(packet.fieldIndex(column));
    for (int row = 0; row < packet.rowCount(); ++row) {
        if (packet.value(row, mark).toText().trimmed() != u"S")
            continue;
        const Variant amount = packet.value(row, discount);
        if (amount.isNull())
            continue;
        const auto cents = centsFromAmount(amount.toFloat());
        // A negative discount is no choice the form can make: skipped, the entry would be written as if
        // nothing of the row had been marked.
        if (!cents || *cents < 0)
            refuse(
                QStringLiteral("Seleção de %1 inválida: valor a descontar %2.").arg(what, amount.toText()));
        if (*cents == 0)
            continue;
        QStringList key;
        for (size_t i = 0; i < keyFields.size(); ++i) {
            const QString value = keyFields[i] >= 0 ? code(packet.value(row, keyFields[i])) : QString();
            if (value.isEmpty())
                refuse(QStringLiteral("Seleção de %1 inválida: falta %2.").arg(what, kind.keyColumns()[i]));
            key.append(value);
        }
        wanted[{order, key}] += *cents;
        total += *cents;
        if (total > limit)
            refuse(QStringLiteral("Operação bloqueada. O valor a descontar não pode ser maior que o valor do "
                                  "lançamento: os adiantamentos e as devoluções marcados somam mais que %1.")
                       .arg(amountText(limit)));
    }
}

} // namespace

Settlement checkedSettlement(Sql &sql, const std::array<Selection, 4> &selections,
                             const EntryToAccount &entry) {
    // By selection and item: rows that name one item twice add up, and every entry locks items in this order.
    // Advances and returns of either party all discount the one entry: together they may not pass its value.
    std::map<std::pair<int, QStringList>, qint64> wanted;
    qint64 total = 0;
    for (int order = 0; order < static_cast<int>(selections.size()); ++order)
        addWanted(selections[static_cast<size_t>(order)], order, entry.cents, total, wanted);

    const QString lock = sql.forUpdate();
    Settlement settlement;
    for (const auto &[item, cents] : wanted) {
        const OpenItemKind &kind = *selections[static_cast<size_t>(item.first)].kind;
        const QStringList &key = item.second;
        const QString partyName = QString::fromLatin1(kind.partyName);
        const QString party = kind.customer ? entry.customer : entry.supplier;
        if (party.isEmpty())
            refuse(QStringLiteral("Um lançamento sem %1 não pode descontar %2 de %1.")
                       .arg(partyName, QString::fromUtf8(kind.name)));

        SqlParams params{{QStringLiteral("empresa"), entry.company}, {QStringLiteral("parte"), party}};
        const QString condition = keyCondition(kind, key, params);
        const auto value =
            sql.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 AND CDEMPRESA = :empresa AND %4 = :parte")
                               .arg(OpenItemKind::column(kind.value), OpenItemKind::column(kind.table),
                                    condition, OpenItemKind::column(kind.party)) +
                           lock,
                       params);
        // Gone since the discount form listed it (deleted by another program, or never the party's).
        if (!value)
            refuse(
                QStringLiteral("Não existe %1 %2 do %3 %4 na empresa %5. Nada foi gravado: confirme de novo "
                               "para escolher entre o que está disponível agora.")
                    .arg(QString::fromUtf8(kind.name), key.join(u'/'), partyName, party, entry.company));
        SqlParams keyParams;
        const QString useCondition = keyCondition(kind, key, keyParams);
        const qint64 used = sql.scalar(QStringLiteral("SELECT COALESCE(SUM(VRUTILIZADO), 0) FROM %1 WHERE %2")
                                           .arg(OpenItemKind::column(kind.useTable), useCondition),
                                       keyParams)
                                ->toLongLong();
        const qint64 left = value->toLongLong() - used;
        if (cents > left) {
            settlement.uses.clear();
            settlement.refusedWith = QString::fromLatin1(kind.usedKey);
            // The catalogue's text does not say which item, nor that another entry may have taken it since
            // the discount form showed it.
            // Named by the date the discount form lists it by, as well as by its key.
            SqlParams dateParams;
            const QString dateCondition = keyCondition(kind, key, dateParams);
            const QDate listedOn = sql.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                                  .arg(OpenItemKind::column(kind.date),
                                                       OpenItemKind::column(kind.table), dateCondition),
                                              dateParams)
                                       .value_or(QVariant())
                                       .toDate();
            const QString name = QString::fromUtf8(kind.name);
            settlement.refusalDetails.append(
                QStringLiteral("%1 %2%3 do %4 %5: restam %6, e o lançamento descontaria %7. Nada foi "
                               "gravado: confirme de novo para escolher do que resta agora.")
                    .arg(name.left(1).toUpper() + name.mid(1), key.join(u'/'),
                         listedOn.isValid() ? QStringLiteral(" de %1").arg(listedOn.toString(u"dd/MM/yyyy"))
                                            : QString(),
                         partyName, party, amountText(std::max<qint64>(left, 0)), amountText(cents)));
            return settlement;
        }
        settlement.uses.push_back({&kind, key, cents});
    }
    return settlement;
}

void writeSettlement(Sql &sql, const Settlement &settlement, const EntryToAccount &entry) {
    for (const Settlement::Use &use : settlement.uses) {
        QStringList placeholders;
        SqlParams params;
        const QStringList columns = use.kind->keyColumns();
        for (qsizetype i = 0; i < columns.size(); ++i) {
            placeholders.append(QStringLiteral(":k%1").arg(i));
            params.push_back({QStringLiteral("k%1").arg(i), use.key[i]});
        }
        params.push_back({QStringLiteral("conta"), entry.account});
        params.push_back({QStringLiteral("movimento"), entry.movement});
        params.push_back({QStringLiteral("valor"), use.cents});
        sql.execute(
            QStringLiteral("INSERT INTO %1 (%2, CDREDUCONT, NRMOVBANC, VRUTILIZADO) VALUES (%3, :conta, "
                           ":movimento, :valor)")
                .arg(OpenItemKind::column(use.kind->useTable), columns.join(u", "), placeholders.join(u", ")),
            params);
    }
}

} // namespace bco::server
