#pragma once

#include <functional>

#include "entry_model/entry_list_loader.h"
#include "entry_model/entry_records.h"
#include "entry_model/entry_services.h"
#include "framework/remote/net_connection.h"

namespace bco::testing {

// What the entry form lends its dialogs, without the entry form: a connection of its own to the server of
// the login context (opened as the form opens its own), the entry form's records (so that the entry list and
// the returned invoices have their layouts), a list loader and a query over that connection. The dialogs'
// tests make one after their environment, give it to the dialog's creator and read or seed what the dialog
// reads or fills. RefreshEntryList counts its calls and runs `onRefresh`, a test's failure of the reload.
class EntryFormStandIn final : public Cli_bco11100::EntryFormServices {
public:
    EntryFormStandIn();
    ~EntryFormStandIn() override;

    NetConnection &ServerConnection() override { return connection; }
    ClientDataSet &EntryList() override { return records.cdsLancamentos; }
    Cli_bco11102::EntryListLoader &ListLoader() override { return loader; }
    Cli_bco11102::TLancQuery &ListQuery() override { return query; }
    void RefreshEntryList() override {
        ++refreshes;
        if (onRefresh)
            onRefresh();
    }
    const ClientDataSet &CustomerReturns() const override { return records.cdsDevolucaoCLI; }
    const ClientDataSet &SupplierReturns() const override { return records.cdsDevolucaoFOR; }

    // Finds this stand-in, as the entry form's finder finds the form.
    Cli_bco11100::EntryFormFinder Finder() {
        return [this]() -> Cli_bco11100::EntryFormServices * {
            return this;
        };
    }

    NetConnection connection;
    Cli_bco11100::EntryRecords records;
    Cli_bco11102::EntryListLoader loader;
    Cli_bco11102::TLancQuery query;
    int refreshes = 0;
    std::function<void()> onRefresh;
};

} // namespace bco::testing
