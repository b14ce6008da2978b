#include "server/ledger/accounting.h"
#include "server/ledger/result_rows.h"
#include "server/ledger/stored_entry.h"
#include "server/methods/all_methods.h"
#include "server/storage/list_versions.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

// GetDeletaLanc (21 arguments, and the entry's listed version as an optional 22nd): deletes an entry: its
// credit or debit record, its accounting entry with its lines and apportionment, the uses of advances and
// returned invoices it settled (which become available again), and its bank movement with its reconciliation,
// in one transaction; the balances follow the movement. A cheque emitted for a deleted debit stays, no longer
// tied to it. Arguments: the account, the entry's date and value as stored (the value with its sign), the
// account's company, the stored kind, the credit or debit number, the entry's statement line and statement,
// its bank movement, its company, the account of the form's last insertion, the processing date as text, the
// filter's eight working values (by reference; they come back as they were sent), and the entry's accounting
// number. Answers an array whose element 0 is the result packet: empty when the entry was deleted, or a row
// whose key the forms know when something owns the entry (a discounted slip, a loan, a compensation, a
// statement line shared with other movements, a reversal of a reconciled movement) or its accounting period
// is closed. A deletion that went through also answers, as elements 1 and 2, the account's list version
// before and after it (as text), so that a form whose list was at the version before knows the list less the
// entry to be the list after. Refuses, writing nothing: with a version, an entry deleted or written by anyone
// since the client listed it (refuseIfWrittenSince); an entry the account does not hold; one whose stored
// date and value, or company, are not the ones sent; and the movement a reversal reverses.
Variant deleteEntry(CallContext &context, VariantList &args) {
    const EntryKind &kind = kindOfLetter(args[4].toText());
    Sql &sql = context.sql;
    const ListedEntry listed{listedVersion(args, 21), args[1].toDate(),
                             centsFromAmount(std::abs(args[2].toFloat())).value_or(0),
                             QStringLiteral("movimento %1").arg(code(args[8]))};
    const StoredEntry stored =
        requireUnchangedEntry(context, kind, code(args[0]), code(args[8]), code(args[5]), listed);
    if (stored.date != args[1].toDate() || centsFromAmount(std::abs(args[2].toFloat())) != stored.cents)
        throw Refusal(QStringLiteral("A data e o valor enviados não são os do lançamento gravado: nada foi "
                                     "gravado. Atualize a lista e "
                                     "tente de novo."));
    // As a change refuses it: the companies sent (the account's and the entry's) name the entry too.
    for (const size_t company : {size_t{3}, size_t{9}})
        if (!code(args[company]).isEmpty() && code(args[company]) != stored.company)
            throw Refusal(QStringLiteral("A empresa do %1 deve ser a da conta corrente (%2).")
                              .arg(QString::fromUtf8(kind.name), stored.company));
    const qint64 versionBefore = lockListVersion(sql, stored.account);

    if (const auto refusal = refusalByLinks(sql, stored, true))
        return VariantList{*refusal};
    refuseClosedDay(sql, context.operatorCode, stored.company, stored.date);
    const SqlParams movement{{QStringLiteral("conta"), stored.account},
                             {QStringLiteral("movimento"), stored.movement}};
    const auto reversal = sql.scalar(
        QStringLiteral(
            "SELECT NRMOVBANC FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND NRMOVBANCORIG = :movimento"),
        movement);
    if (reversal)
        throw Refusal(
            QStringLiteral("Operação bloqueada! O lançamento foi estornado pelo movimento %1: exclua antes o "
                           "estorno.")
                .arg(reversal->toString()));

    const QString number = EntryKind::column(kind.number);
    const SqlParams record{{QStringLiteral("conta"), stored.account},
                           {QStringLiteral("numero"), stored.number}};
    if (!kind.isCredit())
        sql.execute(
            QStringLiteral(
                "UPDATE CHEQUE SET NRMOVIDEBI = NULL WHERE CDREDUCONT = :conta AND NRMOVIDEBI = :numero"),
            record);
    sql.execute(QStringLiteral("DELETE FROM %1 WHERE CDREDUCONT = :conta AND %2 = :numero")
                    .arg(EntryKind::column(kind.table), number),
                record);
    removeAccounting(sql, stored.accountingNumber);
    for (const char *uses : {"ADIANTCLIUSO", "ADIANTFORUSO", "NFDEVCLIUSO", "NFDEVFORUSO"})
        sql.execute(QStringLiteral("DELETE FROM %1 WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento")
                        .arg(QString::fromLatin1(uses)),
                    movement);
    sql.execute(
        QStringLiteral("DELETE FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento"),
        movement);
    context.reportWrite(stored.account, {stored.movement, stored.number});
    return VariantList{emptyResult(), QString::number(versionBefore),
                       QString::number(listVersion(sql, stored.account))};
}

} // namespace

void addDeletionMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("GetDeletaLanc"),
                  .args = {ArgKind::Text,   ArgKind::Date,  ArgKind::Number, ArgKind::Text, ArgKind::Text,
                           ArgKind::Text,   ArgKind::Text,  ArgKind::Text,   ArgKind::Text, ArgKind::Text,
                           ArgKind::Text,   ArgKind::Text,  ArgKind::Text,   ArgKind::Text, ArgKind::Number,
                           ArgKind::Number, ArgKind::Text,  ArgKind::Text,   ArgKind::Text, ArgKind::Text,
                           ArgKind::Text,   ArgKind::Digits},
                  .writes = true,
                  .handler = deleteEntry,
                  .optionalTrailing = 1});
}

} // namespace bco::server
