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

// Fields of the list filled from the catalogues of types, branches and companies (see catalogues()).
constexpr int typeName = 1, branchName = 18, companyName = 20, typeLedgerAccount = 30, typeStandardText = 31;
constexpr int typeCode = 8, typedBranch = 17, company = 12;

// The column of the list's statement that selects `field`: the fields the catalogues fill are not selected.
int selectedColumn(int field) {
    int column = field;
    for (const int filled : {typeName, branchName, companyName, typeLedgerAccount, typeStandardText})
        column -= filled < field ? 1 : 0;
    return column;
}

// The names the list shows beside the codes, each read once for the call: a join would look them up once
// per entry, a tenth of the whole list's time on 100,000 entries. A type is required, as the list's inner
// join with its type table was; a branch or a company may be missing.
std::vector<Catalogue> catalogues(Sql &sql, const EntryKind &kind) {
    const auto column = EntryKind::column;
    return {sql.catalogue(QStringLiteral("SELECT %1, %2, CDCONTCTBL, CDHISTPADR FROM %3")
                              .arg(column(kind.type), column(kind.typeName), column(kind.typeTable)),
                          selectedColumn(typeCode), {typeName, typeLedgerAccount, typeStandardText}, true),
            sql.catalogue(QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL"),
                          selectedColumn(typedBranch), {branchName}, false),
            sql.catalogue(QStringLiteral("SELECT CDEMPRESA, NMEMPRESA FROM EMPRESA"), selectedColumn(company),
                          {companyName}, false)};
}

// Every field of the list but those the catalogues fill, in the list's order.
QString select(const EntryKind &kind, const Criteria &criteria, SqlParams &params) {
    const auto column = EntryKind::column;
    QString sql = QStringLiteral(
        "SELECT R.%date, R.%description, %sign R.%value, '%letter', R.%number, "
        "R.NRMOVBANC, R.CDCLASSFINA, R.%type, R.CDFILIAL, M.DTMOVBANC, M.NRDOCMBANC, R.CDEMPRESA, "
        "R.DTMOVFLUXO, R.IDMOVFLUXO, M.CDSEQUEXBA, M.NRSEQMOVREBA, R.%typedBranch, "
        "R.%accountingCompany, R.CDCLIENTE, R.CDFORNECED, CL.NRINSJURCLIE, "
        "CL.NMRAZSOCCLIE, FO.NRINSJURFORN, FO.NMRAZSOCFORN, R.NRCHEQUE, M.NRSEQUENCIALEMP, "
        "CASE WHEN M.NRCOMPENSACAO IS NULL THEN 'N' ELSE 'S' END, "
        "R.NRLANCCONT, M.NRMOVBANCORIG, R.CDCENTCUST, M.NRVERSAO "
        "FROM %table R "
        "JOIN MOVBANCARIO M ON M.CDREDUCONT = R.CDREDUCONT AND M.NRMOVBANC = R.NRMOVBANC "
        "LEFT JOIN CLIENTE CL ON CL.CDCLIENTE = R.CDCLIENTE "
        "LEFT JOIN FORNECED FO ON FO.CDFORNECED = R.CDFORNECED "
        "WHERE R.CDREDUCONT = :conta");
    sql.replace(QStringLiteral("%typedBranch"), column(kind.typedBranch))
        .replace(QStringLiteral("%type"), column(kind.type))
        .replace(QStringLiteral("%table"), column(kind.table))
        .replace(QStringLiteral("%date"), column(kind.date))
        .replace(QStringLiteral("%description"), column(kind.description))
        .replace(QStringLiteral("%sign"), kind.isCredit() ? QString() : QStringLiteral("-"))
        .replace(QStringLiteral("%value"), column(kind.value))
        .replace(QStringLiteral("%letter"), QString(kind.letter))
        .replace(QStringLiteral("%number"), column(kind.number))
        .replace(QStringLiteral("%accountingCompany"), column(kind.accountingCompany));
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

QString orderBy(const EntryKind &kind) {
    return QStringLiteral(" ORDER BY R.%1, R.NRMOVBANC").arg(QString::fromLatin1(kind.date));
}

// The rows of two packets ordered by date and movement number (fields 0 and 6), as one packet in that order.
DataPacket mergeByDateAndMovement(const DataPacket &first, const DataPacket &second) {
    constexpr int date = 0;
    constexpr int movement = 6;
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

// GetLancamentos(account, from, to, &minimum, &maximum, &allValues, &kind, &types, &allTypes): the
// account's credits and debits dated within [from, to] (an empty date leaves that side open), with a value
// within [minimum, maximum] unless allValues is "T", of the kind "T" (both), "C" or "D", of the listed types
// unless allTypes is "T" (a list of chosen codes, each the kind letter and the type code: 'C0001','D0002'),
// ordered by date and bank movement number. VRMOVICRED is negative for debits. NRVERSAO, the last field, is
// the entry's version as decimal digits: a form sends it back with a change, a deletion or a cheque of the
// entry, which are refused when the entry was written since. The by-reference criteria come back as sent.
// Refuses an account the operator may not use, another kind, and a malformed type list.
Variant getLancamentos(CallContext &context, VariantList &args) {
    Criteria criteria;
    criteria.account = code(args[0]);
    requireAccount(context, criteria.account);
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
    // Each half comes in the order of its (account, date, movement) index, so the two are merged here
    // instead of sorted by the database (which spills 100,000 wide rows to disk to sort them).
    const auto rows = [&](const EntryKind &half, bool wanted) {
        if (!wanted)
            return emptyPacket(entryColumns);
        SqlParams own = params;
        const QString sql = select(half, criteria, own) + orderBy(half);
        return context.sql.packet(sql, own, entryColumns, catalogues(context.sql, half));
    };
    const DataPacket creditRows = rows(creditKind, criteria.credits);
    const DataPacket debitRows = rows(debitKind, criteria.debits);
    return mergeByDateAndMovement(creditRows, debitRows);
}

// GetVersaoLancamentos(account): the account's list version as text, for an operator who may use it.
Variant getVersaoLancamentos(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    return QString::number(listVersion(context.sql, account));
}

} // namespace

QStringList entryListStatements() {
    Criteria criteria;
    criteria.from = QDate(2000, 1, 1);
    criteria.to = criteria.from;
    SqlParams params;
    return {select(creditKind, criteria, params) + orderBy(creditKind),
            select(debitKind, criteria, params) + orderBy(debitKind)};
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
