#pragma once

#include <QWidget>

#include "framework/checks/service_slot.h"

namespace bco {

// The host application as the forms see it: its main window (owner of modal forms, where the wait
// animation shows) and its multi-document area, where the module's child forms live. The host installs
// its frame at start; without one (a test), child forms show as top-level windows.
class HostFrame {
public:
    virtual ~HostFrame() = default;

    // The host's main window; nullptr when there is none.
    virtual QWidget *mainForm() = 0;

    // Shows `form` as a child window of the multi-document area (or brings it forward when it is already
    // one). The area's window then owns the form.
    virtual void showChild(QWidget &form) = 0;
};

namespace Host {

HostFrame &frame();
HostFrame *installFrame(HostFrame *frame);

} // namespace Host

using ScopedHostFrame = ScopedService<HostFrame, &Host::installFrame>;

} // namespace bco
