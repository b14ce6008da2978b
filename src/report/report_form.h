#pragma once

#include <memory>

#include <QPointer>

#include "framework/ui/forms/report_base_form.h"

namespace Ui {
class frmRelLancCont;
}

// The entries report's unit.
namespace Cli_bco11101 {

// The choices of the entries report (screen BCO11101, report code BCO111), a modal dialog.
class TfrmRelLancCont : public bco::TfrmDadosGerRel {
    Q_OBJECT
public:
    explicit TfrmRelLancCont(QWidget *parent = nullptr);
    ~TfrmRelLancCont() override;

protected:
    void FormClose(bco::TCloseAction &action) override;

private:
    std::unique_ptr<Ui::frmRelLancCont> ui;
};

extern QPointer<TfrmRelLancCont> frmRelLancCont;
extern bool boIdCriado;

// Opens the report form modally; returns when the operator has closed it.
void CriaRelLancCont();

} // namespace Cli_bco11101
