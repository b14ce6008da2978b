#include "server/methods/all_methods.h"
#include "server/methods/code_list.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

const Columns branchColumns = {
    {QStringLiteral("CDFILIAL"), Kind::Text, 4},
    {QStringLiteral("NMFILIAL"), Kind::Text, 30},
    {QStringLiteral("CDCENTCUST"), Kind::Text, 4},
};

// getFilial(company, branch): the branches of a company, every one when `branch` is empty, else that branch
// when it belongs to the company (an empty answer: not a branch of the company). Refuses a company the
// operator is not related to; an unknown company has no branches.
Variant getFilial(CallContext &context, VariantList &args) {
    const QString company = code(args[0]);
    const QString branch = code(args[1]);
    if (company.isEmpty())
        throw Refusal(QStringLiteral("Empresa deve ser informada."));
    if (!allowCompany(context, company))
        return emptyPacket(branchColumns);
    QString sql =
        QStringLiteral("SELECT CDFILIAL, NMFILIAL, CDCENTCUST FROM FILIAL WHERE CDEMPRESA = :empresa");
    SqlParams params{{QStringLiteral("empresa"), company}};
    if (!branch.isEmpty()) {
        sql += QStringLiteral(" AND CDFILIAL = :filial");
        params.push_back({QStringLiteral("filial"), branch});
    }
    return context.sql.packet(sql + QStringLiteral(" ORDER BY CDFILIAL"), params, branchColumns);
}

// What differs between the customer and the supplier look-ups.
struct Party {
    const char *method;
    const char *table;
    const char *codeColumn;
    Columns columns; // in select order
};

const Party customer{
    "getCliente",
    "CLIENTE",
    "CDCLIENTE",
    {{QStringLiteral("NRINSJURCLIE"), Kind::Text, 20},
     {QStringLiteral("NMFANTCLIE"), Kind::Text, 50},
     {QStringLiteral("NMRAZSOCCLIE"), Kind::Text, 50},
     {QStringLiteral("CDCONTCTBL"), Kind::Text, 20},
     {QStringLiteral("IDTPIJURCLIE"), Kind::Text, 1},
     {QStringLiteral("CDCLIENTE"), Kind::Text, 21},
     {QStringLiteral("CDTPCTRECEB"), Kind::Text, 6}},
};

const Party supplier{
    "getFornecedor",
    "FORNECED",
    "CDFORNECED",
    {{QStringLiteral("NRINSJURFORN"), Kind::Text, 20},
     {QStringLiteral("NMFANTFORN"), Kind::Text, 40},
     {QStringLiteral("NMRAZSOCFORN"), Kind::Text, 40},
     {QStringLiteral("CDCONTCTBL"), Kind::Text, 20},
     {QStringLiteral("IDTPIJURFORN"), Kind::Text, 1},
     {QStringLiteral("CDFORNECED"), Kind::Text, 21},
     {QStringLiteral("CDTPCTPAGAR"), Kind::Text, 6}},
};

QString digitsOf(const QString &text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit())
            digits.append(c);
    }
    return digits;
}

// getCliente(key, all) and getFornecedor(key, all): with all = "T", every customer (supplier), by legal name;
// otherwise the one whose code is `key` or whose tax number is the digits of `key` (a number typed with its
// mask's points, slash and hyphen is found). An empty key without "T" finds nothing.
Variant findParty(const Party &party, CallContext &context, VariantList &args) {
    const QString key = code(args[0]);
    const bool all = code(args[1]).compare(u"T", Qt::CaseInsensitive) == 0;
    QStringList select;
    for (const Column &column : party.columns)
        select.append(column.name);
    const QString table = QString::fromLatin1(party.table);
    const QString codeColumn = QString::fromLatin1(party.codeColumn);
    const QString taxColumn = party.columns[0].name;
    const QString nameColumn = party.columns[2].name;
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(select.join(u", "), table);
    SqlParams params;
    if (!all) {
        if (key.isEmpty())
            return emptyPacket(party.columns);
        sql += QStringLiteral(" WHERE %1 = :codigo OR %2 = :inscricao").arg(codeColumn, taxColumn);
        params = {{QStringLiteral("codigo"), key}, {QStringLiteral("inscricao"), digitsOf(key)}};
    }
    sql += QStringLiteral(" ORDER BY %1, %2").arg(nameColumn, codeColumn);
    return context.sql.packet(sql, params, party.columns);
}

// getCentCustFilial(branch): the branch's default cost centre (CDCENTCUST, null when it has none). An empty
// or unknown branch finds nothing, which the forms read as no default; a branch of a company the operator is
// not related to is refused.
Variant getCentCustFilial(CallContext &context, VariantList &args) {
    const QString branch = code(args[0]);
    const Columns columns = {{QStringLiteral("CDCENTCUST"), Kind::Text, 4}};
    const auto company =
        context.sql.scalar(QStringLiteral("SELECT CDEMPRESA FROM FILIAL WHERE CDFILIAL = :filial"),
                           {{QStringLiteral("filial"), branch}});
    if (branch.isEmpty() || !company || !allowCompany(context, company->toString()))
        return emptyPacket(columns);
    return context.sql.packet(QStringLiteral("SELECT CDCENTCUST FROM FILIAL WHERE CDFILIAL = :filial"),
                              {{QStringLiteral("filial"), branch}}, columns);
}

