#pragma once

#include "framework/checks/messages.h"

namespace Cli_bco11104 {

// The rows of the import's message catalogue ("key|text"), which the form's msgPadrao and the command-line
// import both hold, so that both tell a problem in the same words.
void AddImportMessages(bco::TMessages &catalogue);

} // namespace Cli_bco11104
