#pragma once

#include <QList>
#include <QObject>

#include "framework/data/client_data_set.h"
#include "framework/data/data_set_model.h"

namespace Cli_bco11103 {

// The discount form's data sets, one per page, and the one place their layouts are fixed (fields in order,
// widths, labels, display formats, hidden and calculated fields). In every one IDMARCADO is the row's mark
// ("S" marked) and VRDESCONTO the amount to discount from it; the tax number shows through the mask of the
// row's person kind, and nothing when it is null.
class DiscountRecords : public QObject {
    Q_OBJECT

public:
    explicit DiscountRecords(QObject *parent = nullptr);

    bco::ClientDataSet cdsContaAd;    // page 0: the customer's advances (GetContaAd)
    bco::ClientDataSet cdsVenda;      // page 1: the customer's returned invoices (the entry form's)
    bco::ClientDataSet cdsCompra;     // page 2: the supplier's returned invoices (the entry form's)
    bco::ClientDataSet cdsContaAdFor; // page 3: the supplier's advances (GetContaAdFor)
};

// What differs between advances and returned invoices on the form.
struct ItemKind {
    bool advance;
    const char *available; // the value still available of a row: VRTOTDISP or VRDISPONIVEL
    // A save checks the discount against the available value on every row (advances), or on marked rows only
    // (returned invoices).
    bool availableCheckedOnlyWhenMarked;
    // The catalogue key that refuses a marked row saved with a discount of zero or less.
    const char *nothingToDiscount;
    const char *itemKey; // the catalogue key that names the kind in the caption: "Adiantamento", "Devolucao"
};

// One page of the form: which kind of item of which party it shows, where its rows come from and how its
// grid shows them.
struct DiscountPage {
    int index;
    const ItemKind *kind;
    bool customer;
    bco::ClientDataSet DiscountRecords::*data;
    // The method that lists the rows through the entry form's connection; null when they are a copy of the
    // entry form's returned invoices of the party.
    const char *method;
    // The total available adds each row's value rounded to the cent to the sum so far rounded to the cent
    // (supplier advances), else the plain values.
    bool totalRoundsEachTerm;
    QList<bco::DataSetColumn> columns;
};

// The page of an index "0" to "3" (std::invalid_argument for any other).
const DiscountPage &PageOf(int index);

// The total available of a page's rows, first to last, added as the page says.
double TotalAvailable(const bco::ClientDataSet &rows, const DiscountPage &page);

} // namespace Cli_bco11103
