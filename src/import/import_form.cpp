#include "import/import_form.h"

#include <QMdiSubWindow>

#include "framework/ui/forms/host_frame.h"

#include "ui_import_form.h"

namespace Cli_bco11104 {

QPointer<TfrmImportLanc> frmImportLanc;
bool boIdCriado = false;

TfrmImportLanc::TfrmImportLanc(QWidget *parent)
    : TfrmPadrImportExport(DescendantLayout{}, parent)
    , ui(std::make_unique<Ui::frmImportLanc>()) {
    ui->setupUi(this);
    BindFrame();
    // Nothing can be imported before a workbook has passed its checks.
    sbtImportExport->setEnabled(false);
}

TfrmImportLanc::~TfrmImportLanc() = default;

void TfrmImportLanc::FormClose(bco::TCloseAction &action) {
    boIdCriado = false;
    TfrmPadrImportExport::FormClose(action);
}

void CriaImportacao() {
    bco::HourglassCursor hourglass;
    if (!boIdCriado || frmImportLanc.isNull()) {
        frmImportLanc = bco::CreateForm<TfrmImportLanc>();
        boIdCriado = true;
    }
    if (QMdiSubWindow *window = frmImportLanc->MdiWindow())
        window->showNormal();
    bco::Host::frame().showChild(*frmImportLanc);
}

} // namespace Cli_bco11104
