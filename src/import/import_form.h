#pragma once

#include <memory>

#include <QByteArray>
#include <QPointer>

#include "entry_model/entry_services.h"
#include "framework/data/data_source.h"
#include "framework/remote/net_connection.h"
#include "framework/ui/forms/import_export_form.h"
#include "import/import_pass.h"
#include "import/import_records.h"

namespace Ui {
class frmImportLanc;
}

// The spreadsheet import's unit.
namespace Cli_bco11104 {

// The import of entries from a workbook (screen BCO11104), a child window of the host. The operator names
// the workbook (typed, or chosen in the file dialog); leaving the file panel checks the file and runs the
// validation pass (ImportPass), whose every problem is listed by line in the error grid; a clean file with
// rows enables the import, which sends its credits and debits (SubmitImport) and refreshes the list of the
// entry form its opener finds.
class TfrmImportLanc : public bco::TfrmPadrImportExport, private ImportProgress {
    Q_OBJECT
public:
    explicit TfrmImportLanc(QWidget *parent = nullptr);
    ~TfrmImportLanc() override;

    // The form's own connection to the application server.
    bco::NetConnection netLancContCorr;
    ImportRecords records;
    bco::DataSource dtsErro;

    void sbtImportExportClick() override;

    // How the form finds, at the end of an import, the entry form whose list it refreshes.
    void SetEntryFormFinder(Cli_bco11100::EntryFormFinder finder) { findEntryForm_ = std::move(finder); }

protected:
    void FormCreate() override;
    void FormClose(bco::TCloseAction &action) override;
    bool FormCloseQuery() override;
    // Tab (and Enter) from the file's field leaves the file panel for the error list, running the pass.
    bool focusNextPrevChild(bool next) override;

private:
    // A digest of the file's bytes (empty when it cannot be read).
    static QByteArray contentsOf(const QString &path);
    void btpArqOrigClick();
    void medArqOrigChange();
    void panFiltroExit();
    // The credits of the file checked are written and its debits still to be sent.
    bool DebitsPending() const;
    // Checks the file named in medArqOrig: empty (refused when `required`), its folder, the file itself.
    // Makes the file's folder the process's current folder. Aborts with the focus on medArqOrig.
    void Vd_ArqExcel(bool required);
    void PreparaImport();
    // The open entry form's list shows what was imported; nothing when no entry form is open.
    void RefreshEntryForm();

    void Started(int rows) override;
    void Advanced(int done) override;
    void Finished() override;

    std::unique_ptr<Ui::frmImportLanc> ui;
    ImportPass pass_;
    // The contents of the file as the pass read them: "Importar" sends what the pass built of them, and
    // refuses when the file changed since.
    QByteArray checkedContents_;
    std::unique_ptr<bco::HourglassCursor> hourglass_;
    Cli_bco11100::EntryFormFinder findEntryForm_;
};

extern QPointer<TfrmImportLanc> frmImportLanc;
extern bool boIdCriado;

// Opens the import form: made once, then put in its normal state and shown (a child window of the host). An
// import refreshes the list of the entry form that `findEntryForm` finds then, if any.
void CriaImportacao(Cli_bco11100::EntryFormFinder findEntryForm);

} // namespace Cli_bco11104
