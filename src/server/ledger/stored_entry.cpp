#include "server/ledger/stored_entry.h"

#include "server/ledger/open_items.h"
#include "server/ledger/result_rows.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

QString day(QDate date) {
    return date.toString(u"dd/MM/yyyy");
}

// The returned invoices and the advances the entry used, each with what it used of it.
void usedItems(Sql &sql, const StoredEntry &entry, QList<EntryLink> &links) {
    for (const OpenItemKind *kind :
         {&customerReturns, &supplierReturns, &customerAdvances, &supplierAdvances}) {
        const QStringList keys = kind->keyColumns();
        QStringList joined;
        for (const QString &key : keys)
            joined.append(QStringLiteral("A.%1 = U.%1").arg(key));
        const auto columns = static_cast<int>(keys.size());
        // Every kind's key is the branch, then the item's number (an advance's with its sequence and
        // instalment, which tell two instalments of one advance apart).
        sql.forEach(QStringLiteral("SELECT %1, A.%2, U.VRUTILIZADO FROM %3 U JOIN %4 A ON %5 "
                                   "WHERE U.CDREDUCONT = :conta AND U.NRMOVBANC = :movimento ORDER BY %1")
                        .arg(QStringLiteral("A.") + keys.join(u", A."), OpenItemKind::column(kind->date),
                             OpenItemKind::column(kind->useTable), OpenItemKind::column(kind->table),
                             joined.join(u" AND ")),
                    {{QStringLiteral("conta"), entry.account}, {QStringLiteral("movimento"), entry.movement}},
                    [&](const SqlRow &row) {
                        QString item = QString::fromUtf8(kind->name);
                        item[0] = item[0].toUpper();
                        QStringList number;
                        for (int column = 1; column < columns; ++column)
                            number.append(row.text(column));
                        links.append({kind == &customerReturns || kind == &supplierReturns
                                          ? EntryLink::Kind::ReturnedInvoice
                                          : EntryLink::Kind::Advance,
                                      QStringLiteral("%1 %2 da filial %3, de %4: o lançamento usou %5.")
                                          .arg(item, number.join(u'/'), row.text(0), day(row.date(columns)),
                                               amountText(row.integer(columns + 1)))});
                    });
    }
}

void discountedSlips(Sql &sql, const StoredEntry &entry, QList<EntryLink> &links) {
    if (!entry.kind->isCredit())
        return;
    sql.forEach(QStringLiteral("SELECT CDFILIAL, NRLANBOLREC, DTVENCBOLE, VRBOLETO FROM BOLETODESC "
                               "WHERE CDREDUCONT = :conta AND NRMOVICRED = :numero ORDER BY 1, 2"),
                {{QStringLiteral("conta"), entry.account}, {QStringLiteral("numero"), entry.number}},
                [&](const SqlRow &row) {
                    links.append(
                        {EntryLink::Kind::DiscountedSlip,
                         QStringLiteral("Boleto descontado %1 da filial %2, vencimento %3, valor %4.")
                             .arg(row.text(1), row.text(0), day(row.date(2)), amountText(row.integer(3)))});
                });
}

void loan(Sql &sql, const StoredEntry &entry, QList<EntryLink> &links) {
    if (entry.loan.isEmpty())
        return;
    QString description = QStringLiteral("Empréstimo %1.").arg(entry.loan);
    sql.forEach(
        QStringLiteral(
            "SELECT IDTIPOEMPR, DSEMPRESTIMO, DTCONTRATO FROM EMPRESTIMO WHERE NRSEQUENCIALEMP = :emp"),
        {{QStringLiteral("emp"), entry.loan}}, [&](const SqlRow &row) {
            description =
                QStringLiteral("%1 %2 (%3), contratado em %4.")
                    .arg(row.text(0) == u"L" ? QStringLiteral("Leasing") : QStringLiteral("Empréstimo"),
                         entry.loan, row.text(1), day(row.date(2)));
        });
    links.append({EntryLink::Kind::Loan, description});
}

void compensation(Sql &sql, const StoredEntry &entry, QList<EntryLink> &links) {
    if (entry.compensation.isEmpty())
        return;
    QString description = QStringLiteral("Compensação %1.").arg(entry.compensation);
    sql.forEach(
        QStringLiteral("SELECT DTCOMPENSACAO, DSCOMPENSACAO FROM COMPENSACAO WHERE NRCOMPENSACAO = :comp"),
        {{QStringLiteral("comp"), entry.compensation}}, [&](const SqlRow &row) {
            description = QStringLiteral("Compensação %1 de %2 (%3).")
                              .arg(entry.compensation, day(row.date(0)), row.text(1));
        });
    links.append({EntryLink::Kind::Compensation, description});
}

