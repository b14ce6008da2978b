#include "framework/checks/dialogs.h"

#include <utility>

namespace bco {

DialogsNotInstalled::DialogsNotInstalled(const QString &text)
    : std::logic_error(("no dialogs service is installed to show: " + text).toStdString()) {
}

namespace {

class RefusingMessageDialogs final : public MessageDialogs {
public:
    MsgButton show(MsgKind, const QString &text, MsgButtons, const QString &, const QString &) override {
        throw DialogsNotInstalled(text);
    }
};

// Lives in bco_core, which the host and every module share, so the whole process sees one slot.
MessageDialogs *installedMessages = nullptr;

} // namespace

namespace Dialogs {

MessageDialogs &messages() {
    static RefusingMessageDialogs refusing;
    return installedMessages ? *installedMessages : refusing;
}

MessageDialogs *installMessages(MessageDialogs *service) {
    return std::exchange(installedMessages, service);
}

} // namespace Dialogs

} // namespace bco
