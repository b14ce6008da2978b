#include "server/ledger/bank_statements.h"

#include <algorithm>
#include <map>
#include <set>

#include <QDateTime>
#include <QHash>
#include <QSet>

#include "framework/text/whole_characters.h"
#include "server/ledger/entry_kinds.h"
#include "server/ledger/numbering.h"
#include "server/ledger/stored_entry.h"
#include "server/storage/money.h"
#include "statements/bank_statement.h"

namespace bco::server {

namespace {

QString day(const QDate &date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QString lineOfFile(const ReceivedLine &line) {
    return line.fileLine > 0 ? QStringLiteral("Linha %1 do arquivo").arg(line.fileLine)
                             : QStringLiteral("Uma linha do arquivo");
}

void checkBalance(const ReceivedBalance &balance, const char *which, const ReceivedStatement &statement) {
    const QString name = QString::fromUtf8(which);
    if (balance.how != u'I' && balance.how != u'C' && balance.how != u'A')
        refuse(QStringLiteral("Origem do saldo %1 do extrato inválida: \"%2\" (use I, C ou A).")
                   .arg(name, QString(balance.how)));
    if (balance.how == u'A')
        return;
    if (!balance.date.isValid() || balance.date < statement.firstDay || balance.date > statement.lastDay)
        refuse(QStringLiteral("O saldo %1 do extrato deve ser de um dia do período de %2 a %3.")
                   .arg(name, day(statement.firstDay), day(statement.lastDay)));
}

QString cutDescription(const QString &text) {
    return leftWholeCharacters(text, MaxDescription);
}

} // namespace

void checkStatement(const ReceivedStatement &statement) {
    if (statement.format != u'O' && statement.format != u'C')
        refuse(QStringLiteral("Formato de extrato inválido: \"%1\" (use O para OFX ou C para CNAB 240).")
                   .arg(QString(statement.format)));
    const bool hex = statement.contentKey.size() == 64 &&
                     std::all_of(statement.contentKey.begin(), statement.contentKey.end(), [](QChar c) {
                         return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
                     });
    if (!hex)
        refuse(QStringLiteral("Identificação do arquivo do extrato inválida: deve ter 64 dígitos "
                              "hexadecimais."));
    if (!statement.firstDay.isValid() || !statement.lastDay.isValid() ||
        statement.firstDay > statement.lastDay)
        refuse(
            QStringLiteral("Período do extrato inválido: o arquivo deve dizer o primeiro e o último dia."));
    checkBalance(statement.opening, "inicial", statement);
    checkBalance(statement.closing, "final", statement);

    QSet<QString> ids;
    qint64 net = 0;
    for (const ReceivedLine &line : statement.lines) {
        const QString where = lineOfFile(line);
        if (line.bankId.isEmpty() || line.bankId.size() > MaxBankId)
            refuse(
                QStringLiteral("%1: a identificação do lançamento pelo banco deve ter de 1 a %2 caracteres.")
                    .arg(where)
                    .arg(MaxBankId));
        if (ids.contains(line.bankId))
            refuse(
                QStringLiteral("%1: a identificação \"%2\" se repete no arquivo.").arg(where, line.bankId));
        ids.insert(line.bankId);
        if (!line.date.isValid() || line.date < statement.firstDay || line.date > statement.lastDay)
            refuse(QStringLiteral("%1: a data deve ser um dia do período do extrato, de %2 a %3.")
                       .arg(where, day(statement.firstDay), day(statement.lastDay)));
        if (line.kind != u'C' && line.kind != u'D')
            refuse(
                QStringLiteral("%1: natureza inválida \"%2\" (use C ou D).").arg(where, QString(line.kind)));
        if (line.cents < 0)
            refuse(QStringLiteral("%1: o valor não pode ser negativo; a natureza diz se é crédito ou débito.")
                       .arg(where));
        if (line.document.size() > MaxDocument)
            refuse(QStringLiteral("%1: o documento tem mais de %2 caracteres.").arg(where).arg(MaxDocument));
        // The readers give each text on one line, as the screens and bco-import show it: a line break or a
        // tab would read there as another line or column of the statement.
        if (!isOneLine(line.document) || !isOneLine(line.description) || !isOneLine(line.bankId))
            refuse(QStringLiteral(
                       "%1: o documento, o histórico e a identificação do banco não podem ter quebras "
                       "de linha, tabulações ou outros caracteres de controle.")
                       .arg(where));
        // Each amount is below the books' largest, so the sum is checked before it could overflow.
        net += line.kind == u'C' ? line.cents : -line.cents;
        if (net > MaxStatementNetCents || net < -MaxStatementNetCents)
            refuse(
                QStringLiteral("%1: as linhas do extrato movem o saldo em mais do que um extrato pode mover.")
                    .arg(where));
    }
    // A balance the reader worked out must be the other one, stated, moved by the lines.
    if (statement.opening.how == u'C' &&
        (statement.closing.how != u'I' || statement.opening.cents != statement.closing.cents - net))
        refuse(QStringLiteral("O saldo inicial calculado do extrato não é o saldo final menos as linhas."));
    if (statement.closing.how == u'C' &&
        (statement.opening.how != u'I' || statement.closing.cents != statement.opening.cents + net))
        refuse(QStringLiteral("O saldo final calculado do extrato não é o saldo inicial mais as linhas."));
}

StoredStatement storeStatement(CallContext &context, const QString &account,
                               const ReceivedStatement &statement) {
    checkStatement(statement);
    Sql &sql = context.sql;
    // A bank's file names it by its code in the interbank standard (BANCO.CDBANCCNAB), which an installation
    // may keep apart from its own code of the bank.
    QStringList registered;
    QString interbankCode;
    sql.forEach(
        QStringLiteral("SELECT C.CDBANCO, C.CDAGENCIA, C.CDCONTCORR, (SELECT B.CDBANCCNAB FROM BANCO B WHERE "
                       "B.CDBANCO = C.CDBANCO) FROM CONTCORR C WHERE C.CDREDUCONT = :conta") +
            sql.forUpdate(),
        {{QStringLiteral("conta"), account}}, [&](const SqlRow &row) {
            registered = {row.text(0), row.text(1), row.text(2)};
            interbankCode = row.text(3).trimmed();
        });
    if (registered.isEmpty())
        refuse(QStringLiteral("Conta corrente %1 não cadastrada.").arg(account));
    StatementAccount named;
    named.bankCode = statement.bank.trimmed();
    named.agency = statement.agency.trimmed();
    named.agencyDigits = digitsOnly(statement.agency);
    named.agencyCheck = statement.agencyCheck.trimmed();
    named.account = statement.accountNumber.trimmed();
    named.accountDigits = digitsOnly(statement.accountNumber);
    named.accountCheck = statement.accountCheck.trimmed();
    if (!named.isEmpty() && !named.matches(registered[0], registered[1], registered[2]) &&
        (interbankCode.isEmpty() || !named.matches(interbankCode, registered[1], registered[2])))
        refuse(QStringLiteral("O extrato é do banco %1, agência %2, conta %3, e não da conta corrente %4 "
                              "(banco %5, agência %6, conta %7): nada foi gravado.")
                   .arg(named.bankCode, named.agency, named.account, account, registered[0], registered[1],
                        registered[2]));
    // A file that names its bank only (an OFX with BANKID and no account) is still that bank's.
    if (named.isEmpty() && !named.namesBank(registered[0]) &&
        (interbankCode.isEmpty() || !named.namesBank(interbankCode)))
        refuse(QStringLiteral(
                   "O extrato é do banco %1, e não da conta corrente %2 (banco %3): nada foi gravado.")
                   .arg(named.bankCode.left(20), account, registered[0]));

    StoredStatement stored;
    sql.forEach(
        QStringLiteral("SELECT CDSEQUEXBA FROM EXTRATOBANC WHERE CDREDUCONT = :conta AND CDCONTEUDO = "
                       ":conteudo"),
        {{QStringLiteral("conta"), account}, {QStringLiteral("conteudo"), statement.contentKey}},
        [&](const SqlRow &row) { stored.statement = row.text(0); });
    if (!stored.statement.isEmpty()) {
        stored.outcome = StoredStatement::Outcome::SameFile;
        stored.knownLines = static_cast<int>(statement.lines.size());
        stored.message =
            QStringLiteral("Este arquivo já foi importado no extrato %1 da conta corrente %2: nada "
                           "foi gravado.")
                .arg(stored.statement, account);
        return stored;
    }

    // A line is held when a line of its id's family holds its day, kind and value: the id itself, or, as a
    // reader names the lines of an id a file repeats and as lines are stored whose id was taken by another
    // movement (a day's file numbering its lines from 1 each day), the id with the line's day and an
    // occurrence ("X 20240312 #2"). Within a family and a day the lines are counted, not just looked up: a
    // bank may list a day's lines of one id in another order, or drop one, from one file to the next, and
    // each line held stands for one line of the file only. A new line is stored under its own id when that
    // is free, else under the first free occurrence, as the same file gives the same ids again.
    const auto lineKey = [](QDate day, const QString &kind, qint64 cents) {
        return QStringLiteral("%1 %2 %3").arg(day.toString(Qt::ISODate), kind).arg(cents);
    };
    const auto occurrencePrefix = [](const QString &bare, QDate day) {
        return QStringLiteral("%1 %2 #").arg(bare.left(BareIdLength), day.toString(u"yyyyMMdd"));
    };
    using Family = std::pair<QString, QDate>;        // a bare id and a day
    std::map<Family, std::map<QString, int>> heldIn; // line key -> how many lines of the family hold it
    {
        std::map<QDate, QSet<QString>> baresByDay;
        for (const ReceivedLine &line : statement.lines)
            baresByDay[line.date].insert(bareBankId(line.bankId, line.date));
        for (const auto &dayAndBares : baresByDay) {
            const QDate day = dayAndBares.first;
            const QSet<QString> &bares = dayAndBares.second;
            sql.forEach(
                QStringLiteral("SELECT IDBANCO, IDMOVEXTR, VRMOVEXTR FROM MOVEXTRATO WHERE CDREDUCONT = "
                               ":conta AND DTMOVEXTR = :dia"),
                {{QStringLiteral("conta"), account}, {QStringLiteral("dia"), day}}, [&](const SqlRow &row) {
                    const QString bare = bareBankId(row.text(0), day);
                    if (bares.contains(bare))
                        ++heldIn[{bare, day}][lineKey(day, row.text(1), row.integer(2))];
                });
        }
    }
    QSet<QString> idsOfThisFile;
    for (const ReceivedLine &line : statement.lines)
        idsOfThisFile.insert(line.bankId);
    QSet<QString> placedIds;
    const auto taken = [&](const QString &id) {
        return placedIds.contains(id) ||
               sql.scalar(
                      QStringLiteral("SELECT 1 FROM MOVEXTRATO WHERE CDREDUCONT = :conta AND IDBANCO = :id"),
                      {{QStringLiteral("conta"), account}, {QStringLiteral("id"), id}})
                   .has_value();
    };
    std::map<QString, int> occurrencesTried; // by occurrence prefix: the last one found taken
    QList<ReceivedLine> fresh;
    for (const ReceivedLine &line : statement.lines) {
        const Family family{bareBankId(line.bankId, line.date), line.date};
        int &held = heldIn[family][lineKey(line.date, QString(line.kind), line.cents)];
        if (held > 0) {
            --held;
            ++stored.knownLines;
            continue;
        }
        ReceivedLine placed = line;
        if (taken(line.bankId)) {
            const QString prefix = occurrencePrefix(family.first, line.date);
            int &tried = occurrencesTried[prefix];
            do
                placed.bankId = prefix + QString::number(++tried);
            while ((idsOfThisFile.contains(placed.bankId) && placed.bankId != line.bankId) ||
                   taken(placed.bankId));
        }
        placedIds.insert(placed.bankId);
        fresh.append(placed);
    }
    stored.newLines = static_cast<int>(fresh.size());
    if (fresh.isEmpty() && !statement.lines.isEmpty()) {
        stored.outcome = StoredStatement::Outcome::NoNewLines;
        stored.message =
            QStringLiteral("As %1 linhas deste arquivo já foram importadas na conta corrente %2: "
                           "nada foi gravado.")
                .arg(stored.knownLines)
                .arg(account);
        return stored;
    }

    qint64 last = 0;
    sql.forEach(QStringLiteral("SELECT CDSEQUEXBA FROM EXTRATOBANC WHERE CDREDUCONT = :conta"),
                {{QStringLiteral("conta"), account}}, [&](const SqlRow &row) {
                    bool number = false;
                    const qint64 value = row.text(0).trimmed().toLongLong(&number);
                    if (number)
                        last = std::max(last, value);
                });
    stored.statement = formatNumber(last + 1);
    const auto balanceDate = [](const ReceivedBalance &b) {
        return b.how == u'A' ? QVariant() : QVariant(b.date);
    };
    sql.execute(
        QStringLiteral("INSERT INTO EXTRATOBANC (CDREDUCONT, CDSEQUEXBA, DTINIEXTR, DTFIMEXTR, "
                       "VRSALDINIC, VRSALDFINA, CDCONTEUDO, IDFORMATO, IDSALDINIC, IDSALDFINA, "
                       "DTSALDINIC, DTSALDFINA, CDOPERADOR, DTHRIMPORT) VALUES (:conta, :extrato, "
                       ":inicio, :fim, :saldoinicial, :saldofinal, :conteudo, :formato, :origeminicial, "
                       ":origemfinal, :diainicial, :diafinal, :operador, :quando)"),
        {{QStringLiteral("conta"), account},
         {QStringLiteral("extrato"), stored.statement},
         {QStringLiteral("inicio"), statement.firstDay},
         {QStringLiteral("fim"), statement.lastDay},
         {QStringLiteral("saldoinicial"), statement.opening.how == u'A' ? 0 : statement.opening.cents},
         {QStringLiteral("saldofinal"), statement.closing.how == u'A' ? 0 : statement.closing.cents},
         {QStringLiteral("conteudo"), statement.contentKey},
         {QStringLiteral("formato"), QString(statement.format)},
         {QStringLiteral("origeminicial"), QString(statement.opening.how)},
         {QStringLiteral("origemfinal"), QString(statement.closing.how)},
         {QStringLiteral("diainicial"), balanceDate(statement.opening)},
         {QStringLiteral("diafinal"), balanceDate(statement.closing)},
         {QStringLiteral("operador"), context.operatorCode},
         {QStringLiteral("quando"), QDateTime::currentMSecsSinceEpoch()}});
    const QString insert = QStringLiteral(
        "INSERT INTO MOVEXTRATO (CDREDUCONT, CDSEQUEXBA, NRSEQMOVREBA, DTMOVEXTR, NRDOCEXTR, DSMOVEXTR, "
        "IDMOVEXTR, VRMOVEXTR, IDBANCO, NRLINHAARQ) VALUES (:conta, :extrato, :linha, :data, :documento, "
        ":descricao, :natureza, :valor, :id, :linhaarquivo)");
    qint64 number = 0;
    for (const ReceivedLine &placed : fresh) {
        const ReceivedLine *line = &placed;
        const QString document = line->document.trimmed();
        const QString description = cutDescription(line->description.trimmed());
        sql.execute(
            insert,
            {{QStringLiteral("conta"), account},
             {QStringLiteral("extrato"), stored.statement},
             {QStringLiteral("linha"), formatNumber(++number)},
             {QStringLiteral("data"), line->date},
             {QStringLiteral("documento"), document.isEmpty() ? QVariant() : QVariant(document)},
             {QStringLiteral("descricao"), description.isEmpty() ? QVariant() : QVariant(description)},
             {QStringLiteral("natureza"), QString(line->kind)},
             {QStringLiteral("valor"), line->cents},
             {QStringLiteral("id"), line->bankId},
             {QStringLiteral("linhaarquivo"), line->fileLine}});
    }
    context.reportWrite(account, {stored.statement});
    stored.message = QStringLiteral("Extrato %1 gravado na conta corrente %2 com %3 linha(s).")
                         .arg(stored.statement, account)
                         .arg(stored.newLines);
    if (stored.knownLines > 0)
        stored.message += QStringLiteral(" %1 linha(s) do arquivo já tinham sido importadas e foram deixadas "
                                         "de lado.")
                              .arg(stored.knownLines);
    return stored;
}

qint64 booksBalanceAtEndOf(Sql &sql, const QString &account, const QDate &day) {
    const SqlParams params{{QStringLiteral("conta"), account}};
    const auto opening =
        sql.scalar(QStringLiteral("SELECT VRSALDINIC FROM CONTCORR WHERE CDREDUCONT = :conta"), params);
    qint64 cents = opening ? opening->toLongLong() : 0;
    if (day < firstCalendarDay)
        return cents;
    // The sums of the months before the day's own, then of the days of its month up to the day, added here:
    // each sum fits in an integer, their total need not, and the databases' own sums would overflow apart
    // (SQLite into an inexact number, PostgreSQL in a failure).
    bool overflowed = false;
    const auto add = [&](const SqlRow &row) {
        // Credits and debits are each at least zero: their difference always fits, the running total
        // need not.
        overflowed = overflowed || __builtin_add_overflow(cents, row.integer(0) - row.integer(1), &cents);
    };
    const QDate month(day.year(), day.month(), 1);
    sql.forEach(QStringLiteral("SELECT VRCREDITO, VRDEBITO FROM SALDOMENSAL WHERE CDREDUCONT = :conta AND "
                               "DTMES < :mes"),
                {params[0], {QStringLiteral("mes"), month}}, add);
    sql.forEach(QStringLiteral("SELECT VRCREDITO, VRDEBITO FROM SALDODIARIO WHERE CDREDUCONT = :conta AND "
                               "DTSALDO >= :mes AND DTSALDO <= :data"),
                {params[0], {QStringLiteral("mes"), month}, {QStringLiteral("data"), day}}, add);
    if (overflowed)
        refuse(QStringLiteral("O saldo da conta corrente %1 em %2 passa do maior valor que o banco de dados "
                              "guarda.")
                   .arg(account, day.toString(QStringLiteral("dd/MM/yyyy"))));
    return cents;
}

QList<OpenLine> openLines(Sql &sql, const QString &account, const QString &statement) {
    QString query = QStringLiteral(
        "SELECT L.CDSEQUEXBA, L.NRSEQMOVREBA, L.NRVERSAO, L.DTMOVEXTR, L.IDMOVEXTR, L.VRMOVEXTR, L.NRDOCEXTR "
        "FROM MOVEXTRATO L WHERE L.CDREDUCONT = :conta AND NOT EXISTS (SELECT 1 FROM MOVBANCARIO M WHERE "
        "M.CDREDUCONT = L.CDREDUCONT AND M.CDSEQUEXBA = L.CDSEQUEXBA AND M.NRSEQMOVREBA = L.NRSEQMOVREBA)");
    SqlParams params{{QStringLiteral("conta"), account}};
    if (!statement.isEmpty()) {
        query += QStringLiteral(" AND L.CDSEQUEXBA = :extrato");
        params.push_back({QStringLiteral("extrato"), statement});
    }
    query += QStringLiteral(" ORDER BY L.CDSEQUEXBA, L.NRSEQMOVREBA");
    QList<OpenLine> lines;
    sql.forEach(query, params, [&](const SqlRow &row) {
        lines.append({row.text(0), row.text(1), row.integer(2), row.date(3), row.text(4).at(0),
                      row.integer(5), row.isNull(6) ? QString() : row.text(6)});
    });
    return lines;
}

QList<OpenMovement> openMovements(Sql &sql, const QString &account, const QDate &from, const QDate &to) {
    const SqlParams params{
        {QStringLiteral("conta"), account}, {QStringLiteral("inicio"), from}, {QStringLiteral("fim"), to}};
    QHash<QString, QString> cheques;
    sql.forEach(QStringLiteral("SELECT NRMOVBANC, NRCHEQUE FROM MOVDEBIBANC WHERE CDREDUCONT = :conta AND "
                               "DTMOVIDEBI >= :inicio AND DTMOVIDEBI <= :fim AND NRCHEQUE IS NOT NULL"),
                params, [&](const SqlRow &row) { cheques.insert(row.text(0), row.text(1)); });
    QSet<QString> reversed;
    sql.forEach(QStringLiteral("SELECT NRMOVBANCORIG FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
                               "NRMOVBANCORIG IS NOT NULL"),
                {params[0]}, [&](const SqlRow &row) { reversed.insert(row.text(0)); });
    QList<OpenMovement> movements;
    sql.forEach(
        QStringLiteral("SELECT NRMOVBANC, NRVERSAO, DTMOVBANC, IDMOVBANC, VRMOVBANC, NRDOCMBANC, "
                       "DSHISMBANC, NRMOVBANCORIG FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
                       "IDSTCONEXT = '0' AND DTMOVBANC >= :inicio AND DTMOVBANC <= :fim AND CDSEQUEXBA "
                       "IS NULL"),
        params, [&](const SqlRow &row) {
            OpenMovement m;
            m.number = row.text(0);
            m.version = row.integer(1);
            m.date = row.date(2);
            m.kind = row.text(3).at(0);
            m.cents = row.integer(4);
            m.document = row.isNull(5) ? QString() : row.text(5);
            m.description = row.isNull(6) ? QString() : row.text(6);
            m.cancelled = !row.isNull(7) || reversed.contains(m.number);
            m.cheque = cheques.value(m.number);
            movements.append(m);
        });
    return movements;
}

namespace {

struct HeldMovement {
    qint64 version = 0;
    QChar kind;
    qint64 cents = 0;
    QDate date;
    QString description;
    QString statement, line; // its reconciliation, empty when none
};

struct HeldLine {
    qint64 version = 0;
    QChar kind;
    qint64 cents = 0;
    QDate date;
    QStringList movements; // reconciled on it now, in the order of their numbers
};

using LineKey = std::pair<QString, QString>;

QString lineName(const LineKey &key, const HeldLine &line) {
    return QStringLiteral("linha %1 do extrato %2 (%3, %4 %5)")
        .arg(key.second, key.first, day(line.date),
             line.kind == u'C' ? QStringLiteral("crédito") : QStringLiteral("débito"),
             amountText(line.cents));
}

// The description an entry of `kind` was typed with, for the movement M of a query (none when M is not one).
QString typedDescription(const EntryKind &kind) {
    return QStringLiteral("(SELECT R.%1 FROM %2 R WHERE R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = "
                          "M.NRMOVBANC)")
        .arg(EntryKind::column(kind.description), EntryKind::column(kind.table));
}

} // namespace

int applyPairings(CallContext &context, const QString &account, const QList<Pairing> &pairings,
                  PairingAction action) {
    Sql &sql = context.sql;
    const bool reconciling = action == PairingAction::Reconcile;
    if (pairings.isEmpty())
        refuse(reconciling ? QStringLiteral("Nenhum par de linha e movimento a conciliar.")
                           : QStringLiteral("Nenhuma conciliação a desfazer."));
    std::map<LineKey, QStringList> named;   // line -> the movements the call names for it
    std::map<LineKey, qint64> lineVersions; // as the operator saw them
    std::map<QString, qint64> movementVersions;
    for (const Pairing &p : pairings) {
        if (p.statement.isEmpty() || p.line.isEmpty() || p.movement.isEmpty())
            refuse(QStringLiteral("Cada par deve dizer o extrato, a linha e o movimento."));
        if (!movementVersions.emplace(p.movement, p.movementVersion).second)
            refuse(
                QStringLiteral("O movimento %1 aparece mais de uma vez: nada foi gravado.").arg(p.movement));
        const LineKey key{p.statement, p.line};
        named[key].append(p.movement);
        const auto [seen, first] = lineVersions.emplace(key, p.lineVersion);
        if (!first && seen->second != p.lineVersion)
            refuse(QStringLiteral("A linha %1 do extrato %2 foi enviada com duas versões.")
                       .arg(p.line, p.statement));
    }

    // Movements first, then lines, each in the order of its key (std::map), as every writer holds them.
    std::map<QString, HeldMovement> movements;
    for (const auto &[number, version] : movementVersions) {
        std::optional<HeldMovement> held;
        sql.forEach(
            // The refusal names the entry by the description its operator typed, as the entry form does:
            // the movement's history carries the type's name and is cut.
            QStringLiteral("SELECT M.NRVERSAO, M.IDMOVBANC, M.VRMOVBANC, M.DTMOVBANC, COALESCE(%1, %2, "
                           "M.DSHISMBANC), M.CDSEQUEXBA, M.NRSEQMOVREBA FROM MOVBANCARIO M WHERE "
                           "M.CDREDUCONT = :conta AND M.NRMOVBANC = :movimento")
                    .arg(typedDescription(creditKind), typedDescription(debitKind)) +
                sql.forUpdate(u"M"),
            {{QStringLiteral("conta"), account}, {QStringLiteral("movimento"), number}},
            [&](const SqlRow &row) {
                held = HeldMovement{row.integer(0),
                                    row.text(1).at(0),
                                    row.integer(2),
                                    row.date(3),
                                    row.isNull(4) ? QString() : row.text(4).trimmed(),
                                    row.isNull(5) ? QString() : row.text(5),
                                    row.isNull(6) ? QString() : row.text(6)};
            });
        if (!held)
            refuse(QStringLiteral(
                       "O movimento %1 não existe na conta corrente %2 (excluído por outro operador?): "
                       "nada foi gravado.")
                       .arg(number, account));
        if (held->version != version) {
            // What the operator meets most is another operator's reconciliation of the same movement or its
            // undoing, which a change of the entry would be a misleading name for.
            const QString entry = QStringLiteral("O lançamento de %1, valor %2, \"%3\",")
                                      .arg(day(held->date), amountText(held->cents), held->description);
            if (reconciling && !held->statement.isEmpty())
                refuse(
                    QStringLiteral("%1 foi conciliado por outro operador, na linha %2 do extrato %3, depois "
                                   "que a lista foi carregada: nada foi gravado. Confira-o na lista "
                                   "atualizada.")
                        .arg(entry, held->line, held->statement));
            if (!reconciling && held->statement.isEmpty())
                refuse(QStringLiteral("%1 teve a conciliação desfeita por outro operador depois que a lista "
                                      "foi carregada: nada foi gravado. Confira-o na lista atualizada.")
                           .arg(entry));
            refuse(QStringLiteral("%1 %2: nada foi gravado. Confira-o na lista atualizada.")
                       .arg(entry, writtenSinceListed()));
        }
        movements.emplace(number, *held);
    }
    std::map<LineKey, HeldLine> lines;
    for (const auto &[key, version] : lineVersions) {
        std::optional<HeldLine> held;
        const SqlParams params{{QStringLiteral("conta"), account},
                               {QStringLiteral("extrato"), key.first},
                               {QStringLiteral("linha"), key.second}};
        sql.forEach(
            QStringLiteral("SELECT NRVERSAO, IDMOVEXTR, VRMOVEXTR, DTMOVEXTR FROM MOVEXTRATO WHERE "
                           "CDREDUCONT = :conta AND CDSEQUEXBA = :extrato AND NRSEQMOVREBA = :linha") +
                sql.forUpdate(),
            params, [&](const SqlRow &row) {
                held = HeldLine{row.integer(0), row.text(1).at(0), row.integer(2), row.date(3), {}};
            });
        if (!held)
            refuse(
                QStringLiteral("A linha %1 do extrato %2 não existe na conta corrente %3: nada foi gravado.")
                    .arg(key.second, key.first, account));
        if (held->version != version)
            refuse(QStringLiteral(
                       "A %1 foi conciliada, ou teve a conciliação desfeita, por outro operador depois "
                       "que a lista foi carregada: nada foi gravado.")
                       .arg(lineName(key, *held)));
        sql.forEach(
            QStringLiteral("SELECT NRMOVBANC FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND CDSEQUEXBA "
                           "= :extrato AND NRSEQMOVREBA = :linha ORDER BY NRMOVBANC"),
            params, [&](const SqlRow &row) { held->movements.append(row.text(0)); });
        lines.emplace(key, *held);
    }

    QStringList audit;
    for (const auto &[key, numbers] : named) {
        const HeldLine &line = lines.at(key);
        audit.append(key.first + u'/' + key.second);
        if (reconciling) {
            if (!line.movements.isEmpty())
                refuse(QStringLiteral("A %1 já está conciliada com o(s) movimento(s) %2: nada foi gravado.")
                           .arg(lineName(key, line), line.movements.join(QStringLiteral(", "))));
            qint64 sum = 0;
            for (const QString &number : numbers) {
                const HeldMovement &m = movements.at(number);
                if (!m.statement.isEmpty())
                    refuse(QStringLiteral(
                               "O movimento %1 já está conciliado na linha %2 do extrato %3: nada foi "
                               "gravado.")
                               .arg(number, m.line, m.statement));
                if (m.kind != line.kind)
                    refuse(QStringLiteral("O movimento %1 é um %2 e a %3 não: nada foi gravado.")
                               .arg(number,
                                    m.kind == u'C' ? QStringLiteral("crédito") : QStringLiteral("débito"),
                                    lineName(key, line)));
                sum += m.cents;
            }
            if (sum != line.cents)
                refuse(QStringLiteral(
                           "Os movimentos %1 somam %2 e a %3: os valores devem ser iguais, ao centavo. "
                           "Nada foi gravado.")
                           .arg(numbers.join(QStringLiteral(", ")), amountText(sum), lineName(key, line)));
        } else {
            if (line.movements.isEmpty())
                refuse(
                    QStringLiteral("A %1 não está conciliada: nada foi gravado.").arg(lineName(key, line)));
            QStringList sorted = numbers;
            sorted.sort();
            if (sorted != line.movements)
                refuse(
                    QStringLiteral("A %1 está conciliada com o(s) movimento(s) %2: a conciliação é desfeita "
                                   "inteira, com todos eles. Nada foi gravado.")
                        .arg(lineName(key, line), line.movements.join(QStringLiteral(", "))));
        }
        for (const QString &number : numbers) {
            SqlParams params{{QStringLiteral("conta"), account}, {QStringLiteral("movimento"), number}};
            if (reconciling) {
                params.push_back({QStringLiteral("extrato"), key.first});
                params.push_back({QStringLiteral("linha"), key.second});
            }
            sql.execute(reconciling
                            ? QStringLiteral("UPDATE MOVBANCARIO SET IDSTCONEXT = '1', CDSEQUEXBA = "
                                             ":extrato, NRSEQMOVREBA = :linha WHERE CDREDUCONT = :conta "
                                             "AND NRMOVBANC = :movimento")
                            : QStringLiteral("UPDATE MOVBANCARIO SET IDSTCONEXT = '0', CDSEQUEXBA = NULL, "
                                             "NRSEQMOVREBA = NULL WHERE CDREDUCONT = :conta AND "
                                             "NRMOVBANC = :movimento"),
                        params);
            audit.append(number);
        }
    }
    context.reportWrite(account, audit);
    return static_cast<int>(named.size());
}

} // namespace bco::server
