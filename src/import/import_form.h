#pragma once

#include <memory>

#include <QPointer>

#include "framework/ui/forms/import_export_form.h"

namespace Ui {
class frmImportLanc;
}

// The spreadsheet import's unit.
namespace Cli_bco11104 {

// The import of entries from a workbook (screen BCO11104), a child window of the host.
class TfrmImportLanc : public bco::TfrmPadrImportExport {
    Q_OBJECT
public:
    explicit TfrmImportLanc(QWidget *parent = nullptr);
    ~TfrmImportLanc() override;

protected:
    void FormClose(bco::TCloseAction &action) override;

private:
    std::unique_ptr<Ui::frmImportLanc> ui;
};

extern QPointer<TfrmImportLanc> frmImportLanc;
extern bool boIdCriado;

// Opens the import form: made once, then put in its normal state and shown (a child window of the host).
void CriaImportacao();

} // namespace Cli_bco11104
