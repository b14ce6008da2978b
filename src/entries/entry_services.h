#pragma once

#include <QString>

namespace bco {
class ClientDataSet;
class NetConnection;
} // namespace bco

namespace Cli_bco11100 {

// What the entry form lends the dialogs that work for it (the filter, the discount form, the report)
// and the forms that write entries beside it (the import): they
// have no server connection of their own and fill the entry form's records. They depend on this, not on
// the form's class, so that each can be driven without the rest of the entry form.
class EntryFormServices {
public:
    virtual ~EntryFormServices() = default;

    // The entry form's connection to the application server, open while the form lives.
    virtual bco::NetConnection &ServerConnection() = 0;
    // The entry list (cdsLancamentos), which the filter loads.
    virtual bco::ClientDataSet &EntryList() = 0;
    // The account of the account bar, as the bar holds it.
    virtual QString AccountCode() const = 0;
    // Loads the account's entries and its day's balance again after others wrote entries (an import), when
    // the form is browsing an account's list; otherwise does nothing, so that an entry being typed stays.
    virtual void RefreshEntryList() = 0;

    // The returned invoices of the entry's customer (cdsDevolucaoCLI) and supplier (cdsDevolucaoFOR), as the
    // confirm of a new entry last loaded them; the discount form shows a copy.
    virtual const bco::ClientDataSet &CustomerReturns() const = 0;
    virtual const bco::ClientDataSet &SupplierReturns() const = 0;

protected:
    EntryFormServices() = default;
    EntryFormServices(const EntryFormServices &) = default;
    EntryFormServices &operator=(const EntryFormServices &) = default;
};

// The services of the open entry form; null while there is none.
EntryFormServices *OpenEntryForm();

} // namespace Cli_bco11100
