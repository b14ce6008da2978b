#pragma once

#include <memory>

#include <QPointer>

#include "entry_model/entry_services.h"
#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/data/local_query.h"
#include "framework/remote/net_connection.h"
#include "framework/ui/forms/report_base_form.h"
#include "report/entries_report_parameters.h"

namespace Ui {
class frmRelLancCont;
}

namespace bco {
class TDateEditPlus;
}

// The entries report's unit.
namespace Cli_bco11101 {

// The choices of the entries report (screen BCO11101, report code BCO111), a modal dialog: which companies,
// accounts, period, entry kind, entry types and branches the chosen design reports, checked and handed to
// the report engine as the parameters of the design's query.
//
// Its two server calls (the entry types and the branches) go through the connection of the entry form it is
// given when it is made (the one open when the host asks for it, or the one whose print button opens it);
// without one, the form makes a connection of its own the same way (the login context's server and session),
// opened at its first call and closed with the form. Its controls are found by the object names of
// report_form.ui.
class TfrmRelLancCont : public bco::TfrmDadosGerRel {
    Q_OBJECT
public:
    explicit TfrmRelLancCont(Cli_bco11100::EntryFormServices *entryForm, QWidget *parent = nullptr);
    ~TfrmRelLancCont() override;

    void sbtPrintClick() override;
    void sbtPreviewClick() override;
    void sbtPdfClick() override;
    void sbtSalvarComoClick() override;
    void sbtReportEditClick() override;

    // Runs the checks with both dates required, in the order the focus sets; stops at the first refusal.
    void Valida();
    // Fills the parameters the design's query has, from the form's choices.
    void rpddPadraoBeforeGetQueryParams(bco::ReportParams &params);
    // The choices as the form holds them now.
    EntriesReportChoices Choices() const;

    bco::LocalQuery qryEmpresa;
    bco::LocalQuery qryContCorr;
    bco::LocalQuery qryLancCred;
    bco::LocalQuery qryLancDeb;
    bco::ClientDataSet cdsLancto;
    bco::ClientDataSet cdsFilial;
    bco::DataSource dtsEmpresa;
    bco::DataSource dtsContCorr;
    bco::DataSource dtsLancCred;
    bco::DataSource dtsLancDeb;
    bco::DataSource dtsLancto;
    bco::DataSource dtsFilial;

    // The keys picked in each pick list, as a list of chosen codes ('01','02'); the operator's companies.
    QString stListEmpresa;
    QString stListContCorr;
    QString stListTipo;
    QString stListFilial;
    QString stEmpresaOper;

protected:
    void FormCreate() override;
    void FormClose(bco::TCloseAction &action) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void declareQueries();
    void declareDataSets();
    void bindHandlers();
    bco::NetConnection &serverConnection();
    bco::Variant callServer(const QString &method, bco::VariantList &args);
    QString Msg(const char *key) const;
    QString titleAndEmpty(const char *title, const char *empty) const;
    // Puts the focus on `control` (when given), shows the text of `key` as an error and aborts.
    [[noreturn]] void refuse(QWidget *control, const char *key);

    void Vd_Empresa();
    void Vd_ContaCorr();
    void Vd_Tipo();
    void Vd_CdFilial();
    void Vd_DataIni(bool required);
    void Vd_DataFim(bool required);
    void Vd_Data(bco::TDateEditPlus *edit, bool required, const char *emptyKey);
    void Vd_DtIni_Fin();

    void CompanyChoiceChanged();
    // Shows beside each "Lista" that is checked the codes picked in it.
    void MostraEscolhas();
    void sbtListEmpresaClick();
    void sbtListContCorrClick();
    void sbtTipoClick();
    void sbtFilialClick();

    std::unique_ptr<Ui::frmRelLancCont> ui;
    Cli_bco11100::EntryFormServices *entryForm_;
    bco::NetConnection netLancContCorr;
};

extern QPointer<TfrmRelLancCont> frmRelLancCont;
extern bool boIdCriado;

// Opens the report form modally, working through `entryForm` when one is given; returns when the operator has
// closed it.
void CriaRelLancCont(Cli_bco11100::EntryFormServices *entryForm);

} // namespace Cli_bco11101
