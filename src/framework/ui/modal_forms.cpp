#include "framework/ui/modal_forms.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>

#include "framework/ui/host_frame.h"

namespace bco {

namespace {

class RefusingModalForms final : public ModalForms {
public:
    void showModal(QWidget &form) override { throw DialogsNotInstalled(form.windowTitle()); }
};

ServiceSlot<ModalForms, RefusingModalForms> modalFormsSlot;

// Ends the modal loop when the form is hidden, whether it was closed, hid itself or is being destroyed.
class HideWatcher final : public QObject {
public:
    explicit HideWatcher(QEventLoop &loop)
        : loop_(loop) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Hide)
            loop_.quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop &loop_;
};

} // namespace

void QtModalForms::showModal(QWidget &form) {
    QWidget *owner = Host::frame().mainForm();
    if (form.parentWidget() == nullptr && owner != nullptr)
        form.setParent(owner, form.windowFlags() | Qt::Dialog);
    else
        form.setWindowFlag(Qt::Dialog);
    form.setWindowModality(Qt::ApplicationModal);
    // The dialog opens over the middle of the window it belongs to, as a dialog does.
    if (QWidget *over = form.parentWidget() != nullptr ? form.parentWidget()->window() : nullptr;
        over != nullptr && !form.isVisible())
        form.move(over->geometry().center() - form.rect().center());

    QEventLoop loop;
    HideWatcher watcher(loop);
    QPointer<QWidget> alive(&form);
    QObject::connect(&form, &QObject::destroyed, &loop, &QEventLoop::quit);
    form.installEventFilter(&watcher);
    form.show();
    form.raise();
    form.activateWindow();
    if (form.isVisible())
        loop.exec(QEventLoop::DialogExec);
    if (alive)
        form.removeEventFilter(&watcher);
}

namespace Dialogs {

ModalForms &modalForms() {
    return modalFormsSlot.current();
}

ModalForms *installModalForms(ModalForms *service) {
    return modalFormsSlot.install(service);
}

} // namespace Dialogs

} // namespace bco
