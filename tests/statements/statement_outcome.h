#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "statements/bank_statement.h"
#include "support/qt_printers.h"

namespace bco::statements {

// What reading a file answers, as one text that a case can spell out whole and a failure prints side by
// side: the statement (a heading of its account, period and balances, then one row per line) or the
// message it was refused with.
inline QString outcomeOf(const QByteArray &content) {
    BankStatement statement;
    try {
        statement = readStatement(content);
    } catch (const StatementError &error) {
        return QStringLiteral("erro: ") + error.message();
    }
    const auto day = [](const QDate &date) {
        return date.isValid() ? date.toString(Qt::ISODate) : QStringLiteral("-");
    };
    const auto balance = [&](const std::optional<StatementBalance> &b) {
        if (!b)
            return QStringLiteral("-");
        return QStringLiteral("%1@%2%3").arg(b->cents).arg(
            day(b->date), b->stated ? QString() : QStringLiteral("(calculado)"));
    };
    const StatementAccount &a = statement.account;
    QStringList rows{
        QStringLiteral("%1 banco=%2 agência=%3/%4/%5 conta=%6/%7/%8 moeda=%9")
            .arg(statement.format == StatementFormat::Ofx ? QStringLiteral("OFX") : QStringLiteral("CNAB"),
                 a.bankCode, a.agency, a.agencyDigits, a.agencyCheck, a.account, a.accountDigits,
                 a.accountCheck, statement.currency),
        QStringLiteral("período=%1..%2 inicial=%3 final=%4")
            .arg(day(statement.firstDay), day(statement.lastDay), balance(statement.opening),
                 balance(statement.closing))};
    for (const StatementLine &line : statement.lines)
        rows.append(QStringLiteral("%1|%2|%3|%4|%5|%6|l%7")
                        .arg(line.bankId, day(line.date), QString(line.kind), QString::number(line.cents),
                             line.document, line.description, QString::number(line.fileLine)));
    return rows.join(u'\n');
}

} // namespace bco::statements
