#include "entries/entry_form.h"

#include <QMdiSubWindow>

#include "filter/filter_form.h"
#include "framework/ui/forms/host_frame.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

QPointer<TfrmLancCCorr> frmLancCCorr;
bool boStCriado = false;
bool boInclusao = false;
bool boAltera = false;
bool boAtualizaSaldo = false;
bool boValidaIdComp = true;

TfrmLancCCorr::TfrmLancCCorr(QWidget *parent)
    : TfrmPadrao(DescendantLayout{}, parent)
    , ui(std::make_unique<Ui::frmLancCCorr>()) {
    ui->setupUi(this);
    BindFrame();
    // No account is chosen yet: the record page has nothing to show.
    SetPageEnabled(tshFormulario, false);
}

TfrmLancCCorr::~TfrmLancCCorr() = default;

void TfrmLancCCorr::FormClose(bco::TCloseAction &action) {
    boStCriado = false;
    // The filter dialog lives as long as the entry form it filters.
    delete Cli_bco11102::frmFiltroLancCont.data();
    TfrmPadrao::FormClose(action);
}

void CriaLancamento() {
    bco::HourglassCursor hourglass;
    if (!boStCriado || frmLancCCorr.isNull()) {
        frmLancCCorr = bco::CreateForm<TfrmLancCCorr>();
        boStCriado = true;
    }
    bco::Host::frame().showChild(*frmLancCCorr);
    if (QMdiSubWindow *window = frmLancCCorr->MdiWindow())
        window->showNormal();
    else
        frmLancCCorr->showNormal();
}

} // namespace Cli_bco11100
