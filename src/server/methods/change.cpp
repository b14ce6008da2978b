#include <algorithm>
#include <cmath>
#include <optional>

#include "framework/text/whole_characters.h"
#include "server/ledger/accounting.h"
#include "server/ledger/new_entries.h"
#include "server/ledger/entry_kinds.h"
#include "server/ledger/repeated_movements.h"
#include "server/ledger/result_rows.h"
#include "server/ledger/stored_entry.h"
#include "server/methods/all_methods.h"
#include "server/storage/list_versions.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

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
// for a change. It writes nothing: a change keeps the reconciliation (it rewrites the description alone, and
// the movement's date, value and document, which the pairing stands on, stay), and a deletion releases it in
// its own transaction. Answers the line's movements; refuses a line that does not exist or is shared by
// several movements.
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
// BOLETO, EMPRESTIMO, COMPENSACAO, CONCILIACAO, ESTORNO; ADIANTAMENTO, which owns nothing but is given back
// by a deletion as a returned invoice is) and DSVINCULO its description. The kind is "C" or "D".
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
// (and the debit its cheque number, the credit its operator and type account).
struct ChangeCall {
    const char *method;
    const EntryKind *kind;
    int count; // what every caller sends; the version of the entry the client listed may follow
    int account, movement, number, numberToWrite, storedKind, company, type, description;
    // Where the call carries the date and the value the form shows (the debit repeats them).
    std::vector<int> shownDates, shownValues;
    int storedDate, storedValue;
};

const ChangeCall creditChange{.method = "getAlteraCred",
                              .kind = &creditKind,
                              .count = 27,
                              .account = 7,
                              .movement = 13,
                              .number = 14,
                              .numberToWrite = 15,
                              .storedKind = 20,
                              .company = 16,
                              .type = 11,
                              .description = 1,
                              .shownDates = {4},
                              .shownValues = {6},
                              .storedDate = 25,
                              .storedValue = 24};
const ChangeCall debitChange{.method = "getAlterDebito",
                             .kind = &debitKind,
                             .count = 33,
                             .account = 0,
                             .movement = 1,
                             .number = 6,
                             .numberToWrite = 7,
                             .storedKind = 20,
                             .company = 12,
                             .type = 8,
                             .description = 10,
                             .shownDates = {2, 9, 19, 24},
                             .shownValues = {4, 11, 25},
                             .storedDate = 31,
                             .storedValue = 30};

std::vector<ArgKind> argumentsOf(const ChangeCall &call) {
    std::vector<ArgKind> kinds(static_cast<size_t>(call.count), ArgKind::Text);
    for (const int date : call.shownDates)
        kinds[static_cast<size_t>(date)] = ArgKind::Date;
    for (const int value : call.shownValues)
        kinds[static_cast<size_t>(value)] = ArgKind::Number;
    kinds[static_cast<size_t>(call.storedDate)] = ArgKind::Date;
    kinds[static_cast<size_t>(call.storedValue)] = ArgKind::Number;
    kinds.push_back(ArgKind::Digits);
    kinds.push_back(ArgKind::Text);
    return kinds;
}

QVariant orNull(const QString &value) {
    return value.isEmpty() ? QVariant() : QVariant(value);
}

