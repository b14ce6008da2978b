#pragma once

#include <map>

#include <QObject>

#include "entry_model/entry_records.h"
#include "framework/data/client_data_set.h"
#include "framework/data/local_query.h"

namespace Cli_bco11100 {
struct EntryKind;
}

namespace Cli_bco11104 {

// The import's data sets. The records it builds and sends, what the server answers, the customer, supplier
// and branch look-ups and the type queries are the entry form's own layouts (`entry`); the import adds the
// account list, the error list and the packet of one branch look-up.
class ImportRecords : public QObject {
    Q_OBJECT

public:
    // `connection` serves the local queries (the host's shared database).
    explicit ImportRecords(bco::LocalQuery::ConnectionProvider connection, QObject *parent = nullptr);

    Cli_bco11100::EntryRecords entry;

    // Every current account with its company: CDREDUCONT, CDEMPRESA.
    bco::LocalQuery qryContCorr;
    // The error list, always in line order: NRLINHA "Linha", NRLINHAPLAN "Linha na Planilha" (the row as the
    // spreadsheet program numbers it), DSERRO "Descrição do Erro".
    bco::ClientDataSet cdsErro;
    // The branches of one company as getFilial answers them.
    bco::ClientDataSet cdsFilialAux;
    // What the server answered for each kind of this pass's records that it wrote: how many entries it
    // wrote and how many of those it skipped as written before. An import tried again after a later kind
    // failed does not send these again: another operator may have deleted one of them meanwhile.
    struct Answered {
        int written = 0, skipped = 0;
    };
    std::map<const Cli_bco11100::EntryKind *, Answered> answered;

    // Opens the account and type queries (every type of each kind) and makes the error list, the branches
    // and the look-ups empty, as the form does when it is created.
    void Open();
};

} // namespace Cli_bco11104
