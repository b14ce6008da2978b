#pragma once

#include <memory>
#include <optional>

#include <QPointer>
#include <QString>

#include "discount/discount_records.h"
#include "entry_model/entry_services.h"
#include "framework/data/data_source.h"
#include "framework/ui/forms/routine_form.h"

namespace Ui {
class frmDescAdia;
}

namespace bco {
class TNewDBGrid;
}

// The advance and return discount form's unit.
namespace Cli_bco11103 {

// The choice of a customer's or supplier's advances or returned invoices to discount from a new entry
// (screen BCO11103), a modal dialog that works for the entry form that opens it: it lists the party's items
// through the entry form's connection or copies the returned invoices the entry form loaded, and hands its
// choice back in the data set of its page, which its creator answers right after the modal call returns (the
// base form's release is deferred until then).
//
// The operator marks rows (double click or space on the mark column: the discount becomes the row's
// available value) and may lower the discount of a marked row. Each save of a row is checked and moves the
// running total; the confirm checks the total against what is available and against the entry's value. Only
// a confirm hands the rows back as they were saved: cancel, and the window's close too, hand back an empty
// data set, so that nothing unchecked reaches the entry.
class TfrmDescAdia : public bco::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmDescAdia(Cli_bco11100::EntryFormServices &entryForm, QWidget *parent = nullptr);
    ~TfrmDescAdia() override;

    DiscountRecords records;
    bco::DataSource dtsContaAd;
    bco::DataSource dtsVenda;
    bco::DataSource dtsCompra;
    bco::DataSource dtsContaAdFor;

    // What CriaDescAdi hands the form.
    struct Opening {
        double entryAmount = 0.0;
        QString partyCode;
        QString companyCode;
        int page = 0;
        bool customer = true;
        QString supplierTaxNumber;
    };
    // Shows the page for the party: captions, header edits, the page's rows and the total available.
    void Abre(const Opening &opening);

    // The data set of the page shown.
    bco::ClientDataSet &PageData();

    void sbtConfirmaClick() override;

protected:
    void FormActivate() override;
    void FormClose(bco::TCloseAction &action) override;

private:
    // ---- marking and discounts (discount_rules.cpp) ----
    void bindRules();
    void bindGrid(const DiscountPage &page);
    void Marca(const DiscountPage &page);
    void GridKeyDown(const DiscountPage &page, int &key, Qt::KeyboardModifiers modifiers);
    void GridKeyPress(const DiscountPage &page, QChar &key);
    void GridDrawCell(const DiscountPage &page, const QRect &rect, const bco::Field &field,
                      QStyle::State state);
    void RegraEdicao();
    void BeforeEdit(const DiscountPage &page);
    void BeforePost(const DiscountPage &page);
    // Empties the four data sets (creating those not open): nothing is discounted.
    void DescartaEscolha();
    [[noreturn]] void Refuse(const char *key) const;

    const DiscountPage &Page() const { return *page_; }
    bco::ClientDataSet &DataOf(const DiscountPage &page);
    bco::DataSource &SourceOf(const DiscountPage &page);
    bco::TNewDBGrid *GridOf(const DiscountPage &page) const;
    double &DiscountBeforeEdit(const DiscountPage &page);

    Cli_bco11100::EntryFormServices &entryForm_;
    std::unique_ptr<Ui::frmDescAdia> ui;
    const DiscountPage *page_;
    Opening opening_;
    // The discount of the row being edited, rounded to the cent, as the edit started.
    double advanceDiscountBeforeEdit_ = 0.0;
    double returnDiscountBeforeEdit_ = 0.0;
};

extern QPointer<TfrmDescAdia> frmDescAdia;
extern bool boStCriado;

// Opens the discount form modally for one entry of `entryForm` and returns when the operator has closed it.
// `pageIndex` holds one digit, "0" to "3"; `partyKind` is "C" for a customer, anything else for a supplier;
// the supplier's tax number is given for page 3 only. Answers the rows of the page shown as the form hands
// them back (as saved after a confirm; none after a cancel or a close), or nothing when the form is gone.
std::optional<bco::DataPacket> CriaDescAdi(Cli_bco11100::EntryFormServices &entryForm, double entryAmount,
                                           const QString &partyCode, const QString &companyCode,
                                           const QString &pageIndex, const QString &partyKind,
                                           const QString &supplierTaxNumber);

} // namespace Cli_bco11103
