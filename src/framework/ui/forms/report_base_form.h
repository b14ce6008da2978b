#pragma once

#include <QComboBox>
#include <QLabel>
#include <QToolButton>

#include "framework/ui/forms/form.h"

namespace bco {

// The base of the report screens (TfrmDadosGerRel), shown modally: the list of the stored report designs of
// the report code in lblCodRel (cbbReportNames), the working area, and at the right edge the button panel
// with print, preview, save-as, edit report and close. The report engine that runs a design stands behind
// the four actions; until the engine and its designs exist, the list is empty and each action refuses with
// the catalogue text "Rel_N_Cad" (no design for the report code). Its close releases the form.
class TfrmDadosGerRel : public TForm {
    Q_OBJECT
public:
    explicit TfrmDadosGerRel(QWidget *parent = nullptr);

    QComboBox *cbbReportNames = nullptr;
    QLabel *lblCodRel = nullptr;
    QToolButton *sbtPrint = nullptr;
    QToolButton *sbtPreview = nullptr;
    QToolButton *sbtSalvarComo = nullptr;
    QToolButton *sbtReportEdit = nullptr;
    QToolButton *sbtFechar = nullptr;

    virtual void sbtPrintClick();
    virtual void sbtPreviewClick();
    virtual void sbtSalvarComoClick();
    virtual void sbtReportEditClick();
    virtual void sbtFecharClick() { Close(); }

protected:
    struct DescendantLayout {};
    TfrmDadosGerRel(DescendantLayout, QWidget *parent);
    void BindFrame();

    void FormClose(TCloseAction &action) override;

    // The design chosen in the list; refuses (MensErro) when there is none.
    QString ChosenReport() const;

private:
    void addBaseMessages();
};

} // namespace bco
