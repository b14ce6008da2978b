#pragma once

#include "framework/checks/dialogs.h"

namespace bco {

// The message service of the desktop: a modal message box over the active window, titled with the
// application's name, with the icon of its kind (error, warning, information, question for a
// confirmation) and the buttons asked for, in Portuguese ("Sim", "Não", "OK", "Cancelar", ...). The first
// offered of Yes, OK, Retry and All is the default; Escape answers No, else Cancel, else Abort, else the
// only button. A dialog asking for no button offers OK. A message ends the wait animation, which would
// otherwise cover it.
class QtMessageDialogs final : public MessageDialogs {
public:
    using MessageDialogs::show;
    MsgButton show(MsgKind kind, const QString &text, MsgButtons buttons, const QString &key,
                   const QString &details) override;
};

} // namespace bco
