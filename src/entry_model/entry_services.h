#pragma once

#include <functional>

#include <QChar>
#include <QDate>
#include <QString>

namespace bco {
class ClientDataSet;
class NetConnection;
} // namespace bco

namespace Cli_bco11102 {
class EntryListLoader;
struct TLancQuery;
} // namespace Cli_bco11102

namespace Cli_bco11100 {

// What the entry form lends the dialogs that work for it (the filter, the discount form, the report) and the
// windows that write entries beside it (the import): they have no server connection of their own and fill
// the entry form's records. Each receives it when it is made, so that it depends on this and not on the
// form's class, and is driven in a test through a stand-in.
class EntryFormServices {
public:
    virtual ~EntryFormServices() = default;

    // The entry form's connection to the application server, open while the form lives.
    virtual bco::NetConnection &ServerConnection() = 0;
    // The entry list (cdsLancamentos), which the filter loads.
    virtual bco::ClientDataSet &EntryList() = 0;
    // What loads the entry list, and knows whether it is current; it lives as long as the entry form.
    virtual Cli_bco11102::EntryListLoader &ListLoader() = 0;
    // The criteria the filter last sent, which the deletion sends again.
    virtual Cli_bco11102::TLancQuery &ListQuery() = 0;
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

// How a window of its own finds, when it needs it, the entry form it works for: null while there is none.
// The import is one: opened from the host's menu or from the entry form, it may be made before the entry
// form is opened and outlive it, so it asks at the end of each import rather than keeping a form.
using EntryFormFinder = std::function<EntryFormServices *()>;

// An entry to include as something outside the entry form found it (a bank statement's line that matches
// no movement): the values the include starts with. The operator completes and confirms it, and every check
// of the include runs on it as on one typed.
struct EntryDraft {
    QString account; // CDREDUCONT
    QDate date;
    QChar kind; // 'C' credit, 'D' debit
    double value = 0.0;
    QString document, description;
    // Asked just before the include is written, when set: why what the draft came from wants no entry any
    // more (another operator paired or reconciled the statement's line since), empty while it still does.
    // The include is refused with those words and nothing is written.
    std::function<QString()> stillWanted;
    // Called once the include is written, or refused by `stillWanted`, when set: what the draft came from
    // shows at once what it holds now (the reconciliation, beside the entry form, proposes the entry for its
    // line, or shows the line paired meanwhile).
    std::function<void()> included{};
};

// Opens the entry form on the draft's account and starts the include of the draft. Windows below the entry
// form are given one by whoever opens them.
using EntryDraftStarter = std::function<void(const EntryDraft &)>;

} // namespace Cli_bco11100
