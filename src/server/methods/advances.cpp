#include "server/ledger/open_items.h"
#include "server/methods/all_methods.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

// The columns of one look-up, in the order its form's data set declares them.
const Columns customerAdvanceColumns = {
    {QStringLiteral("IDMARCADO"), Kind::Text, 1},     {QStringLiteral("DTATUAVENREC"), Kind::Date},
    {QStringLiteral("NRSEQVENREC"), Kind::Text, 2},   {QStringLiteral("NRPARCELAREC"), Kind::Text, 2},
    {QStringLiteral("CDFILIAL"), Kind::Text, 4},      {QStringLiteral("VRORIGINAL"), Kind::Cents},
    {QStringLiteral("NRLANCTONF"), Kind::Text, 10},   {QStringLiteral("VRDESCONTO"), Kind::Cents},
    {QStringLiteral("IDTPIJURCLIE"), Kind::Text, 1},  {QStringLiteral("NMRAZSOCCLIE"), Kind::Text, 50},
    {QStringLiteral("NRINSJURCLIE"), Kind::Text, 20}, {QStringLiteral("VRTOTADIA"), Kind::Cents},
};

const Columns supplierAdvanceColumns = {
    {QStringLiteral("IDMARCADO"), Kind::Text, 1},     {QStringLiteral("DTATUAVENPAG"), Kind::Date},
    {QStringLiteral("NRSEQVENPAG"), Kind::Text, 2},   {QStringLiteral("NRPARCELAPAG"), Kind::Text, 2},
    {QStringLiteral("CDFILIAL"), Kind::Text, 4},      {QStringLiteral("VRORIGINAL"), Kind::Cents},
    {QStringLiteral("NRLANCTONF"), Kind::Text, 10},   {QStringLiteral("VRDESCONTO"), Kind::Cents},
    {QStringLiteral("IDTPIJURFORN"), Kind::Text, 1},  {QStringLiteral("NMRAZSOCFORN"), Kind::Text, 40},
    {QStringLiteral("NRINSJURFORN"), Kind::Text, 20}, {QStringLiteral("VRTOTADIA"), Kind::Cents},
    {QStringLiteral("VRTOTDISP"), Kind::Cents},
};

// The supplier's advances as the entry form asks whether there are any (its own order of the columns).
const Columns supplierAdvanceQuestionColumns = {
    {QStringLiteral("VRTOTADIA"), Kind::Cents},       {QStringLiteral("VRDISPONIVEL"), Kind::Cents},
    {QStringLiteral("NRLANCTONF"), Kind::Text, 10},   {QStringLiteral("NRSEQVENPAG"), Kind::Text, 2},
    {QStringLiteral("NRPARCELAPAG"), Kind::Text, 2},  {QStringLiteral("CDFILIAL"), Kind::Text, 4},
    {QStringLiteral("VRORIGINAL"), Kind::Cents},      {QStringLiteral("IDMARCADO"), Kind::Text, 1},
    {QStringLiteral("VRDESCONTO"), Kind::Cents},      {QStringLiteral("IDTPIJURFORN"), Kind::Text, 1},
    {QStringLiteral("NMRAZSOCFORN"), Kind::Text, 40}, {QStringLiteral("NRINSJURFORN"), Kind::Text, 20},
    {QStringLiteral("DTATUAVENPAG"), Kind::Date},
};

const Columns customerReturnColumns = {
    {QStringLiteral("IDMARCADO"), Kind::Text, 1},     {QStringLiteral("DOCUMENTO"), Kind::Text, 26},
    {QStringLiteral("FILIDEVO"), Kind::Text, 4},      {QStringLiteral("NRNFDEVO"), Kind::Text, 10},
    {QStringLiteral("DTEMISSAO"), Kind::Date},        {QStringLiteral("DTENTRSAID"), Kind::Date},
    {QStringLiteral("NRLANCTONF"), Kind::Text, 10},   {QStringLiteral("VRDISPONIVEL"), Kind::Cents},
    {QStringLiteral("VRDESCONTO"), Kind::Cents},      {QStringLiteral("VRNFDEVOL"), Kind::Cents},
    {QStringLiteral("NRINSJURCLIE"), Kind::Text, 20}, {QStringLiteral("IDTPIJURCLIE"), Kind::Text, 1},
    {QStringLiteral("NMRAZSOCCLIE"), Kind::Text, 40}, {QStringLiteral("FILIVENDA"), Kind::Text, 4},
    {QStringLiteral("NRNFVENDA"), Kind::Text, 10},
};

const Columns supplierReturnColumns = {
    {QStringLiteral("IDMARCADO"), Kind::Text, 1},     {QStringLiteral("DOCUMENTO"), Kind::Text, 26},
    {QStringLiteral("FILIDEVO"), Kind::Text, 4},      {QStringLiteral("NRNFDEVO"), Kind::Text, 10},
    {QStringLiteral("DTEMISSAO"), Kind::Date},        {QStringLiteral("VRDISPONIVEL"), Kind::Cents},
    {QStringLiteral("VRDESCONTO"), Kind::Cents},      {QStringLiteral("VRNFDEVOL"), Kind::Cents},
    {QStringLiteral("NRINSJURFORN"), Kind::Text, 20}, {QStringLiteral("IDTPIJURFORN"), Kind::Text, 1},
    {QStringLiteral("NMRAZSOCFORN"), Kind::Text, 40}, {QStringLiteral("DOCUMENTOORI"), Kind::Text, 26},
};