// getEmpresa(company): the company's default cost centre (CDCENTCUST) and name. An empty or unknown company
// finds nothing; a company the operator is not related to is refused.
Variant getEmpresa(CallContext &context, VariantList &args) {
    const QString company = code(args[0]);
    const Columns columns = {{QStringLiteral("CDCENTCUST"), Kind::Text, 4},
                             {QStringLiteral("CDEMPRESA"), Kind::Text, 2},
                             {QStringLiteral("NMEMPRESA"), Kind::Text, 40}};
    if (company.isEmpty() || !allowCompany(context, company))
        return emptyPacket(columns);
    return context.sql.packet(
        QStringLiteral("SELECT CDCENTCUST, CDEMPRESA, NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = :empresa"),
        {{QStringLiteral("empresa"), company}}, columns);
}

// GetFilialRel(companies, reserved, all): the branches of the listed companies (a list of chosen codes), or,
// when `all` is true, of every company the operator is related to; for the report's pick list, unmarked.
// A list naming a company the operator is not related to is refused; unknown codes add nothing. The second
// argument is not read (the report sends "T"); the list comes back as sent.
Variant getFilialRel(CallContext &context, VariantList &args) {
    QStringList companies;
    if (args[2].toBool()) {
        companies = operatorCompanies(context);
    } else {
        for (const QString &company : parseCodeList(args[0].toText(), QStringLiteral("empresas"))) {
            if (allowCompany(context, company.trimmed()))
                companies.append(company.trimmed());
        }
    }
    const Columns columns = {{QStringLiteral("IDMARCADO"), Kind::Text, 1},
                             {QStringLiteral("CDFILIAL"), Kind::Text, 4},
                             {QStringLiteral("NMFILIAL"), Kind::Text, 30},
                             {QStringLiteral("CDEMPRESA"), Kind::Text, 2}};
    QStringList placeholders;
    SqlParams params;
    for (qsizetype i = 0; i < companies.size(); ++i) {
        placeholders.append(QStringLiteral(":e%1").arg(i));
        params.push_back({QStringLiteral("e%1").arg(i), companies[i]});
    }
    if (placeholders.isEmpty())
        return emptyPacket(columns);
    return context.sql.packet(QStringLiteral("SELECT 'N', CDFILIAL, NMFILIAL, CDEMPRESA FROM FILIAL "
                                             "WHERE CDEMPRESA IN (%1) ORDER BY CDFILIAL")
                                  .arg(placeholders.join(u", ")),
                              params, columns);
}

// getLancto(): every credit and debit type for the pick lists, unmarked: TIPCOD is the kind letter followed
// by the code (the form in which type lists travel), TIPO the kind letter.
Variant getLancto(CallContext &context, VariantList &) {
    return context.sql.packet(
        QStringLiteral("SELECT 'N', 'C' || CDTPCREDBANC, CDTPCREDBANC, DSTPCREDBANC, 'C' FROM TPCREDBANC "
                       "UNION ALL "
                       "SELECT 'N', 'D' || CDTPDEBIBANC, CDTPDEBIBANC, DSTPDEBIBANC, 'D' FROM TPDEBIBANC "
                       "ORDER BY 2"),
        {},
        {{QStringLiteral("IDMARCADO"), Kind::Text, 1},
         {QStringLiteral("TIPCOD"), Kind::Text, 5},
         {QStringLiteral("CODIGO"), Kind::Text, 4},
         {QStringLiteral("DESCRICAO"), Kind::Text, 30},
         {QStringLiteral("TIPO"), Kind::Text, 1}});
}

} // namespace

void addRegisterMethods(MethodRegistry &registry) {
    registry.add(
        {.name = QStringLiteral("getFilial"), .args = {ArgKind::Text, ArgKind::Text}, .handler = getFilial});
    for (const Party *party : {&customer, &supplier}) {
        registry.add({.name = QString::fromLatin1(party->method),
                      .args = {ArgKind::Text, ArgKind::Text},
                      .handler = [party](CallContext &context, VariantList &args) {
                          return findParty(*party, context, args);
                      }});
    }
    registry.add(
        {.name = QStringLiteral("getCentCustFilial"), .args = {ArgKind::Text}, .handler = getCentCustFilial});
    registry.add({.name = QStringLiteral("getEmpresa"), .args = {ArgKind::Text}, .handler = getEmpresa});
    registry.add({.name = QStringLiteral("GetFilialRel"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Boolean},
                  .handler = getFilialRel});
    registry.add({.name = QStringLiteral("getLancto"), .handler = getLancto});
}

} // namespace bco::server
