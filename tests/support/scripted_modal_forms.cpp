#include "support/scripted_modal_forms.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace bco {

ScriptedModalForms::ScriptedModalForms()
    : installed_(*this) {
}

ScriptedModalForms::~ScriptedModalForms() {
    if (!script_.empty())
        ADD_FAILURE() << script_.size() << " scripted modal action(s) never ran";
}

ScriptedModalForms &ScriptedModalForms::then(Action action) {
    script_.push_back(std::move(action));
    return *this;
}

void ScriptedModalForms::showModal(QWidget &form) {
    shown_ << form.objectName();
    QPointer<QWidget> alive(&form);
    form.show();
    if (script_.empty()) {
        ADD_FAILURE() << "modal form shown without a scripted action: " << form.objectName().toStdString();
    } else {
        const Action action = std::move(script_.front());
        script_.erase(script_.begin());
        action(form);
    }
    if (alive && alive->isVisible()) {
        ADD_FAILURE() << "modal form left open by its scripted action: " << form.objectName().toStdString();
        alive->hide();
    }
}

} // namespace bco
