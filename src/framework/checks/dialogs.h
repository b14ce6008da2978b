#pragma once

#include <stdexcept>

#include <QFlags>
#include <QString>

#include "framework/checks/service_slot.h"

namespace bco {

enum class MsgKind { Error, Warning, Information, Confirmation };

enum class MsgButton {
    None = 0,
    Yes = 0x1,
    No = 0x2,
    Ok = 0x4,
    Cancel = 0x8,
    Abort = 0x10,
    Retry = 0x20,
    Ignore = 0x40,
    All = 0x80,
    NoToAll = 0x100,
    YesToAll = 0x200,
};
Q_DECLARE_FLAGS(MsgButtons, MsgButton)

// Notices and questions put to the operator. Every text the framework or a form shows goes through the
// one installed service, so that the desktop shows message boxes and a test answers from a script.
class MessageDialogs {
public:
    virtual ~MessageDialogs() = default;

    // Shows `text` as a dialog of `kind` offering `buttons` and answers the button the operator chose.
    // `key` is the catalogue key the text came from, empty for texts that came from elsewhere (a server's
    // refusal); it is for recording only and never shown. `details`, when not empty, is what the operator
    // may open below the text (the rows a question is about, what holds a record).
    virtual MsgButton show(MsgKind kind, const QString &text, MsgButtons buttons, const QString &key,
                           const QString &details) = 0;
    MsgButton show(MsgKind kind, const QString &text, MsgButtons buttons, const QString &key) {
        return show(kind, text, buttons, key, QString());
    }
};

// Raised by the default service, which stands in until the application (or a test) installs a real one:
// a dialog with nobody to answer it is a fault of the program's start-up, never a silent "OK".
class DialogsNotInstalled : public std::logic_error {
public:
    explicit DialogsNotInstalled(const QString &text);
};

// The process's dialogs, one slot per concern (ServiceSlot). The host installs its services at start; a test
// installs scripted ones for its scope. Later concerns (look-up and pick-list windows, modal forms) add their
// interface, accessor and installer to this namespace the same way, each in its own header.
namespace Dialogs {

// The installed message service, or the refusing default.
MessageDialogs &messages();

// Makes `service` the process's message service (nullptr: back to the refusing default) and answers the
// one it replaces. The service is not owned and must outlive its installation.
MessageDialogs *installMessages(MessageDialogs *service);

} // namespace Dialogs

using ScopedMessageDialogs = ScopedService<MessageDialogs, &Dialogs::installMessages>;

} // namespace bco

Q_DECLARE_OPERATORS_FOR_FLAGS(bco::MsgButtons)
