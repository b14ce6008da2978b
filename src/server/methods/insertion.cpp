#include <array>

#include "server/ledger/new_entries.h"
#include "server/ledger/repeated_movements.h"
#include "server/ledger/result_rows.h"
#include "server/ledger/settlement.h"
#include "server/methods/all_methods.h"
#include "server/storage/list_versions.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

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
    // The optional last argument, after the party letter: the movements the operator was shown as holding
    // this entry already, and confirmed it beside (their numbers, comma-separated; empty for none).
    int shownRepetitions;
};

const InsertionCall creditInsertion{
    "getInsert",
    &creditKind,
    {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Date,
     ArgKind::Number, ArgKind::Any, ArgKind::Any, ArgKind::Text, ArgKind::Any, ArgKind::Any, ArgKind::Any,
     ArgKind::Any, ArgKind::Text, ArgKind::Text},
    {11, 12, 13, 14},
    15,
    16,
};

const InsertionCall debitInsertion{
    "getIncDebito",
    &debitKind,
    {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Date,
     ArgKind::Number, ArgKind::Any, ArgKind::Any, ArgKind::Any, ArgKind::Any, ArgKind::Any, ArgKind::Any,
     ArgKind::Text, ArgKind::Text},
    {11, 10, 12, 13},
    14,
    15,
};

// Reads the two records and the plain arguments and refuses whatever the forms could not have sent or the
// catalogues do not hold; answers the entry to write.
NewEntry checkedEntry(CallContext &context, const InsertionCall &call, const VariantList &args) {
    const EntryKind &kind = *call.kind;
    const InsertedRecord movement(args[8], movementLayout(), QStringLiteral("movimento bancário"));
    const auto layout = recordLayout(kind);
    const InsertedRecord record(args[9], layout, QString::fromUtf8(kind.name));
    const QString kindName = QString::fromUtf8(kind.name);

    NewEntryChecks checks(context);
    NewEntry entry = checks.check(kind, movement, record, EntryOrigin::Form);
    EntryToAccount &accounting = entry.accounting;
    if (args[6].toDate() != accounting.date)
        refuse(QStringLiteral("A data do %1 difere da data do movimento bancário.").arg(kindName));
    if (centsFromAmount(args[7].toFloat()) != accounting.cents)
        refuse(QStringLiteral("O valor do %1 difere do valor do movimento bancário.").arg(kindName));
    accounting.costCentre = code(args[4]);
    checks.checkCostCentre(accounting);
    const QString partyLetter = code(args[static_cast<size_t>(call.partyLetter)]).toUpper();
    if (partyLetter != u"C" && partyLetter != u"F")
        refuse(QStringLiteral("Indicador de cliente ou fornecedor inválido: \"%1\".").arg(partyLetter));
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

// getInsert (a credit, 16 arguments) and getIncDebito (a debit, 15): writes a new entry: its bank movement,
// its credit or debit record and, for an accounted type, its accounting entry with the apportionment of its
// value. Arguments: the branch typed, "C", the document number, the type's history, the entry's cost centre,
// the type's ledger account, the date, the value, the change logs of the movement and of the record, then
// (credit) the operator's code, the four selections of advances and returns, the party letter ("C" a
// customer, "F" a supplier or none) and, optionally, the movements the operator was shown as repeated by the
// entry (getPesqMovBanc) and confirmed it beside: another that repeats it answers the result row "MSG" with
// key LANCA_JA_CAD_OUTRO (a row "DET" names each), and nothing is written. The type's history and ledger
// account are taken from the catalogue, where the forms read them. Answers four packets: the result rows, the
// accounting lines, the apportionment shares and the accounting errors (see accounting.h). Refuses (and
// writes nothing) a change log that is not exactly one new row of the record's layout, an account the
// operator may not use, a number the account's series did not draw or that is taken, a value that is not
// positive, records that disagree with each other or with the arguments, codes the catalogues do not hold, a
// cost centre that is not the branch's, an entry without the customer or supplier its accounting needs
// (new_entries.h), and selections settlement.h refuses. Writes nothing and answers the errors when the entry
// cannot be accounted, the result row "MSG" with key Adianta_Ja_Util or Devolucao_Ja_Util when an advance or
// a returned invoice has less left than the entry discounts of it (a row "DET" names the item, what is left
// and what was asked), or with key N_Pode_Lanc_Orca when a debit would pass its type's budget. Otherwise the
// discounts of the marked advances and returns are settled with the entry.
Variant insertEntry(const InsertionCall &call, CallContext &context, VariantList &args) {
    const NewEntry entry = checkedEntry(context, call, args);
    // The account's list version first, as every writer of the account's entries takes it before what else
    // it holds (the period read for the accounting, open items, budgets, numbers), so that no two writers
    // wait on each other.
    lockListVersion(context.sql, entry.accounting.account);
    // The form asked whether the entry repeats one the account holds, and the operator answered, before this
    // call: a repetition another operator wrote meanwhile was never asked about. Held by the list version,
    // the account takes no other entry until this call ends.
    if (args.size() > static_cast<size_t>(call.shownRepetitions))
        if (const QStringList unseen = repetitionsNotShown(
                context.sql, entry.accounting.account, entry.accounting.date, entry.accounting.cents,
                entry.document, entry.history, code(args[static_cast<size_t>(call.shownRepetitions)]));
            !unseen.isEmpty())
            return Variant(VariantList{refusalResult(QStringLiteral("LANCA_JA_CAD_OUTRO"), unseen),
                                       accountingRows(AccountingDraft(), QString()),
                                       apportionmentRows(AccountingDraft(), QString()),
                                       errorRows(AccountingDraft())});
    const AccountingDraft draft = draftAccounting(context.sql, entry.accounting);
    const auto answer = [&draft](const DataPacket &result, const QString &number) {
        return Variant(VariantList{result, accountingRows(draft, number), apportionmentRows(draft, number),
                                   errorRows(draft)});
    };
    if (!draft.errors.isEmpty())
        return answer(emptyResult(), QString());
    // An accounted entry outside the period was stopped by its accounting errors above.
    refuseClosedDay(context.sql, context.operatorCode, entry.accounting.company, entry.accounting.date);
    NewEntryChecks(context).refuseNumbersTakenSince(*call.kind, entry);
    const Settlement settlement = checkedSettlement(context.sql, selectionsOf(call, args), entry.accounting);
    if (!settlement.refusedWith.isEmpty())
        return answer(refusalResult(settlement.refusedWith, settlement.refusalDetails), QString());
    if (!entry.accounting.kind->isCredit() && !DebitBudget(context.sql).admit(entry.accounting))
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
        registry.add({.name = QString::fromLatin1(call->method),
                      .args = call->args,
                      .writes = true,
                      .handler = [call](CallContext &context,
                                        VariantList &args) { return insertEntry(*call, context, args); },
                      .optionalTrailing = 1});
    }
}

} // namespace bco::server
