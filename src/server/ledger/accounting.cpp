#include "server/ledger/accounting.h"

#include <cstdlib>

#include "framework/data/variant.h"
#include "server/ledger/numbering.h"
#include "server/storage/money.h"
#include "server/transport/method_registry.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

const Columns lineColumns = {
    {QStringLiteral("CDEMPRESA"), Kind::Text, 2},     {QStringLiteral("CDCONTREDU"), Kind::Text, 20},
    {QStringLiteral("NMCONTCTBL"), Kind::Text, 40},   {QStringLiteral("NRLANCCTBTEMP"), Kind::Text, 20},
    {QStringLiteral("NRSEQCTBTEMP"), Kind::Text, 6},  {QStringLiteral("CDCONTCTBL"), Kind::Text, 20},
    {QStringLiteral("CDHISTPADR"), Kind::Text, 4},    {QStringLiteral("DSHISTCTB"), Kind::Text, 200},
    {QStringLiteral("DTLANCCTBTEMP"), Kind::Date, 0}, {QStringLiteral("VRLANCCTBTEMP"), Kind::Float, 0},
    {QStringLiteral("IDLANCCTBCOME"), Kind::Text, 1}, {QStringLiteral("CDLANCCTBCOME"), Kind::Text, 21},
    {QStringLiteral("NMEMPRESA"), Kind::Text, 40},    {QStringLiteral("CDDOCUCONT"), Kind::Text, 40},
};

const Columns shareColumns = {
    {QStringLiteral("CDFILIAL"), Kind::Text, 4},       {QStringLiteral("NMFILIAL"), Kind::Text, 30},
    {QStringLiteral("CDCENTCUST"), Kind::Text, 4},     {QStringLiteral("NMCENTCUST"), Kind::Text, 40},
    {QStringLiteral("VRLANCCUST"), Kind::Float, 0},    {QStringLiteral("NRSEQCTBTEMP"), Kind::Text, 6},
    {QStringLiteral("NRLANCCTBTEMP"), Kind::Text, 12}, {QStringLiteral("DTCOMPCTBTEMP"), Kind::Date, 0},
    {QStringLiteral("CDEMPRESA"), Kind::Text, 2},      {QStringLiteral("NRSEQRATTEMP"), Kind::Text, 5},
};

const Columns errorColumns = {
    {QStringLiteral("CDERROTEMP"), Kind::Text, 3},
    {QStringLiteral("NRSEQCTBTEMP"), Kind::Text, 5},
};

const QString missingAccount = QStringLiteral("001");
const QString closedAccount = QStringLiteral("002");
const QString missingCostCentre = QStringLiteral("003");
const QString outsidePeriod = QStringLiteral("004");
const QString apportionmentNotWhole = QStringLiteral("005");

QString text(const std::optional<QVariant> &value) {
    return value ? value->toString() : QString();
}

QVariant orNull(const QString &value) {
    return value.isEmpty() ? QVariant() : QVariant(value);
}

// The cents of `hundredths` (of a percent, up to 10000) of `cents`, cut down. The product itself passes 64
// bits for amounts the server admits (up to 10^15 cents), so the whole ten-thousandths are taken apart from
// the rest: cents = 10000q + r gives cents * h / 10000 = q * h + r * h / 10000, each term well within range.
qint64 shareOf(qint64 cents, qint64 hundredths) {
    return cents / 10000 * hundredths + cents % 10000 * hundredths / 10000;
}

} // namespace

// Periods are closed, and days blocked, by other programs: a write waits for one being closed meanwhile and
// sees it closed, and a closing waits for the writes that saw the period open.
bool isOpenPeriod(Sql &sql, const QString &company, QDate date) {
    return sql
        .scalar(QStringLiteral("SELECT 1 FROM PERIODOCTB WHERE CDEMPRESA = :empresa AND DTINIPERI <= :data "
                               "AND DTFIMPERI >= :data AND IDSITUPERI = 'A'") +
                    sql.forShare(),
                {{QStringLiteral("empresa"), company}, {QStringLiteral("data"), date}})
        .has_value();
}

