#include <algorithm>
#include <cmath>

#include "framework/text/whole_characters.h"
#include "server/ledger/accounting.h"
#include "server/ledger/stored_entry.h"
#include "server/methods/all_methods.h"
#include "server/storage/list_versions.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

// SetEmiteCheque(account, debit, cheque, date, value, payee[, version]): records the cheque the host's cheque
// screen is about to print for a debit of the account: a cheque "E" (emitted) of that number, date, value
// and payee, tied to the debit, whose NRCHEQUE it becomes. Answers the cheque's number, six digits. Refuses,
// writing nothing: with the debit's listed version, a debit deleted or written by anyone since the client
// listed it (refuseIfWrittenSince); an account the operator may not use, a debit the account does not hold,
// a debit that has a cheque already (reprinting it records nothing; told as such before its version, which
// the cheque changed), a number that is not one to six digits
// or that the account has used, a missing date or one that is not the debit's, and a value that is not the
// debit's (a cheque pays its debit whole).
Variant setEmiteCheque(CallContext &context, VariantList &args) {
    Sql &sql = context.sql;
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QString debit = code(args[1]);
    const QDate date = args[3].toDate();
    const auto cents = centsFromAmount(std::abs(args[4].toFloat()));
    // The debit's movement is held until the commit, so that two screens cannot give one debit two cheques.
    const std::optional<StoredEntry> stored = findEntryByNumber(sql, debitKind, account, debit, true);
    // A number no debit of the account held (never drawn, or drawn and never written) names none: no one
    // deleted it, as the deleted numbers the database keeps tell.
    if (!stored && !wasDeleted(sql, account, "MOVDEBIBANC", debit))
        refuse(QStringLiteral("Débito %1 não encontrado na conta corrente %2.").arg(debit, account));
    // A cheque another screen gave the debit meanwhile wrote it since it was listed: told as what it is.
    if (stored && !stored->cheque.trimmed().isEmpty())
        refuse(QStringLiteral("O débito %1 já tem o cheque %2.")
                   .arg(entryInWords(stored->date, stored->cents), stored->cheque.trimmed()));
    refuseIfWrittenSince(
        stored, {listedVersion(args, 6), date, cents.value_or(0), QStringLiteral("débito %1").arg(debit)});

    const QString typed = code(args[2]);
    bool number = std::all_of(typed.begin(), typed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int chequeNumber = number ? typed.toInt(&number) : 0;
    if (typed.isEmpty() || typed.size() > 6 || !number || chequeNumber <= 0)
        refuse(QStringLiteral("Número de cheque inválido: \"%1\" (de 1 a 6 algarismos, não todos zero).")
                   .arg(typed.left(20)));
    const QString cheque = QStringLiteral("%1").arg(chequeNumber, 6, 10, QLatin1Char('0'));
    if (!date.isValid())
        refuse(QStringLiteral("Data do cheque deve ser informada."));
    const QString payee = args[5].toText().trimmed();
    if (payee.size() > 60)
        refuse(QStringLiteral("O favorecido do cheque passa de 60 caracteres."));
    // The payee is printed on one line of the cheque, and shown on one line of its screen.
    if (!isOneLine(payee))
        refuse(QStringLiteral("O favorecido do cheque não pode ter quebras de linha, tabulações ou outros "
                              "caracteres de controle."));

    if (!stored)
        refuse(QStringLiteral("Débito %1 não encontrado na conta corrente %2.").arg(debit, account));
    // The cheque becomes the debit's and its accounting's, which a closed day or period keeps as they are.
    refuseClosedDay(sql, context.operatorCode, stored->company, stored->date);
    if (!cents || *cents != stored->cents)
        refuse(QStringLiteral("O valor do cheque deve ser o valor do débito %1.").arg(debit));
    // The cheque screen dates the cheque by its debit, and the date is the debit's as the client listed it.
    if (date != stored->date)
        refuse(QStringLiteral("A data do cheque deve ser a data do débito %1.").arg(debit));
    // Two debits given one number at once: the second finds it taken and is refused, on either database,
    // rather than failing on the key.
    lockListVersion(sql, account);
    if (sql.scalar(QStringLiteral("SELECT 1 FROM CHEQUE WHERE CDREDUCONT = :conta AND NRCHEQUE = :cheque"),
                   {{QStringLiteral("conta"), account}, {QStringLiteral("cheque"), cheque}}))
        refuse(QStringLiteral("O cheque %1 já foi emitido na conta corrente %2.").arg(cheque, account));

    sql.execute(QStringLiteral("INSERT INTO CHEQUE (CDREDUCONT, NRCHEQUE, DTEMISSAO, VRCHEQUE, NMFAVORECIDO, "
                               "IDSITUCHEQ, NRMOVIDEBI) VALUES (:conta, :cheque, :data, :valor, :favorecido, "
                               "'E', :debito)"),
                {{QStringLiteral("conta"), account},
                 {QStringLiteral("cheque"), cheque},
                 {QStringLiteral("data"), date},
                 {QStringLiteral("valor"), *cents},
                 {QStringLiteral("favorecido"), payee.isEmpty() ? QVariant() : QVariant(payee)},
                 {QStringLiteral("debito"), debit}});
    sql.execute(QStringLiteral("UPDATE MOVDEBIBANC SET NRCHEQUE = :cheque WHERE CDREDUCONT = :conta AND "
                               "NRMOVIDEBI = :debito"),
                {{QStringLiteral("cheque"), cheque},
                 {QStringLiteral("conta"), account},
                 {QStringLiteral("debito"), debit}});
    context.reportWrite(account, {debit, cheque});
    return cheque;
}

} // namespace

void addChequeMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("SetEmiteCheque"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Text, ArgKind::Date, ArgKind::Number,
                           ArgKind::Text, ArgKind::Digits},
                  .writes = true,
                  .handler = setEmiteCheque,
                  .optionalTrailing = 1});
}

} // namespace bco::server
