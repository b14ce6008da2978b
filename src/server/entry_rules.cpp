#include "server/entry_rules.h"

#include "server/method_registry.h"

namespace bco::server {

namespace {

bool exists(Sql &sql, const QString &query, const SqlParams &params) {
    return sql.scalar(query, params).has_value();
}

[[noreturn]] void refuse(const QString &message) {
    throw Refusal(message);
}

} // namespace

void refuseUnknownCodes(Sql &sql, const EntryToAccount &entry, const QString &typedBranch,
                        const QString &financialClass) {
    if (!exists(sql, QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = :filial"),
                {{QStringLiteral("filial"), entry.branch}}))
        refuse(QStringLiteral("Filial %1 não cadastrada.").arg(entry.branch));
    if (!typedBranch.isEmpty() &&
        !exists(sql, QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = :filial AND CDEMPRESA = :empresa"),
                {{QStringLiteral("filial"), typedBranch}, {QStringLiteral("empresa"), entry.company}}))
        refuse(QStringLiteral("Filial não cadastrada para empresa informada."));

    if (!exists(sql,
                QStringLiteral("SELECT 1 FROM %1 WHERE %2 = :tipo")
                    .arg(EntryKind::column(entry.kind->typeTable), EntryKind::column(entry.kind->type)),
                {{QStringLiteral("tipo"), entry.type}}))
        refuse(entry.kind->isCredit() ? QStringLiteral("Tipo de crédito bancário não cadastrado.")
                                      : QStringLiteral("Tipo de débito bancário não cadastrado."));
    if (!financialClass.isEmpty() &&
        !exists(sql, QStringLiteral("SELECT 1 FROM CLASSFINA WHERE CDCLASSFINA = :classe"),
                {{QStringLiteral("classe"), financialClass}}))
        refuse(QStringLiteral("Classe financeira %1 não cadastrada.").arg(financialClass));

    if (!entry.costCentre.isEmpty() &&
        !exists(sql, QStringLiteral("SELECT 1 FROM CENTCUST WHERE CDCENTCUST = :centro"),
                {{QStringLiteral("centro"), entry.costCentre}}))
        refuse(QStringLiteral("Centro de Custo %1 não cadastrado.").arg(entry.costCentre));

    if (!entry.customer.isEmpty() && !entry.supplier.isEmpty())
        refuse(QStringLiteral("O cliente e o fornecedor não podem ser informados no mesmo lançamento."));
    if (!entry.customer.isEmpty() &&
        !exists(sql, QStringLiteral("SELECT 1 FROM CLIENTE WHERE CDCLIENTE = :cliente"),
                {{QStringLiteral("cliente"), entry.customer}}))
        refuse(QStringLiteral("Cliente não cadastrado."));
    if (!entry.supplier.isEmpty() &&
        !exists(sql, QStringLiteral("SELECT 1 FROM FORNECED WHERE CDFORNECED = :fornecedor"),
                {{QStringLiteral("fornecedor"), entry.supplier}}))
        refuse(QStringLiteral("Fornecedor não cadastrado."));
}

bool overBudget(Sql &sql, const EntryToAccount &entry, const QString &replacedDebit) {
    const bool byCostCentre =
        sql.scalar(QStringLiteral("SELECT 1 FROM GERPARAMGERAL WHERE CDPARAM = 1 AND IDTIPOORCA = 'C'"))
            .has_value();
    const QString costCentre = byCostCentre ? entry.costCentre : QString();
    // SQLite's writer holds the whole database; PostgreSQL locks the budget's row.
    const QString lock = sql.dialect() == Dialect::Postgresql ? QStringLiteral(" FOR UPDATE") : QString();
    const auto budget =
        sql.scalar(QStringLiteral("SELECT VRORCADO FROM ORCATPDEBI WHERE CDEMPRESA = :empresa "
                                  "AND CDTPDEBIBANC = :tipo AND CDCENTCUST = :centro AND NRANO = :ano "
                                  "AND NRMES = :mes") +
                       lock,
                   {{QStringLiteral("empresa"), entry.company},
                    {QStringLiteral("tipo"), entry.type},
                    {QStringLiteral("centro"), costCentre},
                    {QStringLiteral("ano"), entry.date.year()},
                    {QStringLiteral("mes"), entry.date.month()}});
    if (!budget)
        return false;
    const QDate month(entry.date.year(), entry.date.month(), 1);
    QString spentSql =
        QStringLiteral("SELECT COALESCE(SUM(VRMOVIDEBI), 0) FROM MOVDEBIBANC WHERE CDEMPRESA = :empresa "
                       "AND CDTPDEBIBANC = :tipo AND DTMOVIDEBI >= :inicio AND DTMOVIDEBI <= :fim");
    SqlParams params{{QStringLiteral("empresa"), entry.company},
                     {QStringLiteral("tipo"), entry.type},
                     {QStringLiteral("inicio"), month},
                     {QStringLiteral("fim"), month.addMonths(1).addDays(-1)}};
    if (byCostCentre) {
        spentSql += QStringLiteral(" AND CDCENTCUST = :centro");
        params.push_back({QStringLiteral("centro"), costCentre});
    }
    if (!replacedDebit.isEmpty()) {
        spentSql += QStringLiteral(" AND NOT (CDREDUCONT = :conta AND NRMOVIDEBI = :debito)");
        params.push_back({QStringLiteral("conta"), entry.account});
        params.push_back({QStringLiteral("debito"), replacedDebit});
    }
    const qint64 spent = sql.scalar(spentSql, params)->toLongLong();
    return spent + entry.cents > budget->toLongLong();
}

} // namespace bco::server