void refuseBlockedDay(Sql &sql, const QString &operatorCode, QDate date) {
    // The rule's row is held whatever it says, so that a rule being turned on meanwhile is waited for.
    const std::optional<QVariant> closedUpTo = sql.scalar(
        QStringLiteral("SELECT CASE WHEN IDBLOQDATA = 'S' THEN DTBLOQATE END FROM PARAMGERAL WHERE "
                       "TRIM(CDMODULO) = 'BCO_'") +
        sql.forShare());
    if (closedUpTo && closedUpTo->toDate().isValid() && date <= closedUpTo->toDate() &&
        sql.scalar(QStringLiteral("SELECT IDLIBBLOQ FROM OPERADOR WHERE CDOPERADOR = :operador"),
                   {{QStringLiteral("operador"), operatorCode}})
                .value_or(QVariant())
                .toString() != u"S")
        refuse(QStringLiteral("Operação bloqueada! Data deve ser maior ou igual a data de processamento."));
}

void refuseClosedDay(Sql &sql, const QString &operatorCode, const QString &company, QDate date) {
    refuseBlockedDay(sql, operatorCode, date);
    if (!isOpenPeriod(sql, company, date))
        refuse(QStringLiteral("Data do lançamento fora do período contábil."));
}

ClosedDays::ClosedDays(Sql &sql, QString operatorCode)
    : sql_(sql)
    , operatorCode_(std::move(operatorCode)) {
}

void ClosedDays::refuseIfClosed(const QString &company, QDate date) {
    if (open_.contains({company, date}))
        return;
    refuseClosedDay(sql_, operatorCode_, company, date);
    open_.emplace(company, date);
}

AccountingCatalogue::AccountingCatalogue(Sql &sql)
    : sql_(sql) {
}

const AccountingCatalogue::TypeInfo &AccountingCatalogue::type(const EntryKind &kind, const QString &code) {
    const auto key = std::make_pair(kind.letter, code);
    if (const auto found = types_.find(key); found != types_.end())
        return found->second;
    TypeInfo info;
    sql_.forEach(QStringLiteral("SELECT T.%1, T.CDCONTCTBL, T.CDHISTPADR, H.DSHISTPADR FROM %2 T "
                                "LEFT JOIN HISTPADR H ON H.CDHISTPADR = T.CDHISTPADR WHERE T.%3 = :tipo")
                     .arg(EntryKind::column(kind.typeAccounted), EntryKind::column(kind.typeTable),
                          EntryKind::column(kind.type)),
                 {{QStringLiteral("tipo"), code}}, [&](const SqlRow &row) {
                     info.accounted = row.text(0) == u"S";
                     info.ledger = row.text(1);
                     info.history = row.text(2);
                     info.historyText = row.text(3);
                 });
    const QString apportionment = EntryKind::column(kind.apportionmentTable);
    sql_.forEach(
        QStringLiteral("SELECT R.CDFILIAL, F.NMFILIAL, R.CDCENTCUST, C.NMCENTCUST, R.PCRATEIO, F.CDEMPRESA "
                       "FROM %1 R JOIN FILIAL F ON F.CDFILIAL = R.CDFILIAL "
                       "LEFT JOIN CENTCUST C ON C.CDCENTCUST = R.CDCENTCUST "
                       "WHERE R.%2 = :tipo ORDER BY R.CDFILIAL, R.CDCENTCUST")
            .arg(apportionment, EntryKind::column(kind.type)),
        {{QStringLiteral("tipo"), code}}, [&](const SqlRow &row) {
            info.portions.append(
                {row.text(0), row.text(1), row.text(2), row.text(3), row.integer(4), row.text(5)});
        });
    return types_.emplace(key, info).first->second;
}

