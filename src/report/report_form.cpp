#include "report/report_form.h"

#include "ui_report_form.h"

namespace Cli_bco11101 {

QPointer<TfrmRelLancCont> frmRelLancCont;
bool boIdCriado = false;

TfrmRelLancCont::TfrmRelLancCont(QWidget *parent)
    : TfrmDadosGerRel(DescendantLayout{}, parent)
    , ui(std::make_unique<Ui::frmRelLancCont>()) {
    ui->setupUi(this);
    BindFrame();
}

TfrmRelLancCont::~TfrmRelLancCont() = default;

void TfrmRelLancCont::FormClose(bco::TCloseAction &action) {
    boIdCriado = false;
    TfrmDadosGerRel::FormClose(action);
}

void CriaRelLancCont() {
    bco::HourglassCursor hourglass;
    if (!boIdCriado || frmRelLancCont.isNull()) {
        frmRelLancCont = bco::CreateForm<TfrmRelLancCont>();
        boIdCriado = true;
    }
    frmRelLancCont->ShowModal();
}

} // namespace Cli_bco11101
