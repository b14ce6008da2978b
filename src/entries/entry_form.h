#pragma once

#include <memory>

#include <QPointer>

#include "framework/ui/forms/maintenance_form.h"

namespace Ui {
class frmLancCCorr;
}

// The entry form's unit: the form, its module-wide variables and its creator.
namespace Cli_bco11100 {

// The entries of one current account (screen BCO11100), a child window of the host.
class TfrmLancCCorr : public bco::TfrmPadrao {
    Q_OBJECT
public:
    explicit TfrmLancCCorr(QWidget *parent = nullptr);
    ~TfrmLancCCorr() override;

protected:
    void FormClose(bco::TCloseAction &action) override;

private:
    std::unique_ptr<Ui::frmLancCCorr> ui;
};

// The one live entry form; null while there is none.
extern QPointer<TfrmLancCCorr> frmLancCCorr;
// True from the creation of the form until its close.
extern bool boStCriado;
// The form's modes: an entry is being included, or changed.
extern bool boInclusao;
extern bool boAltera;
// For the host; the module neither reads nor writes it.
extern bool boAtualizaSaldo;
// Read by the change action; True from the module's load.
extern bool boValidaIdComp;

// Opens the entry form: made once, then shown (a child window of the host, in its normal state) each time.
void CriaLancamento();

} // namespace Cli_bco11100