const std::optional<AccountingCatalogue::LedgerInfo> &AccountingCatalogue::ledger(const QString &code) {
    if (const auto found = ledgers_.find(code); found != ledgers_.end())
        return found->second;
    std::optional<LedgerInfo> info;
    sql_.forEach(QStringLiteral("SELECT NMCONTCTBL, CDCONTREDU, IDACEITALANC, IDOBRIGCENTCUST, IDTIPOCOME "
                                "FROM CONTCTBL WHERE CDCONTCTBL = :conta"),
                 {{QStringLiteral("conta"), code}}, [&](const SqlRow &row) {
                     info = LedgerInfo{row.text(0), row.text(1), row.text(2) == u"S", row.text(3) == u"S",
                                       row.text(4)};
                 });
    return ledgers_.emplace(code, info).first->second;
}

QString AccountingCatalogue::lookUp(std::map<QString, QString> &cache, const QString &sql,
                                    const QString &key) {
    if (const auto found = cache.find(key); found != cache.end())
        return found->second;
    return cache.emplace(key, text(sql_.scalar(sql, {{QStringLiteral("chave"), key}}))).first->second;
}

bool AccountingCatalogue::budgetsByCostCentre() {
    if (!budgetsByCostCentre_)
        budgetsByCostCentre_ =
            text(sql_.scalar(QStringLiteral("SELECT IDTIPOORCA FROM GERPARAMGERAL WHERE CDPARAM = 1"))) ==
            u"C";
    return *budgetsByCostCentre_;
}

bool AccountingCatalogue::openPeriod(const QString &company, QDate date) {
    const auto key = std::make_pair(company, date.toJulianDay());
    if (const auto found = periods_.find(key); found != periods_.end())
        return found->second;
    return periods_.emplace(key, isOpenPeriod(sql_, company, date)).first->second;
}

// A line's ledger account as the catalogue has it; the account must exist and take entries.
void AccountingCatalogue::describe(AccountingLine &line, AccountingDraft &draft, bool &requiresCostCentre) {
    const std::optional<LedgerInfo> &info = ledger(line.ledger);
    requiresCostCentre = info && info->requiresCostCentre;
    if (!info) {
        draft.errors.append({missingAccount, line.sequence});
        return;
    }
    line.ledgerName = info->name;
    line.reducedCode = info->reducedCode;
    if (!info->acceptsEntries)
        draft.errors.append({closedAccount, line.sequence});
}

// The shares of the type's apportionment among the company's branches, or the entry's own branch and cost
// centre; see the header for how the value is divided.
QList<AccountingShare> AccountingCatalogue::apportion(const EntryToAccount &entry, const TypeInfo &type,
                                                      int line, AccountingDraft &draft) {
    QList<const Portion *> portions;
    qint64 hundredths = 0;
    for (const Portion &portion : type.portions) {
        if (portion.company == entry.company) {
            portions.append(&portion);
            hundredths += portion.hundredthsOfPercent;
        }
    }
    // Each share's percentage may have been rounded a hundredth either way (thirds are 33,33 % or 33,34 %);
    // beyond that, or with the shares before the last past the whole, the last share would take another
    // share's part or a negative amount.
    const qint64 beforeLast = portions.isEmpty() ? 0 : hundredths - portions.last()->hundredthsOfPercent;
    if (!portions.isEmpty() && (std::abs(hundredths - 10000) > portions.size() || beforeLast > 10000))
        draft.errors.append({apportionmentNotWhole, line});
    if (portions.isEmpty()) {
        const QString branchName =
            lookUp(branchNames_, QStringLiteral("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :chave"),
                   entry.branch);
        const QString costCentreName =
            entry.costCentre.isEmpty()
                ? QString()
                : lookUp(costCentreNames_,
                         QStringLiteral("SELECT NMCENTCUST FROM CENTCUST WHERE CDCENTCUST = :chave"),
                         entry.costCentre);
        return {{line, 1, entry.branch, branchName, entry.costCentre, costCentreName, entry.cents}};
    }
    QList<AccountingShare> shares;
    qint64 left = entry.cents;
    for (qsizetype i = 0; i < portions.size(); ++i) {
        const Portion &portion = *portions[i];
        // Whole cents cut down; what the cuts leave goes to the last share, which the catalogue's percentages
        // therefore need not bring to exactly 100 %.
        const qint64 cents =
            i + 1 == portions.size() ? left : shareOf(entry.cents, portion.hundredthsOfPercent);
        left -= cents;
        shares.append({line, static_cast<int>(i + 1), portion.branch, portion.branchName, portion.costCentre,
                       portion.costCentreName, cents});
    }
    return shares;
}

