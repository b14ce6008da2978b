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
    for (const char *row :
         {"Rel_N_Cad|Não há relatório cadastrado com o código %s.", "NovoCaption|Título do relatório",
          "NovoPrompt|Informe o título do relatório:",
          "Rel_Existe|Já existe um relatório com o título \"%1\". Deseja substituí-lo?",
          "Rel_Titulo_Longo|O título do relatório deve ter no máximo %1 caracteres.",
          "Rel_Alterado|O relatório \"%1\" foi salvo por %2 em %3 depois que você começou a "
          "editá-lo. Deseja substituí-lo pelo seu? Não: salvar o seu com outro título."})
        msgPadrao.add(QString::fromUtf8(row));
}

void TfrmDadosGerRel::BindFrame() {
    BindFormControls();
    cbbReportNames = Control<QComboBox>("cbbReportNames");
    lblCodRel = Control<QLabel>("lblCodRel");
    sbtPrint = Control<QToolButton>("sbtPrint");
    sbtPreview = Control<QToolButton>("sbtPreview");
    sbtPdf = Control<QToolButton>("sbtPdf");
    sbtSalvarComo = Control<QToolButton>("sbtSalvarComo");
    sbtReportEdit = Control<QToolButton>("sbtReportEdit");
    sbtFechar = Control<QToolButton>("sbtFechar");
    SetButtonIcon(sbtPrint, QStyle::SP_DialogOkButton);
    SetButtonIcon(sbtPreview, QStyle::SP_FileDialogContentsView);
    SetButtonIcon(sbtPdf, QStyle::SP_DriveFDIcon);
    SetButtonIcon(sbtSalvarComo, QStyle::SP_DialogSaveButton);
    SetButtonIcon(sbtReportEdit, QStyle::SP_FileDialogDetailedView);
    SetButtonIcon(sbtFechar, QStyle::SP_DialogCloseButton);
    OnClick(sbtPrint, [this] { sbtPrintClick(); });
    OnClick(sbtPreview, [this] { sbtPreviewClick(); });
    OnClick(sbtPdf, [this] { sbtPdfClick(); });
    OnClick(sbtSalvarComo, [this] { sbtSalvarComoClick(); });
    OnClick(sbtReportEdit, [this] { sbtReportEditClick(); });
    OnClick(sbtFechar, [this] { sbtFecharClick(); });
    // A dialog that only asks for the report's choices closes on Esc, as dialogs do.
    ButtonKeys(sbtFechar, {QKeySequence(Qt::Key_Escape)});
}

void TfrmDadosGerRel::FormCreate() {
    LoadReportNames();
}

void TfrmDadosGerRel::LoadReportNames(const QString &title) {
    rpddPadrao.ReportCode = lblCodRel->text();
    const QString chosen = title.isEmpty() ? cbbReportNames->currentText() : title;
    cbbReportNames->clear();
    cbbReportNames->addItems(rpddPadrao.Titles());
    if (const int index = cbbReportNames->findText(chosen); index >= 0)
        cbbReportNames->setCurrentIndex(index);
}

QString TfrmDadosGerRel::ChosenReport() {
    rpddPadrao.ReportCode = lblCodRel->text();
    if (cbbReportNames->currentIndex() < 0)
        Consiste::MensErro(
            msgPadrao.Msg(QStringLiteral("Rel_N_Cad")).replace(QLatin1String("%s"), lblCodRel->text()));
    return cbbReportNames->currentText();
}

void TfrmDadosGerRel::sbtPrintClick() {
    rpddPadrao.Print(ChosenReport());
}

void TfrmDadosGerRel::sbtPreviewClick() {
    rpddPadrao.Preview(ChosenReport());
}

void TfrmDadosGerRel::sbtPdfClick() {
    rpddPadrao.ExportPdf(ChosenReport());
}

void TfrmDadosGerRel::sbtSalvarComoClick() {
    if (const std::optional<QString> title = rpddPadrao.SaveAs(ChosenReport(), msgPadrao))
        LoadReportNames(*title);
}

void TfrmDadosGerRel::sbtReportEditClick() {
    if (const std::optional<QString> title = rpddPadrao.Edit(ChosenReport(), msgPadrao);
        title && *title != ChosenReport())
        LoadReportNames(*title);
}

void TfrmDadosGerRel::FormClose(TCloseAction &action) {
    action = TCloseAction::caFree;
}

} // namespace bco
