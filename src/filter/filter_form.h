#pragma once

#include <memory>

#include <QDate>
#include <QPointer>
#include <QString>

#include "entry_model/entry_services.h"
#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/data/local_query.h"
#include "framework/ui/forms/filter_base_form.h"

namespace Ui {
class frmFiltroLancCont;
}

namespace bco {
class TDateEditPlus;
class TNumberEdit;
} // namespace bco

// The entry filter's unit.
namespace Cli_bco11102 {

struct TLancQuery;

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

// The criteria of the entry list (screen BCO11102), a modal dialog made once per entry form: closing it only
// hides it, so that its criteria live on until the entry form closes and destroys it. It has no server
// connection of its own and fills no list of its own: it works through the services the entry form lends it
// when it is made (its connection, its list loader and the query it keeps) and loads the list it is given
// (the entry form's, unless another is named), so it lives no longer than that entry form. Its controls are
// found by the object names of filter_form.ui.
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
    // The types picked in the dialog as the queries take them ('C0001','C0002'), "T" after "Todos".
    const QString &PickedTypes() const { return typeList_; }

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
    // The entry form's query, which the confirm writes once the list it gives is loaded.
    TLancQuery &query();
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
    int kindOnEntry_ = 0;
    // The types picked in the dialog, which become the query's with a confirm that loads its list.
    QString typeList_;
};

// The criteria in one line, as the entry list's caption shows them: the period ("Período: todos" without
// dates), then whatever else narrows the list (the kind, the types picked, the value range), each only
// when it does.
QString DescribeFilter(const TFILTRO &filter);
// Whether the criteria leave out entries of their period: a kind, a list of types or a value range.
bool FilterNarrows(const TFILTRO &filter);

// The filter dialog of the open entry form; null while there is none.
extern QPointer<TfrmFiltroLancCont> frmFiltroLancCont;
// The account code of the last request, at most 3 characters.
extern QString stCdReduCont;

// Shows the filter ("BOTAO_FILTRO": modally, returning when the operator closes it) or reruns its last
// confirmed criteria without showing it ("ESCONDE_FILTRO"), for the account `accountCode` (cut to 3
// characters); any other operation does nothing more. `form` is the dialog variable, filled when the
// dialog is made for `entryForm`; the list loaded is the data set of `dataSource` (the entry form's list when
// null).
void CriaFiltroLancCont(Cli_bco11100::EntryFormServices &entryForm, QPointer<TfrmFiltroLancCont> &form,
                        bco::DataSource *dataSource, const QString &operation, const QString &accountCode);

} // namespace Cli_bco11102