AccountingDraft AccountingCatalogue::draft(const EntryToAccount &entry) {
    const EntryKind &kind = *entry.kind;
    const TypeInfo &entryType = type(kind, entry.type);
    AccountingDraft draft;
    draft.company = entry.company;
    draft.date = entry.date;
    draft.accounted = entryType.accounted;
    if (!draft.accounted)
        return draft;

    draft.history = entryType.history;
    draft.historyText = accountingHistoryText(entryType.historyText, entry.description);
    draft.companyName =
        lookUp(companyNames_, QStringLiteral("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = :chave"),
               entry.company);
    draft.document = QStringLiteral("BCO %1/%2").arg(entry.account, entry.movement);
    const QString bankLedger =
        lookUp(bankLedgers_, QStringLiteral("SELECT CDCONTCTBL FROM CONTCORR WHERE CDREDUCONT = :chave"),
               entry.account);

    AccountingLine bank{1, bankLedger, {}, {}, kind.isCredit(), entry.cents, {}, {}};
    AccountingLine counterpart{2, entryType.ledger, {}, {}, !kind.isCredit(), entry.cents, {}, {}};
    bool bankRequiresCostCentre = false;
    bool counterpartRequiresCostCentre = false;
    describe(bank, draft, bankRequiresCostCentre);
    describe(counterpart, draft, counterpartRequiresCostCentre);
    const std::optional<LedgerInfo> &typeLedger = ledger(entryType.ledger);
    const QString commercialKind = typeLedger ? typeLedger->commercialKind : QString();
    const QString party =
        commercialKind == u"C" ? entry.customer : (commercialKind == u"F" ? entry.supplier : QString());
    if (!party.isEmpty()) {
        counterpart.commercialKind = commercialKind;
        counterpart.commercialCode = party;
    }
    draft.lines = {bank, counterpart};

    draft.shares = apportion(entry, entryType, counterpart.sequence, draft);
    if (counterpartRequiresCostCentre || budgetsByCostCentre()) {
        for (const AccountingShare &share : draft.shares) {
            if (share.costCentre.isEmpty()) {
                draft.errors.append({missingCostCentre, share.line});
                break;
            }
        }
    }
    if (!openPeriod(entry.company, entry.date))
        draft.errors.append({outsidePeriod, 0});
    return draft;
}

AccountingDraft draftAccounting(Sql &sql, const EntryToAccount &entry) {
    return AccountingCatalogue(sql).draft(entry);
}

QString postAccounting(Sql &sql, const AccountingDraft &draft, const QString &operatorCode,
                       const QString &reused) {
    const QString number =
        reused.isEmpty()
            ? accountingNumber(draft.company, drawNumbers(sql, Series::Accounting, draft.company, 1))
            : reused;
    postAccountingAs(sql, draft, operatorCode, number);
    return number;
}

QString accountingNumber(const QString &company, qint64 drawn) {
    return company + formatNumber(drawn);
}

