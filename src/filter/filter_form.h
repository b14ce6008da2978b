#pragma once

#include <memory>

#include <QPointer>
#include <QString>

#include "framework/ui/forms/filter_base_form.h"

namespace Ui {
class frmFiltroLancCont;
}

namespace bco {
class DataSource;
}

// The entry filter's unit.
namespace Cli_bco11102 {

// The criteria of the entry list (screen BCO11102), a modal dialog made once per entry form: closing it only
// hides it, so that its criteria live on until the entry form closes and destroys it.
class TfrmFiltroLancCont : public bco::TfrmFiltroPadrao {
    Q_OBJECT
public:
    explicit TfrmFiltroLancCont(QWidget *parent = nullptr);
    ~TfrmFiltroLancCont() override;

protected:
    void FormClose(bco::TCloseAction &action) override;

private:
    std::unique_ptr<Ui::frmFiltroLancCont> ui;
};

// The filter dialog of the open entry form; null while there is none.
extern QPointer<TfrmFiltroLancCont> frmFiltroLancCont;
// The account code of the last request, at most 3 characters.
extern QString stCdReduCont;

// Shows the filter ("BOTAO_FILTRO": modally, returning when the operator closes it) or reruns its last
// confirmed criteria without showing it ("ESCONDE_FILTRO"), for the account `accountCode` (cut to 3
// characters); any other operation does nothing more. `form` is the dialog variable, filled when the
// dialog is made. The data source is not used.
void CriaFiltroLancCont(QPointer<TfrmFiltroLancCont> &form, bco::DataSource *dataSource,
                        const QString &operation, const QString &accountCode);

} // namespace Cli_bco11102
