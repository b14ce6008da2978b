#pragma once

#include <memory>

#include <QPointer>
#include <QString>

#include "framework/ui/forms/routine_form.h"

namespace Ui {
class frmDescAdia;
}

// The advance and return discount form's unit.
namespace Cli_bco11103 {

// The choice of a customer's or supplier's advances or returned invoices to discount from an entry (screen
// BCO11103), a modal dialog. The entry form reads the shown data set right after the modal call returns,
// which the base form's deferred release allows.
class TfrmDescAdia : public bco::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmDescAdia(QWidget *parent = nullptr);
    ~TfrmDescAdia() override;

    // What CriaDescAdi hands the form.
    double entryAmount = 0;
    QString partyCode;
    QString companyCode;
    QString supplierTaxNumber;

protected:
    void FormClose(bco::TCloseAction &action) override;

private:
    std::unique_ptr<Ui::frmDescAdia> ui;
};

extern QPointer<TfrmDescAdia> frmDescAdia;
extern bool boStCriado;

// Opens the discount form modally for one entry and returns when the operator has closed it. `pageIndex`
// holds one digit, "0" to "3"; `partyKind` is "C" for a customer, anything else for a supplier.
void CriaDescAdi(double entryAmount, const QString &partyCode, const QString &companyCode,
                 const QString &pageIndex, const QString &partyKind, const QString &supplierTaxNumber);

} // namespace Cli_bco11103
