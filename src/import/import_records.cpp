#include "import/import_records.h"

namespace Cli_bco11104 {

using bco::FieldKind;
using bco::FieldSpec;

ImportRecords::ImportRecords(bco::LocalQuery::ConnectionProvider connection, QObject *parent)
    : QObject(parent)
    , entry(connection) {
    qryContCorr.setObjectName(QStringLiteral("qryContCorr"));
    qryContCorr.SetConnection(connection);
    qryContCorr.SQL = QStringList{"SELECT CDREDUCONT, CDEMPRESA", "FROM CONTCORR", "ORDER BY CDREDUCONT"};
    qryContCorr.SQL_ORACLE = qryContCorr.SQL;
    qryContCorr.SQL_MSSQL = qryContCorr.SQL;
    qryContCorr.SQL_IB = qryContCorr.SQL;
    qryContCorr.AddFields({FieldSpec{.name = "CDREDUCONT", .kind = FieldKind::Text, .size = 3},
                           FieldSpec{.name = "CDEMPRESA", .kind = FieldKind::Text, .size = 2}});

    cdsErro.setObjectName(QStringLiteral("cdsErro"));
    cdsErro.AddFields(
        {FieldSpec{.name = "NRLINHA", .kind = FieldKind::Integer, .label = "Linha"},
         // The row as the spreadsheet program shows it, where the operator mends it.
         FieldSpec{.name = "NRLINHAPLAN", .kind = FieldKind::Integer, .label = "Linha na Planilha"},
         FieldSpec{.name = "DSERRO",
                   .kind = FieldKind::Text,
                   .size = 100,
                   .label = "Descrição do Erro",
                   .displayWidth = 100}});
    cdsErro.AddIndex(QStringLiteral("cdsErroIndex1"), QStringLiteral("NRLINHA"));
    cdsErro.SetIndexName(QStringLiteral("cdsErroIndex1"));

    cdsFilialAux.setObjectName(QStringLiteral("cdsFilialAux"));
    cdsFilialAux.AddFields({FieldSpec{.name = "CDFILIAL", .kind = FieldKind::Text, .size = 4},
                            FieldSpec{.name = "NMFILIAL", .kind = FieldKind::Text, .size = 100},
                            FieldSpec{.name = "CDCENTCUST", .kind = FieldKind::Text, .size = 4}});
}

void ImportRecords::Open() {
    qryContCorr.Open();
    for (bco::LocalQuery *types : {&entry.qryLancDeb, &entry.qryLancCred}) {
        types->Close();
        types->ParamByName(QStringLiteral("P_TIPO")).Clear();
        types->Open();
    }
    for (bco::ClientDataSet *empty : {&cdsErro, &entry.cdsFilial, &entry.cdsCliente, &entry.cdsFornecedor}) {
        empty->Close();
        empty->CreateDataSet();
    }
}

} // namespace Cli_bco11104
