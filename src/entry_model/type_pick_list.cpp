#include "entry_model/type_pick_list.h"

#include "framework/data/field_shorthands.h"

namespace Cli_bco11100 {

using namespace bco::fields;

namespace {

// What differs between the credit and the debit types' tables.
struct TypeTable {
    const char *queryName;
    QString letter, codeColumn, nameColumn, table;
};

// The text of a dialect whose operator `join` runs texts together: || in the generic text (the one SQLite
// and PostgreSQL run), in Oracle's and in InterBase's; + in SQL Server's.
QStringList typeListText(const TypeTable &t, const QString &join) {
    return {QStringLiteral("SELECT"),
            QStringLiteral("   '%1'%2%3 AS TIPCOD,").arg(t.letter, join, t.codeColumn),
            QStringLiteral("   %1,").arg(t.codeColumn),
            QStringLiteral("   %1").arg(t.nameColumn),
            QStringLiteral("FROM"),
            QStringLiteral("   %1").arg(t.table),
            QStringLiteral("ORDER BY"),
            QStringLiteral("   %1").arg(t.codeColumn)};
}

} // namespace

void DeclareTypePickList(bco::ClientDataSet &list, const bco::MessageCatalogue &catalogue) {
    list.setObjectName(QStringLiteral("cdsLancto"));
    list.AddFields({
        mark(),
        hidden(text("TIPCOD", 5)),
        text("CODIGO", 4, QStringLiteral("Código")),
        text("DESCRICAO", 30, QStringLiteral("Descrição")),
        fixed(text("TIPO", 1, QStringLiteral("Crédito/Débito"))),
    });
    list.FieldByName(u"TIPO").SetOnGetText([&catalogue](const bco::Field &field, bool) {
        const QString kind = field.AsString();
        if (kind == u"C")
            return catalogue.Msg(QStringLiteral("CREDITO"));
        if (kind == u"D")
            return catalogue.Msg(QStringLiteral("DEBITO"));
        return QString();
    });
}

void DeclareTypeListQueries(bco::LocalQuery &credits, bco::LocalQuery &debits,
                            const bco::LocalQuery::ConnectionProvider &connection) {
    const std::pair<bco::LocalQuery *, TypeTable> tables[] = {
        {&credits,
         {"qryLancCred", QStringLiteral("C"), QStringLiteral("CDTPCREDBANC"), QStringLiteral("DSTPCREDBANC"),
          QStringLiteral("TPCREDBANC")}},
        {&debits,
         {"qryLancDeb", QStringLiteral("D"), QStringLiteral("CDTPDEBIBANC"), QStringLiteral("DSTPDEBIBANC"),
          QStringLiteral("TPDEBIBANC")}},
    };
    for (const auto &[query, table] : tables) {
        query->setObjectName(QString::fromLatin1(table.queryName));
        query->SetConnection(connection);
        query->SQL = typeListText(table, QStringLiteral("||"));
        query->SQL_ORACLE = query->SQL;
        query->SQL_IB = query->SQL;
        query->SQL_MSSQL = typeListText(table, QStringLiteral("+"));
        query->AddFields({
            hidden(text("TIPCOD", 5)),
            text(table.codeColumn, 4, QStringLiteral("Código")),
            text(table.nameColumn, 30, QStringLiteral("Descrição")),
        });
    }
}

} // namespace Cli_bco11100
