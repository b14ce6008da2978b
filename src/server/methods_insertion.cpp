#include <array>

#include "server/access.h"
#include "server/accounting.h"
#include "server/change_log.h"
#include "server/entry_kinds.h"
#include "server/entry_rules.h"
#include "server/method_registry.h"
#include "server/money.h"
#include "server/numbering.h"
#include "server/result_rows.h"
#include "server/settlement.h"

namespace bco::server {

namespace {

// The bank movement of a new entry, as the forms build it.
const RecordField movementLayout[] = {
    {"CDREDUCONT", FieldKind::Text, 3},  {"NRMOVBANC", FieldKind::Text, 10},
    {"DTMOVBANC", FieldKind::Date},      {"IDMOVBANC", FieldKind::Text, 1},
    {"NRDOCMBANC", FieldKind::Text, 10}, {"DSHISMBANC", FieldKind::Text, 40},
    {"VRMOVBANC", FieldKind::Float},     {"IDORIGMBANC", FieldKind::Text, 1},
    {"IDSTCONEXT", FieldKind::Text, 1},  {"DESCTIPO", FieldKind::Text, 40},
};

// The credit or debit record of a new entry: twins, field for field.
std::array<RecordField, 16> recordLayout(const EntryKind &kind) {
    return {{
        {"CDREDUCONT", FieldKind::Text, 3},
        {kind.number, FieldKind::Text, 10},
        {"CDCLASSFINA", FieldKind::Text, 6},
        {"CDEMPRESA", FieldKind::Text, 2},
        {"CDFILIAL", FieldKind::Text, 4},
        {"DTMOVFLUXO", FieldKind::Date},
        {"IDMOVFLUXO", FieldKind::Text, 1},
        {"NRMOVBANC", FieldKind::Text, 10},
        {kind.type, FieldKind::Text, 4},
        {kind.date, FieldKind::Date},
        {kind.description, FieldKind::Text, 40},
        {kind.value, FieldKind::Float},
        {kind.accountingCompany, FieldKind::Text, 2},
        {kind.typedBranch, FieldKind::Text, 4},
        {"CDCLIENTE", FieldKind::Text, 21},
        {"CDFORNECED", FieldKind::Text, 21},
    }};
}

// Where the two insertion calls differ: the credit's carries the operator's code and orders the four
// selections of advances and returns differently.
struct InsertionCall {
    const char *method;
    const EntryKind *kind;
    std::vector<ArgKind> args;
    // Positions of the selections: the supplier's returns used on a credit, the customer's returns used on a
    // debit, the supplier's advances and the customer's advances.
    std::array<int, 4> selections;
    int partyLetter;
};

const InsertionCall creditInsertion{
    "getInsert",
    &creditKind,
    {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Date,
     ArgKind::Number, ArgKind::Any, ArgKind::Any, ArgKind::Text, ArgKind::Any, ArgKind::Any, ArgKind::Any,
     ArgKind::Any, ArgKind::Text},
    {11, 12, 13, 14},
    15,
};

const InsertionCall debitInsertion{
    "getIncDebito",
    &debitKind,
    {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Date,
     ArgKind::Number, ArgKind::Any, ArgKind::Any, ArgKind::Any, ArgKind::Any, ArgKind::Any, ArgKind::Any,
     ArgKind::Text},
    {11, 10, 12, 13},
    14,
};

bool exists(Sql &sql, const QString &query, const SqlParams &params) {
    return sql.scalar(query, params).has_value();
}

[[noreturn]] void refuse(const QString &message) {
    throw Refusal(message);
}

// A new entry after every check of what the client sent: what is written.
struct NewEntry {
    EntryToAccount accounting;
    QString movement, number;
    QString document, history;
    QString financialClass;
    QDate flowDate;
    QString flowIndicator;
    QString accountingCompany;
    QString typedBranch;
};

QString numberChecked(Sql &sql, Series series, const QString &account, const QString &number,
                      const QString &what, const char *table, const char *column) {
    if (!wasDrawn(sql, series, account, number))
        refuse(QStringLiteral("O número %1 de %2 não foi gerado para a conta corrente %3.")
                   .arg(number, what, account));
    if (exists(sql,
               QStringLiteral("SELECT 1 FROM %1 WHERE CDREDUCONT = :conta AND %2 = :numero")
                   .arg(QString::fromLatin1(table), QString::fromLatin1(column)),
               {{QStringLiteral("conta"), account}, {QStringLiteral("numero"), number}}))
        refuse(QStringLiteral("O número %1 de %2 já foi usado na conta corrente %3.")
                   .arg(number, what, account));
    return number;
}

// Reads the two records and the plain arguments and refuses whatever the forms could not have sent or the
// catalogues do not hold; answers the entry to write.
NewEntry checkedEntry(CallContext &context, const InsertionCall &call, const VariantList &args) {
    const EntryKind &kind = *call.kind;
    Sql &sql = context.sql;
    const InsertedRecord movement(args[8], movementLayout, QStringLiteral("movimento bancário"));
    const auto layout = recordLayout(kind);
    const InsertedRecord record(args[9], layout, QString::fromUtf8(kind.name));
    const QString kindName = QString::fromUtf8(kind.name);

    NewEntry entry;
    EntryToAccount &accounting = entry.accounting;
    accounting.kind = &kind;
    accounting.account = movement.code("CDREDUCONT");
    accounting.company = requireAccount(context, accounting.account);
    if (record.code("CDREDUCONT") != accounting.account)
        refuse(QStringLiteral("O movimento e o %1 devem ser da mesma conta corrente.").arg(kindName));

    const QString letter(kind.letter);
    if (movement.code("IDMOVBANC") != letter || movement.code("IDORIGMBANC") != letter)
        refuse(QStringLiteral("O movimento bancário de um %1 deve ter direção e origem \"%2\".")
                   .arg(kindName, letter));
    if (movement.code("IDSTCONEXT") != u"0")
        refuse(QStringLiteral("Um movimento bancário novo não pode estar conciliado."));

    entry.movement = numberChecked(sql, Series::BankMovement, accounting.account, movement.code("NRMOVBANC"),
                                   QStringLiteral("movimento bancário"), "MOVBANCARIO", "NRMOVBANC");
    entry.number = numberChecked(sql, kind.series, accounting.account, record.code(kind.number), kindName,
                                 kind.table, kind.number);
    if (record.code("NRMOVBANC") != entry.movement)
        refuse(QStringLiteral("O %1 deve pertencer ao movimento %2.").arg(kindName, entry.movement));
    accounting.movement = entry.movement;

    accounting.date = movement.date("DTMOVBANC");
    if (!accounting.date.isValid())
        refuse(QStringLiteral("Data deve ser informada."));
    if (record.date(kind.date) != accounting.date || args[6].toDate() != accounting.date)
        refuse(QStringLiteral("A data do %1 difere da data do movimento bancário.").arg(kindName));
    const auto cents = movement.cents("VRMOVBANC");
    if (!cents || *cents <= 0)
        refuse(QStringLiteral("Valor deve ser maior que zero."));
    if (record.cents(kind.value) != cents || centsFromAmount(args[7].toFloat()) != cents)
        refuse(QStringLiteral("O valor do %1 difere do valor do movimento bancário.").arg(kindName));
    accounting.cents = *cents;

    entry.accountingCompany = record.code(kind.accountingCompany);
    if (record.code("CDEMPRESA") != accounting.company || entry.accountingCompany != accounting.company)
        refuse(QStringLiteral("A empresa do %1 deve ser a da conta corrente (%2).")
                   .arg(kindName, accounting.company));

    accounting.branch = record.code("CDFILIAL");
    entry.typedBranch = record.code(kind.typedBranch);
    accounting.type = record.code(kind.type);
    entry.financialClass = record.code("CDCLASSFINA");
    accounting.costCentre = code(args[4]);
    accounting.customer = record.code("CDCLIENTE");
    accounting.supplier = record.code("CDFORNECED");
    refuseUnknownCodes(sql, accounting, entry.typedBranch, entry.financialClass);
    const QString partyLetter = code(args[static_cast<size_t>(call.partyLetter)]).toUpper();
    if (partyLetter != u"C" && partyLetter != u"F")
        refuse(QStringLiteral("Indicador de cliente ou fornecedor inválido: \"%1\".").arg(partyLetter));

    accounting.description = record.text(kind.description);
    entry.document = movement.code("NRDOCMBANC");
    entry.history = movement.text("DSHISMBANC");
    entry.flowDate = record.date("DTMOVFLUXO");
    entry.flowIndicator = record.code("IDMOVFLUXO");
    return entry;
}

// The four selections of an insertion call, in the order of InsertionCall::selections.
std::array<Selection, 4> selectionsOf(const InsertionCall &call, const VariantList &args) {
    const OpenItemKind *kinds[] = {&supplierReturns, &customerReturns, &supplierAdvances, &customerAdvances};
    std::array<Selection, 4> selections{};
    for (size_t i = 0; i < selections.size(); ++i)
        selections[i] = {kinds[i], &args[static_cast<size_t>(call.selections[i])]};
    return selections;
}

void writeEntry(CallContext &context, const NewEntry &entry, const QString &accountingNumber) {
    const EntryToAccount &accounting = entry.accounting;
    const EntryKind &kind = *accounting.kind;
    const auto orNull = [](const QString &value) {
        return value.isEmpty() ? QVariant() : QVariant(value);
    };
    context.sql.execute(
        QStringLiteral(
            "INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, NRDOCMBANC, DSHISMBANC, "
            "VRMOVBANC, IDORIGMBANC, IDSTCONEXT, CDOPERADOR) VALUES (:conta, :movimento, :data, :letra, "
            ":documento, :historico, :valor, :letra, '0', :operador)"),
        {{QStringLiteral("conta"), accounting.account},
         {QStringLiteral("movimento"), entry.movement},
         {QStringLiteral("data"), accounting.date},
         {QStringLiteral("letra"), QString(kind.letter)},
         {QStringLiteral("documento"), orNull(entry.document)},
         {QStringLiteral("historico"), orNull(entry.history)},
         {QStringLiteral("valor"), accounting.cents},
         {QStringLiteral("operador"), context.operatorCode}});
    context.sql.execute(
        QStringLiteral(
            "INSERT INTO %1 (CDREDUCONT, %2, NRMOVBANC, CDCLASSFINA, CDEMPRESA, CDFILIAL, DTMOVFLUXO, "
            "IDMOVFLUXO, %3, %4, %5, %6, %7, %8, CDCENTCUST, CDCLIENTE, CDFORNECED, NRLANCCONT, CDOPERADOR) "
            "VALUES (:conta, :numero, :movimento, :classe, :empresa, :filial, :fluxo, :idfluxo, :tipo, "
            ":data, :descricao, :valor, :empresactb, :filiallanc, :centro, :cliente, :fornecedor, "
            ":contabil, :operador)")
            .arg(EntryKind::column(kind.table), EntryKind::column(kind.number), EntryKind::column(kind.type),
                 EntryKind::column(kind.date), EntryKind::column(kind.description),
                 EntryKind::column(kind.value), EntryKind::column(kind.accountingCompany),
                 EntryKind::column(kind.typedBranch)),
        {{QStringLiteral("conta"), accounting.account},
         {QStringLiteral("numero"), entry.number},
         {QStringLiteral("movimento"), entry.movement},
         {QStringLiteral("classe"), orNull(entry.financialClass)},
         {QStringLiteral("empresa"), accounting.company},
         {QStringLiteral("filial"), accounting.branch},
         {QStringLiteral("fluxo"), entry.flowDate},
         {QStringLiteral("idfluxo"), orNull(entry.flowIndicator)},
         {QStringLiteral("tipo"), accounting.type},
         {QStringLiteral("data"), accounting.date},
         {QStringLiteral("descricao"), orNull(accounting.description)},
         {QStringLiteral("valor"), accounting.cents},
         {QStringLiteral("empresactb"), entry.accountingCompany},
         {QStringLiteral("filiallanc"), orNull(entry.typedBranch)},
         {QStringLiteral("centro"), orNull(accounting.costCentre)},
         {QStringLiteral("cliente"), orNull(accounting.customer)},
         {QStringLiteral("fornecedor"), orNull(accounting.supplier)},
         {QStringLiteral("contabil"), orNull(accountingNumber)},
         {QStringLiteral("operador"), context.operatorCode}});
}

// getInsert (a credit, 16 arguments) and getIncDebito (a debit, 15): writes a new entry: its bank movement,
// its credit or debit record and, for an accounted type, its accounting entry with the apportionment of its
// value. Arguments: the branch typed, "C", the document number, the type's history, the entry's cost centre,
// the type's ledger account, the date, the value, the change logs of the movement and of the record, then
// (credit) the operator's code, the four selections of advances and returns, and the party letter ("C" a
// customer, "F" a supplier or none). The type's history and ledger account are taken from the catalogue,
// where the forms read them. Answers four packets: the result rows, the accounting lines, the apportionment
// shares and the accounting errors (see accounting.h). Refuses (and writes nothing) a change log that is not
// exactly one new row of the record's layout, an account the operator may not use, a number the account's
// series did not draw or that is taken, a value that is not positive, records that disagree with each other
// or with the arguments, codes the catalogues do not hold, and selections settlement.h refuses. Writes
// nothing and answers the errors when the entry cannot be accounted, the result row "MSG" with key
// Adianta_Ja_Util or Devolucao_Ja_Util when an advance or a returned invoice has less left than the entry
// discounts of it, or with key N_Pode_Lanc_Orca when a debit would pass its type's budget. Otherwise the
// discounts of the marked advances and returns are settled with the entry.
Variant insertEntry(const InsertionCall &call, CallContext &context, VariantList &args) {
    const NewEntry entry = checkedEntry(context, call, args);
    const AccountingDraft draft = draftAccounting(context.sql, entry.accounting);
    const auto answer = [&draft](const DataPacket &result, const QString &number) {
        return Variant(VariantList{result, accountingRows(draft, number), apportionmentRows(draft, number),
                                   errorRows(draft)});
    };
    if (!draft.errors.isEmpty())
        return answer(emptyResult(), QString());
    const Settlement settlement = checkedSettlement(context.sql, selectionsOf(call, args), entry.accounting);
    if (!settlement.refusedWith.isEmpty())
        return answer(refusalResult(settlement.refusedWith), QString());
    if (!entry.accounting.kind->isCredit() && overBudget(context.sql, entry.accounting))
        return answer(refusalResult(QStringLiteral("N_Pode_Lanc_Orca")), QString());

    const QString accountingNumber =
        draft.accounted ? postAccounting(context.sql, draft, context.operatorCode) : QString();
    writeEntry(context, entry, accountingNumber);
    writeSettlement(context.sql, settlement, entry.accounting);
    context.reportWrite(entry.accounting.account, {entry.movement, entry.number});
    return answer(
        doneResult(QStringLiteral("Lançamento incluído: movimento %1, %2 %3.")
                       .arg(entry.movement, QString::fromUtf8(entry.accounting.kind->name), entry.number)),
        accountingNumber);
}

} // namespace

void addInsertionMethods(MethodRegistry &registry) {
    for (const InsertionCall *call : {&creditInsertion, &debitInsertion}) {
        registry.add({QString::fromLatin1(call->method), call->args, true, true,
                      [call](CallContext &context, VariantList &args) {
                          return insertEntry(*call, context, args);
                      }});
    }
}

} // namespace bco::server
