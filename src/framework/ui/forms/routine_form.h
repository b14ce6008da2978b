#pragma once

#include <QToolButton>

#include "framework/ui/forms/form.h"

namespace bco {

// The base of the routine dialogs (TfrmRotiGeral): a working area and, at the right edge, the button panel
// with confirm (sbtConfirma) and cancel (sbtCancela). Shown modally; its close releases the form, after the
// event that closed it has ended, so that the modal caller can still read the form's data sets when the
// modal call returns.
class TfrmRotiGeral : public TForm {
    Q_OBJECT
public:
    // A routine dialog laid out by the base form's own layout (a form with nothing of its own).
    explicit TfrmRotiGeral(QWidget *parent = nullptr);

    QToolButton *sbtConfirma = nullptr;
    QToolButton *sbtCancela = nullptr;

    // The base form's confirm: answers mrOk and closes. A descendant that checks first overrides it.
    virtual void sbtConfirmaClick();
    // The base form's cancel handling: answers mrCancel and closes the form.
    virtual void sbtCancelaClick();

protected:
    struct DescendantLayout {};
    // For a descendant that lays out the whole form in its .ui file and then calls BindFrame.
    TfrmRotiGeral(DescendantLayout, QWidget *parent);
    void BindFrame();

    void FormClose(TCloseAction &action) override;
};

} // namespace bco
