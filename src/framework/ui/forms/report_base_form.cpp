#include "framework/ui/forms/report_base_form.h"

#include "framework/checks/consiste.h"

#include "ui_report_base_form.h"

namespace bco {

TfrmDadosGerRel::TfrmDadosGerRel(QWidget *parent)
    : TForm(parent) {
    addBaseMessages();
    Ui::frmDadosGerRel().setupUi(this);
    BindFrame();
}

TfrmDadosGerRel::TfrmDadosGerRel(DescendantLayout, QWidget *parent)
    : TForm(parent) {
    addBaseMessages();
}

void TfrmDadosGerRel::addBaseMessages() {
    msgPadrao.add(QStringLiteral("Rel_N_Cad"),
                  QStringLiteral("Não há relatório cadastrado com o código %s."));
}

void TfrmDadosGerRel::BindFrame() {
    BindFormControls();
    cbbReportNames = Control<QComboBox>("cbbReportNames");
    lblCodRel = Control<QLabel>("lblCodRel");
    sbtPrint = Control<QToolButton>("sbtPrint");
    sbtPreview = Control<QToolButton>("sbtPreview");
    sbtSalvarComo = Control<QToolButton>("sbtSalvarComo");
    sbtReportEdit = Control<QToolButton>("sbtReportEdit");
    sbtFechar = Control<QToolButton>("sbtFechar");
    SetButtonIcon(sbtPrint, QStyle::SP_DialogOkButton);
    SetButtonIcon(sbtPreview, QStyle::SP_FileDialogContentsView);
    SetButtonIcon(sbtSalvarComo, QStyle::SP_DialogSaveButton);
    SetButtonIcon(sbtReportEdit, QStyle::SP_FileDialogDetailedView);
    SetButtonIcon(sbtFechar, QStyle::SP_DialogCloseButton);
    OnClick(sbtPrint, [this] { sbtPrintClick(); });
    OnClick(sbtPreview, [this] { sbtPreviewClick(); });
    OnClick(sbtSalvarComo, [this] { sbtSalvarComoClick(); });
    OnClick(sbtReportEdit, [this] { sbtReportEditClick(); });
    OnClick(sbtFechar, [this] { sbtFecharClick(); });
}

QString TfrmDadosGerRel::ChosenReport() const {
    if (cbbReportNames->currentIndex() < 0)
        Consiste::MensErro(
            msgPadrao.Msg(QStringLiteral("Rel_N_Cad")).replace(QLatin1String("%s"), lblCodRel->text()));
    return cbbReportNames->currentText();
}

void TfrmDadosGerRel::sbtPrintClick() {
    ChosenReport();
}

void TfrmDadosGerRel::sbtPreviewClick() {
    ChosenReport();
}

void TfrmDadosGerRel::sbtSalvarComoClick() {
    ChosenReport();
}

void TfrmDadosGerRel::sbtReportEditClick() {
    ChosenReport();
}

void TfrmDadosGerRel::FormClose(TCloseAction &action) {
    action = TCloseAction::caFree;
}

} // namespace bco
