#pragma once

#include <QString>

#include "framework/checks/dialogs.h"
#include "framework/text/message_catalogue.h"

namespace bco {

// A form's message catalogue (`msgPadrao`): every text the form shows the operator, by key (the rows and
// their rules are MessageCatalogue's), and the showing of one through the dialogs service.
class TMessages : public MessageCatalogue {
public:
    using MessageCatalogue::MessageCatalogue;

    // Shows the text of `key` through the dialogs service and answers the chosen button (a notice offers
    // Ok; a question Yes and No, and the caller goes on only on Yes), with `details` below it when given.
    // There is no help system: the help context is accepted for the forms' sake and ignored.
    MsgButton ShowMsg(const QString &key, MsgKind kind, MsgButtons buttons, int helpContext = 0,
                      const QString &details = QString()) const;
};

} // namespace bco
