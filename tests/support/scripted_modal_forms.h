#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "framework/ui/modal_forms.h"

namespace bco {

// The modal forms of a test: installs itself for its life. Each modal showing shows the form and runs the
// next scripted action on it (the test types, clicks, closes), which must leave the form closed: a showing
// nobody scripted, or a form still open after its action, fails the running test and is closed (hidden) so
// that the code under test goes on. Actions still unused when the object goes fail the test too.
class ScriptedModalForms final : public ModalForms {
public:
    using Action = std::function<void(QWidget &form)>;

    ScriptedModalForms();
    ~ScriptedModalForms() override;
    ScriptedModalForms(const ScriptedModalForms &) = delete;
    ScriptedModalForms &operator=(const ScriptedModalForms &) = delete;

    ScriptedModalForms &then(Action action);

    void showModal(QWidget &form) override;

    // Object names of the forms shown modally, in order.
    const QStringList &shown() const { return shown_; }

private:
    std::vector<Action> script_;
    QStringList shown_;
    ScopedModalForms installed_;
};

} // namespace bco
