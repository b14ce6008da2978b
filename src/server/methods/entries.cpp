#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>

#include "server/ledger/entry_kinds.h"
#include "server/methods/all_methods.h"
#include "server/methods/code_list.h"
#include "server/storage/list_versions.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

// The entry list, field for field as the entry form declares it.
const Columns entryColumns = {
    {QStringLiteral("DTMOVICRED"), Kind::Date, 0},       {QStringLiteral("TIPO"), Kind::Text, 30},
    {QStringLiteral("DSMOVICRED"), Kind::Text, 40},      {QStringLiteral("VRMOVICRED"), Kind::Cents, 0},
    {QStringLiteral("DEBCRED"), Kind::Text, 1},          {QStringLiteral("NUMERO"), Kind::Text, 10},
    {QStringLiteral("NRMOVBANC"), Kind::Text, 10},       {QStringLiteral("CDCLASSFINA"), Kind::Text, 6},
    {QStringLiteral("CDTIPO"), Kind::Text, 4},           {QStringLiteral("CDFILIAL"), Kind::Text, 4},
    {QStringLiteral("DTMOVBANC"), Kind::Date, 0},        {QStringLiteral("NRDOCMBANC"), Kind::Text, 10},
    {QStringLiteral("CDEMPRESA"), Kind::Text, 2},        {QStringLiteral("DTMOVFLUXO"), Kind::Date, 0},
    {QStringLiteral("IDMOVFLUXO"), Kind::Text, 1},       {QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
    {QStringLiteral("NRSEQMOVREBA"), Kind::Text, 10},    {QStringLiteral("CDFILILANCA"), Kind::Text, 4},
    {QStringLiteral("NMFILIAL"), Kind::Text, 30},        {QStringLiteral("CDEMPLANCTB"), Kind::Text, 2},
    {QStringLiteral("NMEMPRESA"), Kind::Text, 40},       {QStringLiteral("CDCLIENTE"), Kind::Text, 21},
    {QStringLiteral("CDFORNECED"), Kind::Text, 21},      {QStringLiteral("NRINSJURCLIE"), Kind::Text, 20},
    {QStringLiteral("NMRAZSOCCLIE"), Kind::Text, 50},    {QStringLiteral("NRINSJURFORN"), Kind::Text, 20},
    {QStringLiteral("NMRAZSOCFORN"), Kind::Text, 40},    {QStringLiteral("NRCHEQUE"), Kind::Text, 6},
    {QStringLiteral("NRSEQUENCIALEMP"), Kind::Text, 10}, {QStringLiteral("IDLANCCOMP"), Kind::Text, 1},
    {QStringLiteral("CDCONTCTBL"), Kind::Text, 20},      {QStringLiteral("CDHISTPADR"), Kind::Text, 4},
    {QStringLiteral("NRLANCCONT"), Kind::Text, 12},      {QStringLiteral("NRMOVBANCORIG"), Kind::Text, 10},
    {QStringLiteral("CDCENTCUST"), Kind::Text, 4},       {QStringLiteral("NRVERSAO"), Kind::Text, 20},
};

// The criteria of one call, already checked.
struct Criteria {
    QString account;
    QDate from, to;
    bool allValues = true;
    qint64 minimumCents = 0, maximumCents = 0;
    bool credits = true, debits = true;
    bool allTypes = true;
    QStringList creditTypes, debitTypes;
};

// How the list is read on each database. SQLite joins each entry with its bank movement, customer and
// supplier itself: a look-up in the movements' clustered key costs it less than reading them apart.
// PostgreSQL would hash the joins and then sort the 100,000 wide rows they give: there the list reads the
// entries alone, in the order of their index, and takes the movements from one pass over their key and the
// customers and suppliers from a look-up of each (see SharedCatalogues), which halves its time. The answers
// are the same.
enum class Reading { Joined, Apart };

Reading readingOf(const Sql &sql) {
    return sql.dialect() == Dialect::Sqlite ? Reading::Joined : Reading::Apart;
}

// Fields of the list filled from catalogues rather than selected with the entries: the names of the types,
// branches and companies always, what the movements, customers and suppliers give when they are read apart.
constexpr int typeName = 1, movementDate = 10, movementDocument = 11, statement = 15, statementLine = 16,
              branchName = 18, companyName = 20, customerTaxNumber = 23, customerName = 24,
              supplierTaxNumber = 25, supplierName = 26, loan = 28, compensated = 29, typeLedgerAccount = 30,
              typeStandardText = 31, reversedMovement = 33, version = 35;
constexpr int namesCatalogued[] = {typeName, branchName, companyName, typeLedgerAccount, typeStandardText};
constexpr int apartCatalogued[] = {
    movementDate,      movementDocument, statement, statementLine, customerTaxNumber, customerName,
    supplierTaxNumber, supplierName,     loan,      compensated,   reversedMovement,  version};
// Fields of the list that the catalogues' keys are.
constexpr int movement = 6, typeCode = 8, typedBranch = 17, company = 12, customer = 21, supplier = 22;

// The column of the list's statement that selects `field`: the fields the catalogues fill are not selected.
int selectedColumn(int field, Reading reading) {
    int column = field;
    for (const int filled : namesCatalogued)
        column -= filled < field ? 1 : 0;
    if (reading == Reading::Apart)
        for (const int filled : apartCatalogued)
            column -= filled < field ? 1 : 0;
    return column;
}

// The account's entries of a kind that meet the criteria (the statement's text from FROM on).
QString entriesOf(const EntryKind &kind, const Criteria &criteria, SqlParams &params, Reading reading) {
    const auto column = EntryKind::column;
    QString sql = QStringLiteral(" FROM %1 R").arg(column(kind.table));
    if (reading == Reading::Joined)
        sql +=
            QStringLiteral(" JOIN MOVBANCARIO M ON M.CDREDUCONT = R.CDREDUCONT AND M.NRMOVBANC = R.NRMOVBANC "
                           "LEFT JOIN CLIENTE CL ON CL.CDCLIENTE = R.CDCLIENTE "
                           "LEFT JOIN FORNECED FO ON FO.CDFORNECED = R.CDFORNECED");
    sql += QStringLiteral(" WHERE R.CDREDUCONT = :conta");
    const QString prefix = QString(kind.letter).toLower();
    if (criteria.from.isValid())
        sql += QStringLiteral(" AND R.%1 >= :inicio").arg(column(kind.date));
    if (criteria.to.isValid())
        sql += QStringLiteral(" AND R.%1 <= :fim").arg(column(kind.date));
    if (!criteria.allValues)
        sql += QStringLiteral(" AND R.%1 BETWEEN :minimo AND :maximo").arg(column(kind.value));
    if (!criteria.allTypes) {
        const QStringList &types = kind.letter == u'C' ? criteria.creditTypes : criteria.debitTypes;
        QStringList placeholders;
        for (qsizetype i = 0; i < types.size(); ++i) {
            placeholders.append(QStringLiteral(":%1%2").arg(prefix).arg(i));
            params.push_back({QStringLiteral("%1%2").arg(prefix).arg(i), types[i]});
        }
        sql += QStringLiteral(" AND R.%1 IN (%2)").arg(column(kind.type), placeholders.join(u", "));
    }
    return sql;
}

// Every field of the list but those the catalogues fill, in the list's order.
QString select(const EntryKind &kind, const Criteria &criteria, SqlParams &params, Reading reading) {
    const auto column = EntryKind::column;
    QString sql =
        reading == Reading::Joined
            ? QStringLiteral(
                  "SELECT R.%date, R.%description, %sign R.%value, '%letter', R.%number, "
                  "R.NRMOVBANC, R.CDCLASSFINA, R.%type, R.CDFILIAL, M.DTMOVBANC, M.NRDOCMBANC, R.CDEMPRESA, "
                  "R.DTMOVFLUXO, R.IDMOVFLUXO, M.CDSEQUEXBA, M.NRSEQMOVREBA, R.%typedBranch, "
                  "R.%accountingCompany, R.CDCLIENTE, R.CDFORNECED, CL.NRINSJURCLIE, "
                  "CL.NMRAZSOCCLIE, FO.NRINSJURFORN, FO.NMRAZSOCFORN, R.NRCHEQUE, M.NRSEQUENCIALEMP, "
                  "CASE WHEN M.NRCOMPENSACAO IS NULL THEN 'N' ELSE 'S' END, "
                  "R.NRLANCCONT, M.NRMOVBANCORIG, R.CDCENTCUST, M.NRVERSAO")
            : QStringLiteral("SELECT R.%date, R.%description, %sign R.%value, '%letter', R.%number, "
                             "R.NRMOVBANC, R.CDCLASSFINA, R.%type, R.CDFILIAL, R.CDEMPRESA, R.DTMOVFLUXO, "
                             "R.IDMOVFLUXO, R.%typedBranch, R.%accountingCompany, R.CDCLIENTE, R.CDFORNECED, "
                             "R.NRCHEQUE, R.NRLANCCONT, R.CDCENTCUST");
    sql.replace(QStringLiteral("%typedBranch"), column(kind.typedBranch))
        .replace(QStringLiteral("%type"), column(kind.type))
        .replace(QStringLiteral("%date"), column(kind.date))
        .replace(QStringLiteral("%description"), column(kind.description))
        .replace(QStringLiteral("%sign"), kind.isCredit() ? QString() : QStringLiteral("-"))
        .replace(QStringLiteral("%value"), column(kind.value))
        .replace(QStringLiteral("%letter"), QString(kind.letter))
        .replace(QStringLiteral("%number"), column(kind.number))
        .replace(QStringLiteral("%accountingCompany"), column(kind.accountingCompany));
    return sql + entriesOf(kind, criteria, params, reading);
}

// The first and the last bank movement number among the entries of a kind that meet the criteria.
QString movementRange(const EntryKind &kind, const Criteria &criteria, SqlParams &params) {
    return QStringLiteral("SELECT MIN(R.NRMOVBANC), MAX(R.NRMOVBANC)") +
           entriesOf(kind, criteria, params, Reading::Apart);
}

// What the list shows of the bank movements, by movement number, when they are read apart: those numbered
// from :primeiro to :ultimo in one pass along the movements' key.
const QString movementColumns = QStringLiteral(
    "SELECT NRMOVBANC, DTMOVBANC, NRDOCMBANC, CDSEQUEXBA, NRSEQMOVREBA, NRSEQUENCIALEMP, CASE WHEN "
    "NRCOMPENSACAO IS NULL THEN 'N' ELSE 'S' END, NRMOVBANCORIG, NRVERSAO FROM MOVBANCARIO WHERE CDREDUCONT "
    "= "
    ":conta AND ");
const QString movementsInRange = movementColumns + QStringLiteral("NRMOVBANC BETWEEN :primeiro AND :ultimo");
const QList<int> movementFields{movementDate, movementDocument, statement,        statementLine,
                                loan,         compensated,      reversedMovement, version};

// The catalogues of one call that both kinds share: the names of the branches and companies, read whole, and,
// when the list is read apart, the movements of its entries (those numbered from `first` to `last`, read in
// the call's one snapshot with the entries; any other an entry named would be looked up), and the customers
// and suppliers, each looked up when an entry first names it (a customer table may hold thousands).
struct SharedCatalogues {
    Catalogue branches, companies, movements, customers, suppliers;

    std::vector<Catalogue *> forReading(Reading reading) {
        if (reading == Reading::Joined)
            return {&branches, &companies};
        return {&branches, &companies, &movements, &customers, &suppliers};
    }
};

SharedCatalogues sharedCatalogues(Sql &sql, Reading reading, const QString &account,
                                  const std::optional<QByteArray> &first,
                                  const std::optional<QByteArray> &last) {
    const auto key = [reading](int field) {
        return selectedColumn(field, reading);
    };
    SharedCatalogues shared{sql.catalogue(QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL"), {},
                                          entryColumns, key(typedBranch), {branchName}, false),
                            sql.catalogue(QStringLiteral("SELECT CDEMPRESA, NMEMPRESA FROM EMPRESA"), {},
                                          entryColumns, key(company), {companyName}, false),
                            {},
                            {},
                            {}};
    if (reading == Reading::Joined)
        return shared;
    const SqlParams byAccount{{QStringLiteral("conta"), account}};
    SqlParams range = byAccount;
    range.push_back({QStringLiteral("primeiro"), first ? QString::fromUtf8(*first) : QString()});
    range.push_back({QStringLiteral("ultimo"), last ? QString::fromUtf8(*last) : QString()});
    shared.movements = sql.catalogue(first && last ? movementsInRange : QString(), range, entryColumns,
                                     key(movement), movementFields, true,
                                     movementColumns + QStringLiteral("NRMOVBANC = :chave"), byAccount);
    shared.customers = sql.catalogue(
        {}, {}, entryColumns, key(customer), {customerTaxNumber, customerName}, false,
        QStringLiteral("SELECT CDCLIENTE, NRINSJURCLIE, NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = "
                       ":chave"));
    shared.suppliers =
        sql.catalogue({}, {}, entryColumns, key(supplier), {supplierTaxNumber, supplierName}, false,
                      QStringLiteral("SELECT CDFORNECED, NRINSJURFORN, NMRAZSOCFORN FROM FORNECED WHERE "
                                     "CDFORNECED = :chave"));
    return shared;
}

// The names of a kind's types, read whole. A type is required, as an inner join with its type table would.
Catalogue typeCatalogue(Sql &sql, const EntryKind &kind, Reading reading) {
    const auto column = EntryKind::column;
    return sql.catalogue(QStringLiteral("SELECT %1, %2, CDCONTCTBL, CDHISTPADR FROM %3")
                             .arg(column(kind.type), column(kind.typeName), column(kind.typeTable)),
                         {}, entryColumns, selectedColumn(typeCode, reading),
                         {typeName, typeLedgerAccount, typeStandardText}, true);
}

QString orderBy(const EntryKind &kind) {
    return QStringLiteral(" ORDER BY R.%1, R.NRMOVBANC").arg(QString::fromLatin1(kind.date));
}

// The rows of two packets ordered by date and movement number, as one packet in that order.
DataPacket mergeByDateAndMovement(const DataPacket &first, const DataPacket &second) {
    constexpr int date = 0;
    const auto before = [](const Record &a, const Record &b) {
        const QDate dateA = a.date(date), dateB = b.date(date);
        if (dateA != dateB)
            return dateA < dateB;
        return a.utf8(movement) < b.utf8(movement);
    };
    DataPacket merged(first.fields());
    merged.reserve(first.rowCount() + second.rowCount());
    int i = 0, j = 0;
    while (i < first.rowCount() || j < second.rowCount()) {
        const bool takeFirst = j == second.rowCount() ||
                               (i < first.rowCount() && !before(second.row(j).values, first.row(i).values));
        merged.appendRow(takeFirst ? first.row(i++).values : second.row(j++).values);
    }
    return merged;
}

// The entries of `kinds` (a null kind reads nothing) that meet the criteria, read on `sql`, ordered by date
// and movement number.
DataPacket readList(Sql &sql, const Criteria &criteria, const SqlParams &params,
                    std::initializer_list<const EntryKind *> kinds) {
    const Reading reading = readingOf(sql);
    // Read apart, the movements of both kinds' entries come in one pass over the range of their numbers,
    // which the entries' own index gives without reading the entries.
    std::optional<QByteArray> first, last;
    for (const EntryKind *kind : kinds) {
        if (kind == nullptr || reading == Reading::Joined)
            continue;
        SqlParams own = params;
        sql.forEach(movementRange(*kind, criteria, own), own, [&](const SqlRow &row) {
            if (row.isNull(0))
                return;
            const QByteArray low = row.utf8(0).toByteArray(), high = row.utf8(1).toByteArray();
            first = first ? std::min(*first, low) : low;
            last = last ? std::max(*last, high) : high;
        });
    }
    SharedCatalogues shared = sharedCatalogues(sql, reading, criteria.account, first, last);
    // Each kind comes in the order of its (account, date, movement) index, so two are merged here instead of
    // sorted by the database (which spills 100,000 wide rows to disk to sort them).
    DataPacket list = emptyPacket(entryColumns);
    for (const EntryKind *kind : kinds) {
        if (kind == nullptr)
            continue;
        SqlParams own = params;
        const QString text = select(*kind, criteria, own, reading) + orderBy(*kind);
        Catalogue types = typeCatalogue(sql, *kind, reading);
        std::vector<Catalogue *> catalogues = shared.forReading(reading);
        catalogues.push_back(&types);
        DataPacket rows = sql.packet(text, own, entryColumns, catalogues);
        list = list.rowCount() == 0 ? std::move(rows) : mergeByDateAndMovement(list, rows);
    }
    return list;
}

// GetLancamentos(account, from, to, &minimum, &maximum, &allValues, &kind, &types, &allTypes): the
// account's credits and debits dated within [from, to] (an empty date leaves that side open), with a value
// within [minimum, maximum] unless allValues is "T", of the kind "T" (both), "C" or "D", of the listed types
// unless allTypes is "T" (a list of chosen codes, each the kind letter and the type code: 'C0001','D0002'),
// ordered by date and bank movement number. VRMOVICRED is negative for debits. NRVERSAO, the last field, is
// the entry's version as decimal digits: a form sends it back with a change, a deletion or a cheque of the
// entry, which are refused when the entry was written since. The by-reference criteria come back as sent.
// Refuses a malformed criterion, then an account the operator may not use.
Variant getLancamentos(CallContext &context, VariantList &args) {
    Criteria criteria;
    criteria.account = code(args[0]);
    criteria.from = args[1].toDate();
    criteria.to = args[2].toDate();
    criteria.allValues = code(args[5]).compare(u"T", Qt::CaseInsensitive) == 0;
    if (!criteria.allValues) {
        const auto minimum = centsAtLeast(args[3].toFloat());
        const auto maximum = centsAtMost(args[4].toFloat());
        if (!minimum || !maximum)
            throw Refusal(QStringLiteral("Faixa de valores inválida."));
        criteria.minimumCents = *minimum;
        criteria.maximumCents = *maximum;
    }
    const QString kind = code(args[6]).toUpper();
    if (kind == u"C")
        criteria.debits = false;
    else if (kind == u"D")
        criteria.credits = false;
    else if (kind != u"T")
        throw Refusal(QStringLiteral("Tipo de lançamento inválido: \"%1\" (use T, C ou D).").arg(kind));
    criteria.allTypes = code(args[8]).compare(u"T", Qt::CaseInsensitive) == 0;
    if (!criteria.allTypes) {
        for (const QString &type : parseCodeList(args[7].toText(), QStringLiteral("tipos"))) {
            const QString letter = type.left(1).toUpper();
            if (letter == u"C")
                criteria.creditTypes.append(type.mid(1).trimmed());
            else if (letter == u"D")
                criteria.debitTypes.append(type.mid(1).trimmed());
            else
                throw Refusal(QStringLiteral("Tipo de lançamento inválido na lista: \"%1\".").arg(type));
        }
        criteria.credits = criteria.credits && !criteria.creditTypes.isEmpty();
        criteria.debits = criteria.debits && !criteria.debitTypes.isEmpty();
    }
    // Credits and debits are read at once, the debits by a companion in the call's snapshot, which must join
    // before the call reads anything.
    std::unique_ptr<Companion> companion;
    if (criteria.credits && criteria.debits)
        companion = context.companion();
    requireAccount(context, criteria.account);
    if (!criteria.credits && !criteria.debits)
        return emptyPacket(entryColumns);

    SqlParams params{{QStringLiteral("conta"), criteria.account}};
    if (criteria.from.isValid())
        params.push_back({QStringLiteral("inicio"), criteria.from});
    if (criteria.to.isValid())
        params.push_back({QStringLiteral("fim"), criteria.to});
    if (!criteria.allValues) {
        params.push_back({QStringLiteral("minimo"), criteria.minimumCents});
        params.push_back({QStringLiteral("maximo"), criteria.maximumCents});
    }
    if (companion == nullptr)
        return readList(context.sql, criteria, params,
                        {criteria.credits ? &creditKind : nullptr, criteria.debits ? &debitKind : nullptr});
    DataPacket debits;
    companion->start([&](Sql &own) { debits = readList(own, criteria, params, {&debitKind}); });
    const DataPacket credits = readList(context.sql, criteria, params, {&creditKind});
    companion->finish();
    return mergeByDateAndMovement(credits, debits);
}

// GetVersaoLancamentos(account): the account's list version as text, for an operator who may use it.
Variant getVersaoLancamentos(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    return QString::number(listVersion(context.sql, account));
}

} // namespace

QStringList entryListStatements(Dialect dialect) {
    Criteria criteria;
    criteria.from = QDate(2000, 1, 1);
    criteria.to = criteria.from;
    SqlParams params;
    const Reading reading = dialect == Dialect::Sqlite ? Reading::Joined : Reading::Apart;
    QStringList statements{select(creditKind, criteria, params, reading) + orderBy(creditKind),
                           select(debitKind, criteria, params, reading) + orderBy(debitKind)};
    if (reading == Reading::Apart)
        statements.append(movementsInRange);
    return statements;
}

void addEntryListMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("GetLancamentos"),
                  .args = {ArgKind::Text, ArgKind::Date, ArgKind::Date, ArgKind::Number, ArgKind::Number,
                           ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  .handler = getLancamentos});
}

void addListVersionMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("GetVersaoLancamentos"),
                  .args = {ArgKind::Text},
                  .handler = getVersaoLancamentos});
}

} // namespace bco::server
