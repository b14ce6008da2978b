#include "server/transport/access.h"

namespace bco::server {

QString code(const Variant &value) {
    return value.toText().trimmed();
}

QString requireAccount(CallContext &context, const QString &account) {
    if (account.isEmpty())
        throw Refusal(QStringLiteral("Conta corrente deve ser informada."));
    const auto company =
        context.sql.scalar(QStringLiteral("SELECT CDEMPRESA FROM CONTCORR WHERE CDREDUCONT = :conta"),
                           {{QStringLiteral("conta"), account}});
    if (!company)
        throw Refusal(QStringLiteral("Conta corrente %1 não cadastrada.").arg(account));
    const QString companyCode = company->toString();
    const auto related = context.sql.scalar(
        QStringLiteral("SELECT 1 FROM OPEREMPR WHERE CDOPERADOR = :operador AND CDEMPRESA = :empresa"),
        {{QStringLiteral("operador"), context.operatorCode}, {QStringLiteral("empresa"), companyCode}});
    if (!related)
        throw Refusal(QStringLiteral("Operador %1 não relacionado à empresa %2 da conta corrente %3.")
                          .arg(context.operatorCode, companyCode, account));
    return companyCode;
}

bool allowCompany(CallContext &context, const QString &company) {
    const auto exists = context.sql.scalar(QStringLiteral("SELECT 1 FROM EMPRESA WHERE CDEMPRESA = :empresa"),
                                           {{QStringLiteral("empresa"), company}});
    if (!exists)
        return false;
    const auto related = context.sql.scalar(
        QStringLiteral("SELECT 1 FROM OPEREMPR WHERE CDOPERADOR = :operador AND CDEMPRESA = :empresa"),
        {{QStringLiteral("operador"), context.operatorCode}, {QStringLiteral("empresa"), company}});
    if (!related)
        throw Refusal(
            QStringLiteral("Operador %1 não relacionado à empresa %2.").arg(context.operatorCode, company));
    return true;
}

QStringList operatorCompanies(CallContext &context) {
    QStringList companies;
    context.sql.forEach(
        QStringLiteral("SELECT CDEMPRESA FROM OPEREMPR WHERE CDOPERADOR = :operador ORDER BY CDEMPRESA"),
        {{QStringLiteral("operador"), context.operatorCode}},
        [&](const SqlRow &row) { companies.append(row.text(0)); });
    return companies;
}

} // namespace bco::server
