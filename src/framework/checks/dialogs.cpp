#include "framework/checks/dialogs.h"

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

ServiceSlot<MessageDialogs, RefusingMessageDialogs> messagesSlot;

} // namespace

namespace Dialogs {

MessageDialogs &messages() {
    return messagesSlot.current();
}

MessageDialogs *installMessages(MessageDialogs *service) {
    return messagesSlot.install(service);
}

} // namespace Dialogs

} // namespace bco
