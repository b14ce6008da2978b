#pragma once

class QWidget;

namespace Consiste {

// Enables or disables every control the container holds (its child widgets; what they hold follows
// them), leaving the container itself as it is: the forms close a bar of fields while its caption and
// frame stay as they were.
void SetChildEnabled(QWidget *container, bool enabled);

} // namespace Consiste
