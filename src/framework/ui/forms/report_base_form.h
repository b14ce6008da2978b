#pragma once

#include <QComboBox>
#include <QLabel>
#include <QToolButton>

#include "framework/ui/forms/form.h"
#include "framework/ui/report/report_designer_dialog.h"

namespace bco {

// The base of the report screens (TfrmDadosGerRel), shown modally: the list of the report designs stored
// for the report code in lblCodRel (cbbReportNames), the working area, and at the right edge the button
// panel with print, preview, PDF, save-as, edit report and close. The report engine rpddPadrao stands
// behind the actions: it runs the chosen design with the parameters the descendant gives in its
// BeforeGetQueryParams. Without a design to choose, each action refuses with the catalogue text "Rel_N_Cad".
// Its close releases the form.
class TfrmDadosGerRel : public TForm {
    Q_OBJECT
public:
    explicit TfrmDadosGerRel(QWidget *parent = nullptr);

    QComboBox *cbbReportNames = nullptr;
    QLabel *lblCodRel = nullptr;
    QToolButton *sbtPrint = nullptr;
    QToolButton *sbtPreview = nullptr;
    QToolButton *sbtPdf = nullptr;
    QToolButton *sbtSalvarComo = nullptr;
    QToolButton *sbtReportEdit = nullptr;
    QToolButton *sbtFechar = nullptr;

    TReportDesignerDialog rpddPadrao;

    virtual void sbtPrintClick();
    virtual void sbtPreviewClick();
    virtual void sbtPdfClick();
    virtual void sbtSalvarComoClick();
    virtual void sbtReportEditClick();
    virtual void sbtFecharClick() { Close(); }

    // Lists the designs stored for the report code again, choosing `title` when it is one of them.
    void LoadReportNames(const QString &title = QString());

protected:
    struct DescendantLayout {};
    TfrmDadosGerRel(DescendantLayout, QWidget *parent);
    void BindFrame();

    void FormCreate() override;
    void FormClose(TCloseAction &action) override;

    // The design chosen in the list; refuses (MensErro) when there is none.
    QString ChosenReport();

private:
    void addBaseMessages();
};

} // namespace bco