// Where a statement line is: its statement, number and date.
QString statementLine(Sql &sql, const QString &account, const QString &statement, const QString &line) {
    QString where = QStringLiteral("extrato %1, linha %2").arg(statement, line);
    sql.forEach(
        QStringLiteral("SELECT DTMOVEXTR FROM MOVEXTRATO WHERE CDREDUCONT = :conta AND CDSEQUEXBA = :extrato "
                       "AND NRSEQMOVREBA = :linha"),
        {{QStringLiteral("conta"), account},
         {QStringLiteral("extrato"), statement},
         {QStringLiteral("linha"), line}},
        [&](const SqlRow &row) { where += QStringLiteral(" de %1").arg(day(row.date(0))); });
    return where;
}

void sharedReconciliation(Sql &sql, const StoredEntry &entry, QList<EntryLink> &links) {
    if (!entry.reconciled())
        return;
    QStringList others;
    sql.forEach(QStringLiteral(
                    "SELECT NRMOVBANC FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND CDSEQUEXBA = :extrato "
                    "AND NRSEQMOVREBA = :linha AND NRMOVBANC <> :movimento ORDER BY NRMOVBANC"),
                {{QStringLiteral("conta"), entry.account},
                 {QStringLiteral("extrato"), entry.statement},
                 {QStringLiteral("linha"), entry.statementLine},
                 {QStringLiteral("movimento"), entry.movement}},
                [&](const SqlRow &row) { others.append(row.text(0)); });
    if (others.isEmpty())
        return;
    links.append({EntryLink::Kind::SharedReconciliation,
                  QStringLiteral("Conciliado no %1, junto com o(s) movimento(s) %2.")
                      .arg(statementLine(sql, entry.account, entry.statement, entry.statementLine),
                           others.join(QStringLiteral(", ")))});
}

void reconciledOrigin(Sql &sql, const StoredEntry &entry, QList<EntryLink> &links) {
    if (entry.origin.isEmpty())
        return;
    // Read whole before the statement line is looked up: PostgreSQL's driver reads one query at a time.
    QStringList reconciliation;
    sql.forEach(
        QStringLiteral("SELECT CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO WHERE CDREDUCONT = :conta "
                       "AND NRMOVBANC = :origem AND CDSEQUEXBA IS NOT NULL AND NRSEQMOVREBA IS NOT NULL"),
        {{QStringLiteral("conta"), entry.account}, {QStringLiteral("origem"), entry.origin}},
        [&](const SqlRow &row) {
            reconciliation = {row.text(0), row.text(1)};
        });
    if (reconciliation.isEmpty())
        return;
    links.append(
        {EntryLink::Kind::ReconciledReversalOrigin,
         QStringLiteral("Estorno do movimento %1, conciliado no %2.")
             .arg(entry.origin, statementLine(sql, entry.account, reconciliation[0], reconciliation[1]))});
}

} // namespace

namespace {

// The entry of `kind` in `account` that `condition` (over M, the movement, and R, the record) picks.
std::optional<StoredEntry> findEntryWhere(Sql &sql, const EntryKind &kind, const QString &account,
                                          const QString &condition, SqlParams params, bool forWriting) {
    std::optional<StoredEntry> found;
    const auto column = EntryKind::column;
    QString statement = QStringLiteral(
        "SELECT R.%date, R.%value, M.CDSEQUEXBA, M.NRSEQMOVREBA, M.NRMOVBANCORIG, M.NRSEQUENCIALEMP, "
        "M.NRCOMPENSACAO, R.CDEMPRESA, R.%type, R.NRLANCCONT, R.NRCHEQUE, R.CDCENTCUST, M.NRMOVBANC, "
        "R.%number, "
        "M.NRVERSAO, R.%description, R.CDFILIAL, R.CDCLIENTE, R.CDFORNECED, "
        "(SELECT T.%typeName FROM %typeTable T WHERE T.%type = R.%type) "
        "FROM MOVBANCARIO M JOIN %table R ON R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = M.NRMOVBANC "
        "WHERE M.CDREDUCONT = :conta AND ");
    statement.replace(QStringLiteral("%date"), column(kind.date))
        .replace(QStringLiteral("%value"), column(kind.value))
        .replace(QStringLiteral("%typeName"), column(kind.typeName))
        .replace(QStringLiteral("%typeTable"), column(kind.typeTable))
        .replace(QStringLiteral("%type"), column(kind.type))
        .replace(QStringLiteral("%number"), column(kind.number))
        .replace(QStringLiteral("%description"), column(kind.description))
        .replace(QStringLiteral("%table"), column(kind.table));
    statement += condition;
    params.push_back({QStringLiteral("conta"), account});
    // Only the movement is held: every call that writes an existing entry takes its movement first. It is
    // taken by a statement of its own: a statement that waited for the lock reads the movement as its
    // holder left it but the record as it was before, so that a debit whose cheque was recorded meanwhile
    // would read without it. The read that follows sees every write committed before the lock was had.
    // The read holds it too, should the movement have come into being between the two statements.
    const QString lock = forWriting ? sql.forUpdate(u"M") : QString();
    if (!lock.isEmpty())
        sql.forEach(statement + lock, params, [](const SqlRow &) {});
    sql.forEach(statement + lock, params, [&](const SqlRow &row) {
        StoredEntry entry;
        entry.kind = &kind;
        entry.account = account;
        entry.date = row.date(0);
        entry.cents = row.integer(1);
        entry.statement = row.text(2);
        entry.statementLine = row.text(3);
        entry.origin = row.text(4);
        entry.loan = row.text(5);
        entry.compensation = row.text(6);
        entry.company = row.text(7);
        entry.type = row.text(8);
        entry.accountingNumber = row.text(9);
        entry.cheque = row.text(10);
        entry.costCentre = row.text(11);
        entry.movement = row.text(12);
        entry.number = row.text(13);
        entry.version = row.integer(14);
        entry.description = row.text(15);
        entry.branch = row.text(16);
        entry.customer = row.text(17);
        entry.supplier = row.text(18);
        entry.typeName = row.text(19);
        found = entry;
    });
    return found;
}

} // namespace

