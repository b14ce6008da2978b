#include "framework/ui/forms/import_export_form.h"

#include "ui_import_export_form.h"

namespace bco {

TfrmPadrImportExport::TfrmPadrImportExport(QWidget *parent)
    : TForm(parent) {
    Ui::frmPadrImportExport().setupUi(this);
    BindFrame();
}

TfrmPadrImportExport::TfrmPadrImportExport(DescendantLayout, QWidget *parent)
    : TForm(parent) {
}

void TfrmPadrImportExport::BindFrame() {
    BindFormControls();
    sbtImportExport = Control<QToolButton>("sbtImportExport");
    sbtAjuda = Control<QToolButton>("sbtAjuda");
    sbtFechar = Control<QToolButton>("sbtFechar");
    grbDadosRel = Control<QGroupBox>("grbDadosRel");
    panProgresso = Control<QFrame>("panProgresso");
    pgbProgresso = Control<QProgressBar>("pgbProgresso");
    SetButtonIcon(sbtImportExport, QStyle::SP_ArrowDown);
    SetButtonIcon(sbtAjuda, QStyle::SP_DialogHelpButton);
    SetButtonIcon(sbtFechar, QStyle::SP_DialogCloseButton);
    // There is no help system to open.
    sbtAjuda->setEnabled(false);
    // The tool bar's buttons keep their captions whole: a form too narrow for them grows instead.
    for (QToolButton *button : panMenu->findChildren<QToolButton *>())
        button->setSizePolicy(QSizePolicy::Minimum, button->sizePolicy().verticalPolicy());
    OnClick(sbtImportExport, [this] { sbtImportExportClick(); });
    OnClick(sbtFechar, [this] { sbtFecharClick(); });
    // The form's one action is run from the keyboard as the maintenance forms confirm.
    ButtonKeys(sbtImportExport,
               {QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::CTRL | Qt::Key_Return)});
}

void TfrmPadrImportExport::FormClose(TCloseAction &action) {
    action = TCloseAction::caFree;
}

} // namespace bco
