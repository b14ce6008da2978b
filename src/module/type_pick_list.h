#pragma once

#include "framework/checks/messages.h"
#include "framework/data/client_data_set.h"

// The pick list of entry types that the filter and the entries report share (cdsLancto): the mark, the
// type's key (its kind letter and its four-character code, five characters), its code, its name and its
// kind, shown as the catalogue's "CREDITO" or "DEBITO" text.
namespace Cli_bco11100 {

void DeclareTypePickList(bco::ClientDataSet &list, const bco::TMessages &catalogue);

} // namespace Cli_bco11100