void postAccountingAs(Sql &sql, const AccountingDraft &draft, const QString &operatorCode,
                      const QString &number) {
    sql.execute(
        QStringLiteral("INSERT INTO LANCCONT (NRLANCCONT, CDEMPRESA, DTLANCCONT, CDHISTPADR, DSHISTCTB, "
                       "CDDOCUCONT, CDOPERADOR) VALUES (:numero, :empresa, :data, :historico, :texto, "
                       ":documento, :operador)"),
        {{QStringLiteral("numero"), number},
         {QStringLiteral("empresa"), draft.company},
         {QStringLiteral("data"), draft.date},
         {QStringLiteral("historico"), orNull(draft.history)},
         {QStringLiteral("texto"), draft.historyText},
         {QStringLiteral("documento"), draft.document},
         {QStringLiteral("operador"), operatorCode}});
    for (const AccountingLine &line : draft.lines) {
        sql.execute(QStringLiteral(
                        "INSERT INTO LANCCONTITEM (NRLANCCONT, NRSEQCTB, CDCONTCTBL, IDDEBCRED, VRLANCCTB, "
                        "IDLANCCTBCOME, CDLANCCTBCOME) VALUES (:numero, :linha, :conta, :lado, :valor, "
                        ":tipocome, :codcome)"),
                    {{QStringLiteral("numero"), number},
                     {QStringLiteral("linha"), line.sequence},
                     {QStringLiteral("conta"), line.ledger},
                     {QStringLiteral("lado"), line.debit ? QStringLiteral("D") : QStringLiteral("C")},
                     {QStringLiteral("valor"), line.cents},
                     {QStringLiteral("tipocome"), orNull(line.commercialKind)},
                     {QStringLiteral("codcome"), orNull(line.commercialCode)}});
    }
    for (const AccountingShare &share : draft.shares) {
        sql.execute(
            QStringLiteral("INSERT INTO RATEIOCTB (NRLANCCONT, NRSEQCTB, NRSEQRAT, CDFILIAL, CDCENTCUST, "
                           "VRLANCCUST) VALUES (:numero, :linha, :parte, :filial, :centro, :valor)"),
            {{QStringLiteral("numero"), number},
             {QStringLiteral("linha"), share.line},
             {QStringLiteral("parte"), share.sequence},
             {QStringLiteral("filial"), share.branch},
             {QStringLiteral("centro"), orNull(share.costCentre)},
             {QStringLiteral("valor"), share.cents}});
    }
}

void removeAccounting(Sql &sql, const QString &number) {
    if (number.isEmpty())
        return;
    for (const char *table : {"RATEIOCTB", "LANCCONTITEM", "LANCCONT"})
        sql.execute(
            QStringLiteral("DELETE FROM %1 WHERE NRLANCCONT = :numero").arg(QString::fromLatin1(table)),
            {{QStringLiteral("numero"), number}});
}

QString accountingHistoryText(const QString &typeHistoryText, const QString &description) {
    return (typeHistoryText.isEmpty() ? description : typeHistoryText + QStringLiteral(" - ") + description)
        .left(200);
}

