#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QProgressBar>
#include <QToolButton>

#include "framework/ui/forms/form.h"

namespace bco {

// The base of the import and export screens (TfrmPadrImportExport), child windows of the host: the tool bar
// panMenu with the action button sbtImportExport, help and close; the working group box grbDadosRel; and
// at the foot the progress panel panProgresso with its bar pgbProgresso. Its close releases the form.
class TfrmPadrImportExport : public TForm {
    Q_OBJECT
public:
    explicit TfrmPadrImportExport(QWidget *parent = nullptr);

    QToolButton *sbtImportExport = nullptr;
    QToolButton *sbtAjuda = nullptr;
    QToolButton *sbtFechar = nullptr;
    QGroupBox *grbDadosRel = nullptr;
    QFrame *panProgresso = nullptr;
    QProgressBar *pgbProgresso = nullptr;

    // The import or export itself, the descendant's; the base form does nothing.
    virtual void sbtImportExportClick() {}
    virtual void sbtFecharClick() { Close(); }

protected:
    struct DescendantLayout {};
    TfrmPadrImportExport(DescendantLayout, QWidget *parent);
    void BindFrame();

    void FormClose(TCloseAction &action) override;
};

} // namespace bco