std::optional<StoredEntry> findEntry(Sql &sql, const EntryKind &kind, const QString &account,
                                     const QString &movement, const QString &number, bool forWriting) {
    return findEntryWhere(
        sql, kind, account,
        QStringLiteral("M.NRMOVBANC = :movimento AND R.%1 = :numero").arg(EntryKind::column(kind.number)),
        {{QStringLiteral("movimento"), movement}, {QStringLiteral("numero"), number}}, forWriting);
}

std::optional<StoredEntry> findEntryByNumber(Sql &sql, const EntryKind &kind, const QString &account,
                                             const QString &number, bool forWriting) {
    return findEntryWhere(
        sql, kind, account,
        QStringLiteral("R.CDREDUCONT = :conta AND R.%1 = :numero").arg(EntryKind::column(kind.number)),
        {{QStringLiteral("numero"), number}}, forWriting);
}

QList<EntryLink> linksOf(Sql &sql, const StoredEntry &entry) {
    QList<EntryLink> links;
    usedItems(sql, entry, links);
    discountedSlips(sql, entry, links);
    loan(sql, entry, links);
    compensation(sql, entry, links);
    sharedReconciliation(sql, entry, links);
    reconciledOrigin(sql, entry, links);
    return links;
}

QString refusalKey(EntryLink::Kind kind, bool deleting) {
    switch (kind) {
    case EntryLink::Kind::ReturnedInvoice:
        // Deleting the entry gives the returned invoice back; changing it would settle it anew.
        return deleting ? QString() : QStringLiteral("Devo_NAlter");
    case EntryLink::Kind::Advance:
        // Deleting the entry gives the advance back; a change writes nothing the advance depends on.
        return {};
    case EntryLink::Kind::DiscountedSlip:
        return QStringLiteral("Oper_blo");
    case EntryLink::Kind::Loan:
        return deleting ? QStringLiteral("LancEmpr") : QStringLiteral("LancEmprAlt");
    case EntryLink::Kind::Compensation:
        return deleting ? QStringLiteral("ExcLancComp") : QStringLiteral("AltLancComp");
    case EntryLink::Kind::SharedReconciliation:
        return deleting ? QStringLiteral("Excl_Nao_Permitida") : QStringLiteral("Alt_Nao_Permitida");
    case EntryLink::Kind::ReconciledReversalOrigin:
        return QStringLiteral("MovBancOrig_Conc");
    }
    return {};
}

QString linkCode(EntryLink::Kind kind) {
    switch (kind) {
    case EntryLink::Kind::ReturnedInvoice:
        return QStringLiteral("DEVOLUCAO");
    case EntryLink::Kind::Advance:
        return QStringLiteral("ADIANTAMENTO");
    case EntryLink::Kind::DiscountedSlip:
        return QStringLiteral("BOLETO");
    case EntryLink::Kind::Loan:
        return QStringLiteral("EMPRESTIMO");
    case EntryLink::Kind::Compensation:
        return QStringLiteral("COMPENSACAO");
    case EntryLink::Kind::SharedReconciliation:
        return QStringLiteral("CONCILIACAO");
    case EntryLink::Kind::ReconciledReversalOrigin:
        return QStringLiteral("ESTORNO");
    }
    return {};
}

const EntryKind &kindOfLetter(const QString &letter) {
    const QString kind = letter.trimmed().toUpper();
    if (kind == u"C")
        return creditKind;
    if (kind == u"D")
        return debitKind;
    throw Refusal(QStringLiteral("Forma de lançamento inválida: \"%1\" (use C ou D).").arg(kind));
}