// What a column of a look-up reads. Every item starts unmarked with nothing to discount; the party's columns
// come from its register; the rest are the item's own.
QString expression(const OpenItemKind &kind, const QString &name) {
    if (name == u"IDMARCADO")
        return QStringLiteral("'N'");
    if (name == u"VRDESCONTO")
        return QStringLiteral("0");
    if (name == u"VRTOTADIA")
        return QStringLiteral("COALESCE(U.USADO, 0)");
    if (name == u"VRTOTDISP" || name == u"VRDISPONIVEL")
        return availableCents(kind);
    if (name == u"DOCUMENTO")
        return QStringLiteral("A.NRNFDEVO || '/' || A.CDSERIE");
    if (name.startsWith(u"NRINSJUR") || name.startsWith(u"IDTPIJUR") || name.startsWith(u"NMRAZSOC"))
        return QStringLiteral("P.") + name;
    return QStringLiteral("A.") + name;
}

// One look-up of a party's open items. Arguments are texts (passed by reference by the forms, and left as
// they came); the positions of the company, the party and the supplier's tax number differ between them.
struct OpenItemsLookUp {
    const char *method;
    const OpenItemKind *kind;
    const Columns *columns;
    int company, party;
    int taxNumber = -1;
};

const OpenItemsLookUp lookUps[] = {
    {"GetAdiantamentoCLI", &customerAdvances, &customerAdvanceColumns, 0, 1},
    {"GetContaAd", &customerAdvances, &customerAdvanceColumns, 1, 0},
    {"GetDevolucaoCLI", &customerReturns, &customerReturnColumns, 0, 1},
    {"GetAdiantamentoFOR", &supplierAdvances, &supplierAdvanceQuestionColumns, 0, 1, 2},
    {"GetContaAdFor", &supplierAdvances, &supplierAdvanceColumns, 1, 0, 2},
    {"GetDevolucaoFOR", &supplierReturns, &supplierReturnColumns, 0, 1},
};

// The items of one party in one company that still have something available, by date. An empty company or
// party, or an unknown company, finds nothing; a company the operator is not related to is refused. A
// supplier's tax number, when given, must be that supplier's as stored (a number of another finds nothing).
Variant openItems(const OpenItemsLookUp &lookUp, CallContext &context, VariantList &args) {
    const OpenItemKind &kind = *lookUp.kind;
    const QString company = code(args[static_cast<size_t>(lookUp.company)]);
    const QString party = code(args[static_cast<size_t>(lookUp.party)]);
    if (company.isEmpty() || party.isEmpty() || !allowCompany(context, company))
        return emptyPacket(*lookUp.columns);
    QStringList select;
    for (const Column &column : *lookUp.columns)
        select.append(expression(kind, column.name) + QStringLiteral(" AS ") + column.name);
    QString sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE A.CDEMPRESA = :empresa AND A.%3 = :parte AND %4 > 0")
            .arg(select.join(u", "), openItemsFrom(kind), OpenItemKind::column(kind.party),
                 availableCents(kind));
    SqlParams params{{QStringLiteral("empresa"), company}, {QStringLiteral("parte"), party}};
    if (lookUp.taxNumber >= 0) {
        const QString taxNumber = code(args[static_cast<size_t>(lookUp.taxNumber)]);
        if (!taxNumber.isEmpty()) {
            sql += QStringLiteral(" AND P.NRINSJURFORN = :inscricao");
            params.push_back({QStringLiteral("inscricao"), taxNumber});
        }
    }
    QStringList order{QStringLiteral("A.") + OpenItemKind::column(kind.date)};
    for (const QString &key : kind.keyColumns())
        order.append(QStringLiteral("A.") + key);
    return context.sql.packet(sql + QStringLiteral(" ORDER BY ") + order.join(u", "), params,
                              *lookUp.columns);
}

} // namespace

// GetAdiantamentoCLI(company, customer), GetContaAd(customer, company), GetDevolucaoCLI(company, customer),
// GetAdiantamentoFOR(company, supplier, tax number), GetContaAdFor(supplier, company, tax number) and
// GetDevolucaoFOR(company, supplier): the open advances and returned invoices of a customer or a supplier,
// each row unmarked (IDMARCADO "N") with nothing to discount (VRDESCONTO 0), with what was used of it
// (VRTOTADIA) and what is still available (VRTOTDISP, VRDISPONIVEL). Read only.
void addAdvanceMethods(MethodRegistry &registry) {
    for (const OpenItemsLookUp &lookUp : lookUps) {
        std::vector<ArgKind> args(lookUp.taxNumber >= 0 ? 3 : 2, ArgKind::Text);
        registry.add({.name = QString::fromLatin1(lookUp.method),
                      .args = std::move(args),
                      .handler = [&lookUp](CallContext &context, VariantList &callArgs) {
                          return openItems(lookUp, context, callArgs);
                      }});
    }
}

} // namespace bco::server