AccountingDraft storedAccounting(Sql &sql, const QString &number) {
    AccountingDraft draft;
    if (number.isEmpty())
        return draft;
    const SqlParams key{{QStringLiteral("numero"), number}};
    sql.forEach(
        QStringLiteral("SELECT L.CDEMPRESA, E.NMEMPRESA, L.DTLANCCONT, L.CDHISTPADR, L.DSHISTCTB, "
                       "L.CDDOCUCONT FROM LANCCONT L LEFT JOIN EMPRESA E ON E.CDEMPRESA = L.CDEMPRESA "
                       "WHERE L.NRLANCCONT = :numero"),
        key, [&](const SqlRow &row) {
            draft.accounted = true;
            draft.company = row.text(0);
            draft.companyName = row.text(1);
            draft.date = row.date(2);
            draft.history = row.text(3);
            draft.historyText = row.text(4);
            draft.document = row.text(5);
        });
    if (!draft.accounted)
        return draft;
    sql.forEach(QStringLiteral("SELECT I.NRSEQCTB, I.CDCONTCTBL, C.NMCONTCTBL, C.CDCONTREDU, I.IDDEBCRED, "
                               "I.VRLANCCTB, I.IDLANCCTBCOME, I.CDLANCCTBCOME FROM LANCCONTITEM I LEFT JOIN "
                               "CONTCTBL C ON C.CDCONTCTBL = I.CDCONTCTBL WHERE I.NRLANCCONT = :numero "
                               "ORDER BY I.NRSEQCTB"),
                key, [&](const SqlRow &row) {
                    draft.lines.append({static_cast<int>(row.integer(0)), row.text(1), row.text(2),
                                        row.text(3), row.text(4) == u"D", row.integer(5), row.text(6),
                                        row.text(7)});
                });
    sql.forEach(
        QStringLiteral("SELECT R.NRSEQCTB, R.NRSEQRAT, R.CDFILIAL, F.NMFILIAL, R.CDCENTCUST, "
                       "C.NMCENTCUST, R.VRLANCCUST FROM RATEIOCTB R LEFT JOIN FILIAL F ON F.CDFILIAL = "
                       "R.CDFILIAL LEFT JOIN CENTCUST C ON C.CDCENTCUST = R.CDCENTCUST WHERE "
                       "R.NRLANCCONT = :numero ORDER BY R.NRSEQCTB, R.NRSEQRAT"),
        key, [&](const SqlRow &row) {
            draft.shares.append({static_cast<int>(row.integer(0)), static_cast<int>(row.integer(1)),
                                 row.text(2), row.text(3), row.text(4), row.text(5), row.integer(6)});
        });
    return draft;
}

void rewriteAccountingHistory(Sql &sql, const QString &number, const QString &description) {
    if (number.isEmpty())
        return;
    // The standard history the entry was posted with, not the one its type has now: the accounting stays as
    // it was posted, but for the description.
    const auto postedHistory = sql.scalar(
        QStringLiteral("SELECT H.DSHISTPADR FROM LANCCONT L JOIN HISTPADR H ON H.CDHISTPADR = L.CDHISTPADR "
                       "WHERE L.NRLANCCONT = :numero"),
        {{QStringLiteral("numero"), number}});
    sql.execute(QStringLiteral("UPDATE LANCCONT SET DSHISTCTB = :texto WHERE NRLANCCONT = :numero"),
                {{QStringLiteral("texto"),
                  accountingHistoryText(postedHistory ? postedHistory->toString() : QString(), description)},
                 {QStringLiteral("numero"), number}});
}

void appendAccountingRows(DataPacket &rows, const AccountingDraft &draft, const QString &number) {
    for (const AccountingLine &line : draft.lines) {
        const qint64 signedCents = line.debit ? line.cents : -line.cents;
        rows.appendValues({draft.company, line.reducedCode, line.ledgerName, number,
                           QString::number(line.sequence), line.ledger, draft.history, draft.historyText,
                           draft.date, amountFromCents(signedCents), line.commercialKind, line.commercialCode,
                           draft.companyName, draft.document});
    }
}

void appendApportionmentRows(DataPacket &rows, const AccountingDraft &draft, const QString &number) {
    for (const AccountingShare &share : draft.shares) {
        rows.appendValues({share.branch, share.branchName, share.costCentre, share.costCentreName,
                           amountFromCents(share.cents), QString::number(share.line), number, draft.date,
                           draft.company, QString::number(share.sequence)});
    }
}

void appendErrorRows(DataPacket &rows, const AccountingDraft &draft) {
    for (const AccountingError &error : draft.errors)
        rows.appendValues({error.code, QString::number(error.line)});
}

DataPacket accountingRows(const AccountingDraft &draft, const QString &number) {
    DataPacket rows(fieldsOf(lineColumns));
    appendAccountingRows(rows, draft, number);
    return rows;
}

DataPacket apportionmentRows(const AccountingDraft &draft, const QString &number) {
    DataPacket rows(fieldsOf(shareColumns));
    appendApportionmentRows(rows, draft, number);
    return rows;
}

DataPacket errorRows(const AccountingDraft &draft) {
    DataPacket rows(fieldsOf(errorColumns));
    appendErrorRows(rows, draft);
    return rows;
}

} // namespace bco::server
