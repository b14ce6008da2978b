#include <optional>

#include "server/access.h"
#include "server/accounting.h"
#include "server/entry_kinds.h"
#include "server/new_entries.h"
#include "server/method_registry.h"
#include "server/money.h"
#include "server/result_rows.h"
#include "server/stored_entry.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

// GetVeri_Bol(account, credit): the discounted slips whose discount the credit is (CDFILIAL, NRLANBOLREC).
Variant getVeriBol(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    return context.sql.packet(
        QStringLiteral("SELECT CDFILIAL, NRLANBOLREC FROM BOLETODESC WHERE CDREDUCONT = :conta "
                       "AND NRMOVICRED = :numero ORDER BY CDFILIAL, NRLANBOLREC"),
        {{QStringLiteral("conta"), account}, {QStringLiteral("numero"), code(args[1])}},
        {{QStringLiteral("CDFILIAL"), Kind::Text, 4}, {QStringLiteral("NRLANBOLREC"), Kind::Text, 10}});
}

// GetVeriDevolu(account, number, kind): the returned invoices (NRLANCTONF) settled by the bank movement of
// the credit ("0") or debit ("1") `number` of the account.
Variant getVeriDevolu(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const EntryKind &kind = code(args[2]) == u"0" ? creditKind : debitKind;
    const Columns columns = {{QStringLiteral("NRLANCTONF"), Kind::Text, 10}};
    DataPacket found(fieldsOf(columns));
    for (const char *party : {"CLI", "FOR"}) {
        const DataPacket rows = context.sql.packet(
            QStringLiteral(
                "SELECT N.NRLANCTONF FROM %1 R JOIN NFDEV%2USO U ON U.CDREDUCONT = R.CDREDUCONT "
                "AND U.NRMOVBANC = R.NRMOVBANC JOIN NFDEV%2 N ON N.FILIDEVO = U.FILIDEVO AND "
                "N.NRNFDEVO = U.NRNFDEVO WHERE R.CDREDUCONT = :conta AND R.%3 = :numero ORDER BY 1")
                .arg(EntryKind::column(kind.table), QString::fromLatin1(party),
                     EntryKind::column(kind.number)),
            {{QStringLiteral("conta"), account}, {QStringLiteral("numero"), code(args[1])}}, columns);
        for (int row = 0; row < rows.rowCount(); ++row)
            found.appendRow(rows.row(row).values);
    }
    return found;
}

