#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "framework/data/client_data_set.h"
#include "framework/data/variant.h"

namespace Cli_bco11102 {

// What the last query sent to GetLancamentos, kept for the deletion, which sends them again by reference.
// The entry form holds it and lends it to its filter dialog, whose confirm recomputes it every time; the
// type list also follows the dialog's type controls between confirms.
struct TLancQuery {
    double valueFrom = 0.0; // value from - 0.001
    double valueTo = 0.0;   // value to + 0.001
    QString allValues;      // "T": both value fields 0, no value limit
    QString entryKind;      // "T" all, "C" credits, "D" debits
    QString typeList;       // the picked types as a list of codes; "T" after "Todos"
    QString allTypes;       // "T": every type
    // Never set here: the deletion passes them by reference with the others.
    QString unsetText1;
    QString unsetText2;
};

// Loads the entry list from GetLancamentos, and spares the reloads that would bring back the rows the list
// holds already: a period may hold 100,000 entries, and a deletion reloads the list before and after it.
// The database raises an account's list version whenever any program writes one of its entries, and the
// server answers it through GetVersaoLancamentos; the version is read before the list, so a list loaded at
// version V holds at least what V stands for. A list is current while the version, the criteria and the
// rows as loaded all stay the same.
class EntryListLoader {
public:
    // Calls a method of the application server and answers its result, raising its error.
    using ServerCall = std::function<bco::Variant(const QString &method, bco::VariantList &args)>;
    explicit EntryListLoader(ServerCall call);

    // Loads `list` with what GetLancamentos answers for `criteria` (its nine arguments, which the call
    // answers by reference), or, while a ReuseCurrent lives, leaves a current list as it is (the criteria
    // then come back as they came back from its load). Answers whether it loaded.
    bool load(bco::ClientDataSet &list, bco::VariantList &criteria);

    // While one lives, the loads keep a current list: the reloads of a deletion. Outside, the verify button
    // and the filter always load, so that the operator who asks for the list gets it fresh, the names of
    // its types, branches and parties included.
    class ReuseCurrent {
    public:
        explicit ReuseCurrent(EntryListLoader &loader);
        ~ReuseCurrent();
        ReuseCurrent(const ReuseCurrent &) = delete;
        ReuseCurrent &operator=(const ReuseCurrent &) = delete;

    private:
        EntryListLoader &loader_;
        bool reusing_;
    };

    // Whether `list` as this loader loaded it still holds what the server would answer: nothing was written
    // to its account since (one call, for the version). False for a list it did not load, or when the server
    // answers no version.
    bool isStillCurrent(const bco::ClientDataSet &list);

    // The account's version whose rows `list` holds, as this loader loaded it (or as the form's own write
    // left it); nothing for a list it did not load, one changed since, or when the server answers no version.
    std::optional<qint64> versionShown(const bco::ClientDataSet &list) const;

    // Applies the write of the form's own call to `list` through `edit` (a deletion deletes the row).
    // `before` and `after` are the account's versions around that call, as it answered them: when the list
    // was current at `before`, nothing else was written in between, and the list as edited is current at
    // `after`.
    void applyOwnWrite(bco::ClientDataSet &list, qint64 before, qint64 after,
                       const std::function<void()> &edit);

private:
    struct Loaded {
        const bco::ClientDataSet *list = nullptr;
        bco::VariantList sent, answered; // the criteria, before and after the call
        qint64 version = 0;
        quint64 generation = 0;
    };

    // -1 when the server answers no version: every load then loads.
    qint64 versionOf(const bco::Variant &account);
    bool isCurrent(const bco::ClientDataSet &list, const bco::VariantList &criteria, qint64 version) const;

    ServerCall call_;
    std::optional<Loaded> loaded_;
    bool reusing_ = false;
};

} // namespace Cli_bco11102
