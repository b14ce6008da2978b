#include "filter/filter_form.h"

#include "ui_filter_form.h"

namespace Cli_bco11102 {

QPointer<TfrmFiltroLancCont> frmFiltroLancCont;
QString stCdReduCont;

TfrmFiltroLancCont::TfrmFiltroLancCont(QWidget *parent)
    : TfrmFiltroPadrao(DescendantLayout{}, parent)
    , ui(std::make_unique<Ui::frmFiltroLancCont>()) {
    ui->setupUi(this);
    BindFrame();
}

TfrmFiltroLancCont::~TfrmFiltroLancCont() = default;

void TfrmFiltroLancCont::FormClose(bco::TCloseAction &action) {
    action = bco::TCloseAction::caHide;
}

void CriaFiltroLancCont(QPointer<TfrmFiltroLancCont> &form, bco::DataSource *, const QString &operation,
                        const QString &accountCode) {
    stCdReduCont = accountCode.left(3);
    if (form.isNull())
        form = bco::CreateForm<TfrmFiltroLancCont>();
    if (operation == u"BOTAO_FILTRO") {
        form->ShowModal();
    } else if (operation == u"ESCONDE_FILTRO") {
        // The dialog's activation puts the saved criteria back into its controls; its confirm runs them.
        form->RunFormActivate();
        form->sbtConfirmaClick();
    }
}

} // namespace Cli_bco11102
