#include "framework/checks/messages.h"

namespace bco {

MsgButton TMessages::ShowMsg(const QString &key, MsgKind kind, MsgButtons buttons, int,
                             const QString &details) const {
    return Dialogs::messages().show(kind, Msg(key), buttons, key, details);
}

} // namespace bco
