#include "framework/ui/forms/routine_form.h"

#include "ui_routine_form.h"

namespace bco {

TfrmRotiGeral::TfrmRotiGeral(QWidget *parent)
    : TForm(parent) {
    Ui::frmRotiGeral().setupUi(this);
    BindFrame();
}

TfrmRotiGeral::TfrmRotiGeral(DescendantLayout, QWidget *parent)
    : TForm(parent) {
}

void TfrmRotiGeral::BindFrame() {
    BindFormControls();
    sbtConfirma = Control<QToolButton>("sbtConfirma");
    sbtCancela = Control<QToolButton>("sbtCancela");
    SetButtonIcon(sbtConfirma, QStyle::SP_DialogApplyButton);
    SetButtonIcon(sbtCancela, QStyle::SP_DialogCancelButton);
    OnClick(sbtConfirma, [this] { sbtConfirmaClick(); });
    OnClick(sbtCancela, [this] { sbtCancelaClick(); });
}

void TfrmRotiGeral::sbtConfirmaClick() {
    SetModalResult(mrOk);
    Close();
}

void TfrmRotiGeral::sbtCancelaClick() {
    SetModalResult(mrCancel);
    Close();
}

void TfrmRotiGeral::FormClose(TCloseAction &action) {
    action = TCloseAction::caFree;
}

} // namespace bco
