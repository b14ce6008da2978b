#pragma once

#include <memory>

#include <QDate>
#include <QPointer>
#include <QRadioButton>
#include <QString>

#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/data/local_query.h"
#include "framework/ui/buttons.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/forms/filter_base_form.h"
#include "framework/ui/number_edit.h"
#include "filter/entry_list_loader.h"

namespace Ui {
class frmFiltroLancCont;
}

namespace Cli_bco11100 {
class EntryFormServices;
}

// The entry filter's unit.
namespace Cli_bco11102 {

class TRadioGroup;

// The type choice of a saved filter: "Lista" checked, and the types picked.
struct TTIPO {
    bool listChosen = false;
    QString typeList;
};

// The criteria of the last confirmation (before the first one: the default period and no other limit).
// Every opening of the dialog and every silent reload starts from them.
struct TFILTRO {
    QDate startDate; // null: no limit on that side
    QDate endDate;
    TTIPO types;
    double valueFrom = 0.0;
    double valueTo = 0.0;
    int entryKind = 0; // item of rgpLancamento: 0 all, 1 credits, 2 debits
};

// What the last query sent to GetLancamentos, kept for the deletion, which sends them again by reference.
// The confirm recomputes them every time; the type list also follows the type controls between confirms.
struct TLancQuery {
    double valueFrom = 0.0; // value from - 0.001
    double valueTo = 0.0;   // value to + 0.001
    QString allValues;      // "T": both value fields 0, no value limit
    QString entryKind;      // "T" all, "C" credits, "D" debits
    QString typeList;       // the picked types as a list of codes; "T" after "Todos"
    QString allTypes;       // "T": every type
    // Never set here: the deletion passes them by reference with the others.
    QString unsetText1;
    QString unsetText2;
};

// The criteria of the entry list (screen BCO11102), a modal dialog made once per entry form: closing it only
// hides it, so that its criteria live on until the entry form closes and destroys it. It has no server
// connection of its own and fills no list of its own: it calls through the entry form's connection and
// loads the list it is given (the entry form's, unless another is named), so it works only while the entry
// form is open.
class TfrmFiltroLancCont : public bco::TfrmFiltroPadrao {
    Q_OBJECT
public:
    explicit TfrmFiltroLancCont(Cli_bco11100::EntryFormServices &entryForm, QWidget *parent = nullptr);
    ~TfrmFiltroLancCont() override;

    // The list the confirm loads: the data set of `dataSource`, or the entry form's list when it names none.
    void SetList(bco::DataSource *dataSource);

    // Checks the criteria, keeps them, reloads the entry form's list with them and closes the dialog.
    void sbtConfirmaClick() override;
    // The option commands: the base form's, plus the type list under "stTipo".
    void btfSaveOpcClick() override;
    void btfLoadOpcClick() override;

    const TFILTRO &SavedFilter() const { return Filtro; }
    TLancQuery &Query() { return query_; }
    const TLancQuery &Query() const { return query_; }
    // What loads the list, and knows whether it is current.
    EntryListLoader &ListLoader() { return loader_; }

    bco::TDateEditPlus *depDataIni = nullptr;
    bco::TDateEditPlus *depDataFin = nullptr;
    bco::TNumberEdit *nedValorIni = nullptr;
    bco::TNumberEdit *nedValorFin = nullptr;
    TRadioGroup *rgpLancamento = nullptr;
    QRadioButton *rbtTodosTipo = nullptr;
    QRadioButton *rbtListaTipo = nullptr;
    bco::TBtnPesquisa *sbtListTipo = nullptr;

    // The bank module's parameters (the default period) and the entry types of the pick lists.
    bco::ClientDataSet cdsGeral_bco;
    bco::ClientDataSet cdsLancto;
    bco::LocalQuery qryLancCred;
    bco::LocalQuery qryLancDeb;
    bco::DataSource dtsLancto;
    bco::DataSource dtsLancCred;
    bco::DataSource dtsLancDeb;

protected:
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(bco::TCloseAction &action) override;

private:
    bco::Variant callServer(const QString &method, bco::VariantList &args);
    void declareDataSets();
    void bindHandlers();
    void RestoreFilter();
    void SaveFilter();
    void Vd_Data(bco::TDateEditPlus *edit);
    void Vd_Periodo();
    void Vd_Valores();
    void Vd_Tipo();
    // Puts the focus on `control`, shows the text of `key` and aborts.
    void refuse(QWidget *control, const char *key);
    void ValorKeyPress(bco::TNumberEdit *edit, QChar &key);
    void TypeChoiceChanged(bool listChosen);
    void rgpLancamentoClick();
    void sbtListTipoClick();

    Cli_bco11100::EntryFormServices &entryForm_;
    bco::ClientDataSet *list_;
    std::unique_ptr<Ui::frmFiltroLancCont> ui;
    TFILTRO Filtro;
    TLancQuery query_;
    EntryListLoader loader_;
    int kindOnEntry_ = 0;
};

// The filter dialog of the open entry form; null while there is none.
extern QPointer<TfrmFiltroLancCont> frmFiltroLancCont;
// The account code of the last request, at most 3 characters.
extern QString stCdReduCont;

// Shows the filter ("BOTAO_FILTRO": modally, returning when the operator closes it) or reruns its last
// confirmed criteria without showing it ("ESCONDE_FILTRO"), for the account `accountCode` (cut to 3
// characters); any other operation does nothing more. `form` is the dialog variable, filled when the
// dialog is made; the list loaded is the data set of `dataSource` (the entry form's list when null).
void CriaFiltroLancCont(QPointer<TfrmFiltroLancCont> &form, bco::DataSource *dataSource,
                        const QString &operation, const QString &accountCode);

} // namespace Cli_bco11102
