#include "server/ledger/open_items.h"

namespace bco::server {

const OpenItemKind customerAdvances{
    "adiantamento", "ADIANTCLI",
    "ADIANTCLIUSO", {"CDFILIAL", "NRLANCTONF", "NRSEQVENREC", "NRPARCELAREC"},
    "VRORIGINAL",   "DTATUAVENREC",
    "CLIENTE",      "CDCLIENTE",
    "cliente",      "Adianta_Ja_Util",
    true,
};

const OpenItemKind customerReturns{
    "nota fiscal de devolução",
    "NFDEVCLI",
    "NFDEVCLIUSO",
    {"FILIDEVO", "NRNFDEVO"},
    "VRNFDEVOL",
    "DTEMISSAO",
    "CLIENTE",
    "CDCLIENTE",
    "cliente",
    "Devolucao_Ja_Util",
    true,
};

const OpenItemKind supplierAdvances{
    "adiantamento", "ADIANTFOR",
    "ADIANTFORUSO", {"CDFILIAL", "NRLANCTONF", "NRSEQVENPAG", "NRPARCELAPAG"},
    "VRORIGINAL",   "DTATUAVENPAG",
    "FORNECED",     "CDFORNECED",
    "fornecedor",   "Adianta_Ja_Util",
    false,
};

const OpenItemKind supplierReturns{
    "nota fiscal de devolução",
    "NFDEVFOR",
    "NFDEVFORUSO",
    {"FILIDEVO", "NRNFDEVO"},
    "VRNFDEVOL",
    "DTEMISSAO",
    "FORNECED",
    "CDFORNECED",
    "fornecedor",
    "Devolucao_Ja_Util",
    false,
};

QStringList OpenItemKind::keyColumns() const {
    QStringList columns;
    for (const char *keyColumn : key)
        columns.append(column(keyColumn));
    return columns;
}

QString openItemsFrom(const OpenItemKind &kind) {
    const QStringList key = kind.keyColumns();
    QStringList joined;
    for (const QString &keyColumn : key)
        joined.append(QStringLiteral("U.%1 = A.%1").arg(keyColumn));
    return QStringLiteral(
               "%1 A JOIN %2 P ON P.%3 = A.%3 LEFT JOIN (SELECT %4, SUM(VRUTILIZADO) AS USADO FROM "
               "%5 GROUP BY %4) U ON %6")
        .arg(OpenItemKind::column(kind.table), OpenItemKind::column(kind.partyTable),
             OpenItemKind::column(kind.party), key.join(u", "), OpenItemKind::column(kind.useTable),
             joined.join(u" AND "));
}

QString availableCents(const OpenItemKind &kind) {
    return QStringLiteral("(A.%1 - COALESCE(U.USADO, 0))").arg(OpenItemKind::column(kind.value));
}

} // namespace bco::server
