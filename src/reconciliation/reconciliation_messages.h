#pragma once

#include "framework/checks/messages.h"

namespace Cli_bco11105 {

// Adds the reconciliation's texts to the form's catalogue.
void AddReconciliationMessages(bco::TMessages &catalogue);

} // namespace Cli_bco11105