namespace {

StoredEntry found(const std::optional<StoredEntry> &entry, const EntryKind &kind, const QString &account,
                  const QString &movement, const QString &number) {
    if (!entry)
        throw Refusal(QStringLiteral("Lançamento não encontrado: movimento %1, %2 %3 da conta corrente %4.")
                          .arg(movement, QString::fromUtf8(kind.name), number, account));
    return *entry;
}

} // namespace

StoredEntry requireEntry(CallContext &context, const EntryKind &kind, const QString &account,
                         const QString &movement, const QString &number, bool forWriting) {
    requireAccount(context, account);
    return found(findEntry(context.sql, kind, account, movement, number, forWriting), kind, account, movement,
                 number);
}

StoredEntry requireUnchangedEntry(CallContext &context, const EntryKind &kind, const QString &account,
                                  const QString &movement, const QString &number, const ListedEntry &listed) {
    requireAccount(context, account);
    const auto entry = findEntry(context.sql, kind, account, movement, number, true);
    // A movement the account never held was deleted by no other operator: not found.
    if (entry || wasDeleted(context.sql, account, "MOVBANCARIO", movement))
        refuseIfWrittenSince(entry, listed);
    return found(entry, kind, account, movement, number);
}

bool wasDeleted(Sql &sql, const QString &account, const char *table, const QString &number) {
    return sql
        .scalar(
            QStringLiteral("SELECT 1 FROM NUMEROEXCLUIDO WHERE CDREDUCONT = :conta AND NMTABELA = :tabela "
                           "AND NRNUMERO = :numero"),
            {{QStringLiteral("conta"), account},
             {QStringLiteral("tabela"), QString::fromLatin1(table)},
             {QStringLiteral("numero"), number}})
        .has_value();
}

std::optional<qint64> listedVersion(const VariantList &args, size_t position) {
    if (args.size() <= position || args[position].isNull())
        return std::nullopt;
    const Variant &value = args[position];
    if (value.type() == VariantType::Int)
        return value.toInt();
    const QString digits = value.toText().trimmed();
    if (digits.isEmpty())
        return std::nullopt;
    bool whole = false;
    const qint64 version = digits.toLongLong(&whole);
    if (!whole || version < 0)
        throw std::invalid_argument("the entry's version must be a whole number");
    return version;
}

void refuseIfWrittenSince(const std::optional<StoredEntry> &stored, const ListedEntry &listed) {
    if (!listed.version)
        return;
    if (!stored)
        refuse(QStringLiteral("O lançamento %1 (%2), foi excluído por outro operador depois que a lista foi "
                              "carregada: nada foi gravado.")
                   .arg(entryInWords(listed.date, listed.cents), listed.reference));
    if (stored->version != *listed.version)
        refuse(QStringLiteral("O lançamento %1, \"%2\", %3: nada foi gravado. Confira-o na lista atualizada.")
                   .arg(entryInWords(stored->date, stored->cents), stored->description.trimmed(),
                        writtenSinceListed()));
}

QString writtenSinceListed() {
    return QStringLiteral("foi gravado por outro operador depois que a lista foi carregada (alterado, "
                          "conciliado, com a conciliação desfeita ou com um cheque emitido)");
}

QString entryInWords(QDate date, qint64 cents) {
    return QStringLiteral("de %1, valor %2").arg(day(date), amountText(cents));
}

std::optional<DataPacket> refusalByLinks(Sql &sql, const StoredEntry &entry, bool deleting) {
    const QList<EntryLink> links = linksOf(sql, entry);
    for (const EntryLink &link : links) {
        const QString key = refusalKey(link.kind, deleting);
        if (key.isEmpty())
            continue;
        QStringList details;
        for (const EntryLink &same : links) {
            if (same.kind == link.kind)
                details.append(same.description);
        }
        return refusalResult(key, details);
    }
    return std::nullopt;
}

qint64 sharedReconciliations(Sql &sql, const QString &account, const QString &statement, const QString &line,
                             const QString &movement) {
    if (statement.isEmpty() || line.isEmpty())
        return 0;
    QString query =
        QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND CDSEQUEXBA = :extrato "
                       "AND NRSEQMOVREBA = :linha");
    SqlParams params{{QStringLiteral("conta"), account},
                     {QStringLiteral("extrato"), statement},
                     {QStringLiteral("linha"), line}};
    if (!movement.isEmpty()) {
        query += QStringLiteral(" AND NRMOVBANC <> :movimento");
        params.push_back({QStringLiteral("movimento"), movement});
    }
    const auto count = sql.scalar(query, params);
    return count ? count->toLongLong() : 0;
}

} // namespace bco::server
