#include "discount/discount_form.h"

#include "ui_discount_form.h"

namespace Cli_bco11103 {

QPointer<TfrmDescAdia> frmDescAdia;
bool boStCriado = false;

TfrmDescAdia::TfrmDescAdia(QWidget *parent)
    : TfrmRotiGeral(DescendantLayout{}, parent)
    , ui(std::make_unique<Ui::frmDescAdia>()) {
    ui->setupUi(this);
    BindFrame();
}

TfrmDescAdia::~TfrmDescAdia() = default;

void TfrmDescAdia::FormClose(bco::TCloseAction &action) {
    TfrmRotiGeral::FormClose(action);
    boStCriado = false;
}

void CriaDescAdi(double entryAmount, const QString &partyCode, const QString &companyCode, const QString &,
                 const QString &, const QString &supplierTaxNumber) {
    if (!boStCriado || frmDescAdia.isNull()) {
        frmDescAdia = bco::CreateForm<TfrmDescAdia>();
        boStCriado = true;
    }
    frmDescAdia->entryAmount = entryAmount;
    frmDescAdia->partyCode = partyCode;
    frmDescAdia->companyCode = companyCode;
    frmDescAdia->supplierTaxNumber = supplierTaxNumber;
    frmDescAdia->ShowModal();
}

} // namespace Cli_bco11103
