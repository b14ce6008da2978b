#include "framework/ui/child_enabled.h"

#include <QWidget>

namespace Consiste {

void SetChildEnabled(QWidget *container, bool enabled) {
    if (container == nullptr)
        return;
    for (QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            child->setEnabled(enabled);
    }
}

} // namespace Consiste