// GetPesqConciliacao(account, line, statement, origin): two packets. The first holds the reconciliation
// (CDSEQUEXBA, NRSEQMOVREBA) of the movement `origin` that a reversal reverses, when it is reconciled; the
// second, QTCONCILIADO, how many other movements of the account share the statement line of the entry.
Variant getPesqConciliacao(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QString line = code(args[1]);
    const QString statement = code(args[2]);
    const QString origin = code(args[3]);
    const Columns originColumns = {{QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
                                   {QStringLiteral("NRSEQMOVREBA"), Kind::Text, 10}};
    const DataPacket originReconciliation =
        origin.isEmpty()
            ? emptyPacket(originColumns)
            : context.sql.packet(QStringLiteral("SELECT CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO WHERE "
                                                "CDREDUCONT = :conta AND NRMOVBANC = :origem AND CDSEQUEXBA "
                                                "IS NOT NULL AND NRSEQMOVREBA IS NOT NULL"),
                                 {{QStringLiteral("conta"), account}, {QStringLiteral("origem"), origin}},
                                 originColumns);
    // Every movement on the line but one: the entry's own.
    const qint64 onLine = sharedReconciliations(context.sql, account, statement, line, QString());
    DataPacket shared(fieldsOf({{QStringLiteral("QTCONCILIADO"), Kind::Float, 0}}));
    shared.appendValues({static_cast<double>(std::max<qint64>(0, onLine - 1))});
    return VariantList{originReconciliation, shared};
}

// GetAltMoviReal(account, line, statement): whether the reconciliation of a statement line can be released
// for a change. It writes nothing: the release belongs to the change the operator confirms, which releases it
// in its own transaction, so that cancelling the change leaves the reconciliation as it was. Answers the
// line's movements; refuses a line that does not exist or is shared by several movements.
Variant getAltMoviReal(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QString line = code(args[1]);
    const QString statement = code(args[2]);
    const DataPacket movements = context.sql.packet(
        QStringLiteral(
            "SELECT NRMOVBANC, CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
            "CDSEQUEXBA = :extrato AND NRSEQMOVREBA = :linha ORDER BY NRMOVBANC"),
        {{QStringLiteral("conta"), account},
         {QStringLiteral("extrato"), statement},
         {QStringLiteral("linha"), line}},
        {{QStringLiteral("NRMOVBANC"), Kind::Text, 10},
         {QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
         {QStringLiteral("NRSEQMOVREBA"), Kind::Text, 10}});
    if (movements.rowCount() == 0)
        refuse(
            QStringLiteral("Nenhum movimento está conciliado no extrato %1, linha %2.").arg(statement, line));
    if (movements.rowCount() > 1)
        refuse(QStringLiteral(
                   "O extrato %1, linha %2 concilia %3 movimentos: a conciliação não pode ser desfeita "
                   "por um deles.")
                   .arg(statement, line)
                   .arg(movements.rowCount()));
    return movements;
}

// GetDelMovBanc(account, movement): whether the reconciliation of a movement can be released, writing
// nothing (see GetAltMoviReal). Answers the movement with its reconciliation; refuses an unknown movement.
Variant getDelMovBanc(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const DataPacket movement = context.sql.packet(
        QStringLiteral(
            "SELECT NRMOVBANC, CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
            "NRMOVBANC = :movimento"),
        {{QStringLiteral("conta"), account}, {QStringLiteral("movimento"), code(args[1])}},
        {{QStringLiteral("NRMOVBANC"), Kind::Text, 10},
         {QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
         {QStringLiteral("NRSEQMOVREBA"), Kind::Text, 10}});
    if (movement.rowCount() == 0)
        refuse(
            QStringLiteral("Movimento %1 não encontrado na conta corrente %2.").arg(code(args[1]), account));
    return movement;
}

// GetVinculosLanc(account, movement, kind, number): what owns the entry, so that a form that refuses a
// change or a deletion can name it to the operator: one row per owner, CDVINCULO its kind (DEVOLUCAO,
// BOLETO, EMPRESTIMO, COMPENSACAO, CONCILIACAO, ESTORNO) and DSVINCULO its description. The kind is "C" or
// "D".
Variant getVinculosLanc(CallContext &context, VariantList &args) {
    const StoredEntry entry =
        requireEntry(context, kindOfLetter(args[2].toText()), code(args[0]), code(args[1]), code(args[3]));
    DataPacket links(fieldsOf(
        {{QStringLiteral("CDVINCULO"), Kind::Text, 20}, {QStringLiteral("DSVINCULO"), Kind::Text, 250}}));
    for (const EntryLink &link : linksOf(context.sql, entry))
        links.appendValues({linkCode(link.kind), link.description});
    return links;
}

// The positions of the arguments of the two change calls, which carry the same values in different orders
// (and the debit its cheque number, the credit its operator and type account). -1: not carried.
struct ChangeCall {
    const char *method;
    const EntryKind *kind;
    int count;
    int account, movement, number, numberToWrite, date, typeName, value, document, type, description, company,
        typedBranch, typeClass, entryBranch, storedKind, costCentre, customer, supplier, cheque, storedValue,
        storedDate;
};

const ChangeCall creditChange{"getAlteraCred",
                              &creditKind,
                              27,
                              7,
                              13,
                              14,
                              15,
                              4,
                              2,
                              6,
                              3,
                              11,
                              1,
                              16,
                              8,
                              17,
                              18,
                              20,
                              9,
                              22,
                              23,
                              -1,
                              24,
                              25};
const ChangeCall debitChange{"getAlterDebito",
                             &debitKind,
                             33,
                             0,
                             1,
                             6,
                             7,
                             2,
                             3,
                             4,
                             5,
                             8,
                             10,
                             12,
                             13,
                             16,
                             18,
                             20,
                             22,
                             27,
                             28,
                             29,
                             30,
                             31};

std::vector<ArgKind> argumentsOf(const ChangeCall &call) {
    std::vector<ArgKind> kinds(static_cast<size_t>(call.count), ArgKind::Text);
    for (const int date : {call.date, call.storedDate})
        kinds[static_cast<size_t>(date)] = ArgKind::Date;
    for (const int number : {call.value, call.storedValue})
        kinds[static_cast<size_t>(number)] = ArgKind::Number;
    if (call.kind == &debitKind) {
        // The debit repeats the date and the value shown.
        for (const int date : {9, 19, 24})
            kinds[static_cast<size_t>(date)] = ArgKind::Date;
        for (const int number : {11, 25})
            kinds[static_cast<size_t>(number)] = ArgKind::Number;
    }
    return kinds;
}

QVariant orNull(const QString &value) {
    return value.isEmpty() ? QVariant() : QVariant(value);
}

// getAlteraCred (27 arguments) and getAlterDebito (33): rewrites an entry with what the form shows: its bank
// movement, its credit or debit record and its accounting entry (under the same number), in one transaction,
// and releases the entry's reconciliation, which no longer stands for the changed movement. The stored date
// and value that the form sends must be the entry's own: another operator's change in between refuses this
// one. Answers four packets as getInsert does. Refuses, with a result row whose key the forms know, an entry
// that another process owns (returned invoices, discounted slips, loans, compensations, a statement line
// shared with other movements, a reversal of a reconciled movement) or a date outside an open accounting
// period; and, like an insertion, whatever no form could send or the catalogues do not hold.
Variant changeEntry(const ChangeCall &call, CallContext &context, VariantList &args) {
    const auto arg = [&args](int position) -> const Variant & {
        return args[static_cast<size_t>(position)];
    };
    const EntryKind &kind = *call.kind;
    if (&kindOfLetter(arg(call.storedKind).toText()) != &kind)
        refuse(QStringLiteral("A forma de um lançamento não pode ser alterada."));
    if (code(arg(call.numberToWrite)) != code(arg(call.number)))
        refuse(QStringLiteral("O número de um lançamento não pode ser alterado."));
    Sql &sql = context.sql;
    const StoredEntry stored = requireEntry(context, kind, code(arg(call.account)), code(arg(call.movement)),
                                            code(arg(call.number)), true);
    if (stored.date != arg(call.storedDate).toDate() ||
        centsFromAmount(std::abs(arg(call.storedValue).toFloat())) != stored.cents)
        refuse(QStringLiteral(
            "O lançamento foi alterado por outro operador. Atualize a lista e tente de novo."));

    const auto answer = [](const DataPacket &result, const AccountingDraft &draft, const QString &number) {
        return Variant(VariantList{result, accountingRows(draft, number), apportionmentRows(draft, number),
                                   errorRows(draft)});
    };
    if (const auto refusal = refusalByLinks(sql, stored, false))
        return answer(*refusal, AccountingDraft(), QString());
    if (!stored.accountingNumber.isEmpty() && !isOpenPeriod(sql, stored.company, stored.date))
        return answer(refusalResult(QStringLiteral("Lanc_ForaPeri")), AccountingDraft(), QString());

    EntryToAccount changed;
    changed.kind = &kind;
    changed.account = stored.account;
    changed.company = stored.company;
    changed.movement = stored.movement;
    changed.date = arg(call.date).toDate();
    if (!changed.date.isValid())
        refuse(QStringLiteral("Data deve ser informada."));
    // The form shows a debit's value with the sign the list gives it: the kind says the direction.
    const auto cents = centsFromAmount(std::abs(arg(call.value).toFloat()));
    if (!cents || *cents <= 0)
        refuse(QStringLiteral("Valor deve ser maior que zero."));
    changed.cents = *cents;
    if (code(arg(call.company)) != stored.company)
        refuse(QStringLiteral("A empresa do %1 deve ser a da conta corrente (%2).")
                   .arg(QString::fromUtf8(kind.name), stored.company));
    changed.type = code(arg(call.type));
    changed.branch = code(arg(call.entryBranch));
    changed.costCentre = code(arg(call.costCentre));
    changed.customer = code(arg(call.customer));
    changed.supplier = code(arg(call.supplier));
    changed.description = arg(call.description).toText().left(40);
    const QString typedBranch = code(arg(call.typedBranch));
    const QString financialClass = code(arg(call.typeClass));
    NewEntryChecks checks(context);
    checks.checkCodes(changed, typedBranch, financialClass);
    checks.checkCostCentre(changed.costCentre);
    const QString cheque = call.cheque >= 0 ? code(arg(call.cheque)) : stored.cheque;
    if (cheque.size() > 6)
        refuse(QStringLiteral("Número de cheque inválido: \"%1\".").arg(cheque));

    const AccountingDraft draft = draftAccounting(sql, changed);
    if (!draft.errors.isEmpty())
        return answer(emptyResult(), draft, QString());
    // A debit that takes no more of its budget than it held (the same type, month and cost centre, and no
    // higher value) is not refused by it, even when other debits have passed the budget since: sending a
    // debit again with its cheque, or a new description, must not fail on what others spent.
    const bool sameBudget = changed.type == stored.type && changed.costCentre == stored.costCentre &&
                            changed.date.year() == stored.date.year() &&
                            changed.date.month() == stored.date.month();
    if (!kind.isCredit() && !(sameBudget && changed.cents <= stored.cents) &&
        !DebitBudget(sql, stored.account, stored.number).admit(changed))
        return answer(refusalResult(QStringLiteral("N_Pode_Lanc_Orca")), draft, QString());

    // The record lets go of its accounting entry before it is rewritten under the same number.
    const QString record = EntryKind::column(kind.table);
    const SqlParams key{{QStringLiteral("conta"), stored.account}, {QStringLiteral("numero"), stored.number}};
    sql.execute(QStringLiteral("UPDATE %1 SET NRLANCCONT = NULL WHERE CDREDUCONT = :conta AND %2 = :numero")
                    .arg(record, EntryKind::column(kind.number)),
                key);
    removeAccounting(sql, stored.accountingNumber);
    const QString accountingNumber =
        draft.accounted ? postAccounting(sql, draft, context.operatorCode, stored.accountingNumber)
                        : QString();

    const QString history = (changed.description + u'(' + arg(call.typeName).toText() + u')').left(40);
    sql.execute(
        QStringLiteral(
            "UPDATE MOVBANCARIO SET DTMOVBANC = :data, NRDOCMBANC = :documento, DSHISMBANC = "
            ":historico, VRMOVBANC = :valor, IDSTCONEXT = '0', CDSEQUEXBA = NULL, NRSEQMOVREBA = NULL, "
            "CDOPERADOR = :operador WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento"),
        {{QStringLiteral("data"), changed.date},
         {QStringLiteral("documento"), orNull(code(arg(call.document)))},
         {QStringLiteral("historico"), orNull(history)},
         {QStringLiteral("valor"), changed.cents},
         {QStringLiteral("operador"), context.operatorCode},
         {QStringLiteral("conta"), stored.account},
         {QStringLiteral("movimento"), stored.movement}});
    sql.execute(
        QStringLiteral(
            "UPDATE %1 SET %2 = :tipo, %3 = :data, %4 = :descricao, %5 = :valor, %6 = :filiallanc, "
            "CDFILIAL = :filial, CDCLASSFINA = :classe, DTMOVFLUXO = :data, CDCENTCUST = :centro, "
            "CDCLIENTE = :cliente, CDFORNECED = :fornecedor, NRCHEQUE = :cheque, NRLANCCONT = :contabil, "
            "CDOPERADOR = :operador WHERE CDREDUCONT = :conta AND %7 = :numero")
            .arg(record, EntryKind::column(kind.type), EntryKind::column(kind.date),
                 EntryKind::column(kind.description), EntryKind::column(kind.value),
                 EntryKind::column(kind.typedBranch), EntryKind::column(kind.number)),
        {{QStringLiteral("tipo"), changed.type},
         {QStringLiteral("data"), changed.date},
         {QStringLiteral("descricao"), orNull(changed.description)},
         {QStringLiteral("valor"), changed.cents},
         {QStringLiteral("filiallanc"), orNull(typedBranch)},
         {QStringLiteral("filial"), changed.branch},
         {QStringLiteral("classe"), orNull(financialClass)},
         {QStringLiteral("centro"), orNull(changed.costCentre)},
         {QStringLiteral("cliente"), orNull(changed.customer)},
         {QStringLiteral("fornecedor"), orNull(changed.supplier)},
         {QStringLiteral("cheque"), orNull(cheque)},
         {QStringLiteral("contabil"), orNull(accountingNumber)},
         {QStringLiteral("operador"), context.operatorCode},
         {QStringLiteral("conta"), stored.account},
         {QStringLiteral("numero"), stored.number}});
    context.reportWrite(stored.account, {stored.movement, stored.number});
    // A form reads any row of the answer's result as a refusal: a change that went through answers none.
    return answer(emptyResult(), draft, accountingNumber);
}

} // namespace

void addChangeMethods(MethodRegistry &registry) {
    registry.add({QStringLiteral("GetVeri_Bol"), {ArgKind::Text, ArgKind::Text}, false, true, getVeriBol});
    registry.add({QStringLiteral("GetVeriDevolu"),
                  {ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  false,
                  true,
                  getVeriDevolu});
    registry.add({QStringLiteral("GetPesqConciliacao"),
                  {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  false,
                  true,
                  getPesqConciliacao});
    registry.add({QStringLiteral("GetAltMoviReal"),
                  {ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  false,
                  true,
                  getAltMoviReal});
    registry.add(
        {QStringLiteral("GetDelMovBanc"), {ArgKind::Text, ArgKind::Text}, false, true, getDelMovBanc});
    registry.add({QStringLiteral("GetVinculosLanc"),
                  {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  false,
                  true,
                  getVinculosLanc});
    for (const ChangeCall *call : {&creditChange, &debitChange}) {
        registry.add({QString::fromLatin1(call->method), argumentsOf(*call), true, true,
                      [call](CallContext &context, VariantList &args) {
                          return changeEntry(*call, context, args);
                      }});
    }
}

} // namespace bco::server
