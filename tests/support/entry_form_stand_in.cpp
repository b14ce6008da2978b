#include "support/entry_form_stand_in.h"

#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"

namespace bco::testing {

EntryFormStandIn::EntryFormStandIn()
    : records([] { return dtmDBGeral::adcGeral(); })
    , loader([this](const QString &method, VariantList &args) {
        return Consiste::CheckResultServ(connection.Call(method, args), true, 0);
    }) {
    connection.SetBeforeConnect([](NetConnection &opened) { Ondrima::PrepareConnection(opened); });
    connection.Open();
}

EntryFormStandIn::~EntryFormStandIn() {
    connection.Close();
}

} // namespace bco::testing
