#pragma once

#include <QWidget>

#include "framework/checks/dialogs.h"

namespace bco {

// Shows a form modally: the call returns when the form has been closed (hidden or released). Through this
// service, like the message dialogs, so that the desktop runs a modal loop and a test acts on the form
// while it is "shown" and closes it.
class ModalForms {
public:
    virtual ~ModalForms() = default;
    virtual void showModal(QWidget &form) = 0;
};

// The desktop's way: the form becomes an application-modal dialog over the host's main window and a local
// event loop runs until the form is hidden or destroyed.
class QtModalForms final : public ModalForms {
public:
    void showModal(QWidget &form) override;
};

namespace Dialogs {

// The installed service, or a refusing default (throws DialogsNotInstalled): a modal form with nobody to
// close it would hang the program.
ModalForms &modalForms();
ModalForms *installModalForms(ModalForms *service);

} // namespace Dialogs

using ScopedModalForms = ScopedService<ModalForms, &Dialogs::installModalForms>;

} // namespace bco