// getAlteraCred (27 arguments) and getAlterDebito (33), each with the entry's listed version as an optional
// argument, and after it, optionally, the movements the operator was shown as repeated by the entry so
// described (getPesqMovBanc), which another repeating it refuses as an include's does (LANCA_JA_CAD_OUTRO):
// rewrites the description of an entry, the one thing the forms let the operator change. It writes the
// record's description and the movement's history (the description, "(", the type's name as the catalogue has
// it, ")", cut to 40 characters) and the history of its accounting entry, whose lines and apportionment stay
// as they were posted, in one transaction. The entry's reconciliation stays: its pairing with the statement
// line stands on the date, value and document, which no change touches, and releasing it would undo what the
// operator did not ask to undo. A call whose description is the stored one writes nothing. Everything else
// the call carries is the form's copy of the stored entry and is not written: the kind, date, value, type,
// document, branches, financial class, cost centre, customer, supplier and cheque number stay as stored (the
// debit's cheque is recorded by SetEmiteCheque alone, and a change never clears it). Answers four packets as
// getInsert does: no result row, the stored accounting lines and shares, no errors.
//
// Refuses, writing nothing: with a version, an entry deleted or written by anyone since the client listed it
// (refuseIfWrittenSince); without one, an entry whose stored date and value are not the ones sent; a call
// whose date, value or type shown are not the stored ones; another kind or number than the entry's; and,
// with a result row whose key the forms know, an entry that another process owns (returned invoices,
// discounted slips, loans, compensations, a statement line shared with other movements, a reversal of a
// reconciled movement) or a date outside an open accounting period.
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
    const ListedEntry listed{listedVersion(args, static_cast<size_t>(call.count)),
                             arg(call.storedDate).toDate(),
                             centsFromAmount(std::abs(arg(call.storedValue).toFloat())).value_or(0),
                             QStringLiteral("movimento %1").arg(code(arg(call.movement)))};
    const StoredEntry stored = requireUnchangedEntry(
        context, kind, code(arg(call.account)), code(arg(call.movement)), code(arg(call.number)), listed);
    lockListVersion(sql, stored.account);
    if (stored.date != arg(call.storedDate).toDate() ||
        centsFromAmount(std::abs(arg(call.storedValue).toFloat())) != stored.cents)
        refuse(QStringLiteral("A data e o valor enviados não são os do lançamento gravado: nada foi gravado. "
                              "Atualize a lista e "
                              "tente de novo."));
    // The form shows a debit's value with the sign the list gives it: the kind says the direction.
    const bool sameShown =
        std::all_of(call.shownDates.begin(), call.shownDates.end(),
                    [&](int date) { return arg(date).toDate() == stored.date; }) &&
        std::all_of(
            call.shownValues.begin(), call.shownValues.end(),
            [&](int value) { return centsFromAmount(std::abs(arg(value).toFloat())) == stored.cents; }) &&
        code(arg(call.type)) == stored.type;
    if (!sameShown)
        refuse(QStringLiteral("Só a descrição de um lançamento pode ser alterada."));
    if (code(arg(call.company)) != stored.company)
        refuse(QStringLiteral("A empresa do %1 deve ser a da conta corrente (%2).")
                   .arg(QString::fromUtf8(kind.name), stored.company));

    const auto answer = [](const DataPacket &result, const AccountingDraft &draft, const QString &number) {
        return Variant(VariantList{result, accountingRows(draft, number), apportionmentRows(draft, number),
                                   errorRows(draft)});
    };
    const QString description = arg(call.description).toText();
    if (description.size() > 40)
        refuse(QStringLiteral("A descrição do lançamento passa de 40 caracteres."));
    // A change that leaves the description as stored writes nothing: the cheque screen sends the debit again
    // once its cheque is recorded.
    if (description == stored.description)
        return answer(emptyResult(), storedAccounting(sql, stored.accountingNumber), stored.accountingNumber);
    // The form confirms no change that empties the description.
    if (description.trimmed().isEmpty())
        refuse(QStringLiteral("Descrição deve ser informada."));
    if (!isOneLine(description))
        refuse(QStringLiteral("A descrição não pode ter quebras de linha, tabulações ou outros caracteres de "
                              "controle."));
    if (const auto refusal = refusalByLinks(sql, stored, false))
        return answer(*refusal, AccountingDraft(), QString());
    refuseClosedDay(sql, context.operatorCode, stored.company, stored.date);
    const QString history = newMovementHistory(EntryOrigin::Form, description, stored.typeName);
    // The form asked whether the entry, so described, repeats another of the account before this call: one
    // another operator wrote meanwhile was never asked about.
    if (args.size() > static_cast<size_t>(call.count) + 1) {
        const QString document =
            sql.scalar(QStringLiteral("SELECT NRDOCMBANC FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
                                      "NRMOVBANC = :movimento"),
                       {{QStringLiteral("conta"), stored.account},
                        {QStringLiteral("movimento"), stored.movement}})
                .value_or(QVariant())
                .toString()
                .trimmed();
        if (const QStringList unseen =
                repetitionsNotShown(sql, stored.account, stored.date, stored.cents, document, history,
                                    code(args[static_cast<size_t>(call.count) + 1]), stored.movement);
            !unseen.isEmpty())
            return answer(refusalResult(QStringLiteral("LANCA_JA_CAD_OUTRO"), unseen), AccountingDraft(),
                          QString());
    }

    // The accounting stays as it was posted, lines and apportionment alike: only its history carries the
    // description. Drafting it again would apportion the entry by today's rules (another apportionment of
    // its type, a cost centre that budgets now demand), which is not what the operator changed.
    rewriteAccountingHistory(sql, stored.accountingNumber, description);
    const QString record = EntryKind::column(kind.table);
    sql.execute(QStringLiteral("UPDATE MOVBANCARIO SET DSHISMBANC = :historico, CDOPERADOR = :operador WHERE "
                               "CDREDUCONT = :conta AND NRMOVBANC = :movimento"),
                {{QStringLiteral("historico"), orNull(history)},
                 {QStringLiteral("operador"), context.operatorCode},
                 {QStringLiteral("conta"), stored.account},
                 {QStringLiteral("movimento"), stored.movement}});
    sql.execute(
        QStringLiteral("UPDATE %1 SET %2 = :descricao, CDOPERADOR = :operador WHERE CDREDUCONT = :conta AND "
                       "%3 = :numero")
            .arg(record, EntryKind::column(kind.description), EntryKind::column(kind.number)),
        {{QStringLiteral("descricao"), orNull(description)},
         {QStringLiteral("operador"), context.operatorCode},
         {QStringLiteral("conta"), stored.account},
         {QStringLiteral("numero"), stored.number}});
    context.reportWrite(stored.account, {stored.movement, stored.number});
    // A form reads any row of the answer's result as a refusal: a change that went through answers none.
    return answer(emptyResult(), storedAccounting(sql, stored.accountingNumber), stored.accountingNumber);
}

} // namespace

void addChangeMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("GetVeri_Bol"),
                  .args = {ArgKind::Text, ArgKind::Text},
                  .handler = getVeriBol});
    registry.add({.name = QStringLiteral("GetVeriDevolu"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  .handler = getVeriDevolu});
    registry.add({.name = QStringLiteral("GetPesqConciliacao"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  .handler = getPesqConciliacao});
    registry.add({.name = QStringLiteral("GetAltMoviReal"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  .handler = getAltMoviReal});
    registry.add({.name = QStringLiteral("GetDelMovBanc"),
                  .args = {ArgKind::Text, ArgKind::Text},
                  .handler = getDelMovBanc});
    registry.add({.name = QStringLiteral("GetVinculosLanc"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Text},
                  .handler = getVinculosLanc});
    for (const ChangeCall *call : {&creditChange, &debitChange}) {
        registry.add({.name = QString::fromLatin1(call->method),
                      .args = argumentsOf(*call),
                      .writes = true,
                      .handler = [call](CallContext &context,
                                        VariantList &args) { return changeEntry(*call, context, args); },
                      .optionalTrailing = 2});
    }
}

} // namespace bco::server
