#pragma once

#include <QObject>
#include <QSqlDatabase>

#include "framework/data/client_data_set.h"
#include "framework/data/local_query.h"

namespace Cli_bco11100 {

// Every record the entry form shows, builds or sends, and the local queries of its look-ups: the one place
// their layouts are fixed (fields in order, widths, labels, hidden flags, masks, display texts). The form
// owns one and reaches the data sets by the names it uses (`records.cdsLancamentos`).
class EntryRecords : public QObject {
    Q_OBJECT

public:
    // `connection` serves the local queries (the host's shared database).
    explicit EntryRecords(bco::LocalQuery::ConnectionProvider connection, QObject *parent = nullptr);

    // The entry list, loaded by the filter.
    bco::ClientDataSet cdsLancamentos;

    // The records a new entry is sent as.
    bco::ClientDataSet cdsMovBanc;
    bco::ClientDataSet cdsCredito;
    bco::ClientDataSet cdsDebito;

    // What the insertion answers.
    bco::ClientDataSet cdsResult;
    bco::ClientDataSet cdsLancContTemp;
    bco::ClientDataSet cdsRateio;
    bco::ClientDataSet cdsErrosTemp;

    // Look-ups and parameters loaded whole from one remote call.
    bco::ClientDataSet cdsCliente;
    bco::ClientDataSet cdsFornecedor;
    bco::ClientDataSet cdsFilial;
    bco::ClientDataSet cdsCentCustFilial;
    bco::ClientDataSet cdsEmpresa;
    bco::ClientDataSet cdsPesqMovBanc;
    bco::ClientDataSet cdsParamGeral;
    bco::ClientDataSet cdsGerParamgeral;

    // The other entry operations' records.
    bco::ClientDataSet cdsVeri_Bol;
    bco::ClientDataSet cdsVeriDevolu;
    bco::ClientDataSet cdsPesqConciliacao;
    bco::ClientDataSet cdsPesqConciliacaoORIG;
    bco::ClientDataSet cdsMaxFilialEmp;
    bco::ClientDataSet cdsHistPad;
    bco::ClientDataSet cdsContCtbl;
    bco::ClientDataSet cdsAdiantaCred;
    bco::ClientDataSet cdsAdiantaCredFor;
    bco::ClientDataSet cdsDevolucaoCLI;
    bco::ClientDataSet cdsDevolucaoFOR;
    bco::ClientDataSet cdsAdiantamentoFOR;
    bco::ClientDataSet cdsDevoluCredFor;
    bco::ClientDataSet cdsDevoluDebCli;
    bco::ClientDataSet cdsAdiantamentoCLI;
    bco::ClientDataSet cdsIncMovBanc;
    bco::ClientDataSet cdsIncCredito;
    bco::ClientDataSet cdsIncDebito;
    bco::ClientDataSet cdsAlterCredito;
    bco::ClientDataSet cdsAlterDebito;
    bco::ClientDataSet cdsAltMoviReal;
    bco::ClientDataSet cdsDelCredito;
    bco::ClientDataSet cdsDelDebito;
    bco::ClientDataSet cdsDelMovBanc;

    // Local queries over the shared database.
    bco::LocalQuery qryConta;
    bco::LocalQuery qryLancCred;
    bco::LocalQuery qryLancDeb;
    bco::LocalQuery qryCentCustFil;

private:
    void declareEntryList();
    void declareEntryRecords();
    void declareInsertionAnswer();
    void declareLookups();
    void declareOtherOperations();
    void declareQueries(const bco::LocalQuery::ConnectionProvider &connection);
};

// Widths of the working values the form keeps between operations; a value assigned is cut to its width.
namespace WorkingWidth {
inline constexpr int TypeAccount = 20;
inline constexpr int TypeCommercialKind = 1;
inline constexpr int TypeAccountingFlag = 1;
inline constexpr int TypeClass = 6;
inline constexpr int TypeHistory = 4;
inline constexpr int EntryBranch = 4;
inline constexpr int EntryCostCentre = 4;
inline constexpr int PartyLetter = 1;
inline constexpr int MovementNumber = 10;
inline constexpr int AccountLedgerAccount = 20;
inline constexpr int AccountKind = 1;
} // namespace WorkingWidth

} // namespace Cli_bco11100
