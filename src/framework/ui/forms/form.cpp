#include "framework/ui/forms/form.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPointer>
#include <QShortcut>
#include <QToolButton>

#include "framework/ui/event_guard.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/modal_forms.h"

namespace bco {

namespace {

// The form that last became active; a form is activated again only after another one was.
QPointer<TForm> lastActivated;

} // namespace

TForm::TForm(QWidget *parent)
    : QWidget(parent) {
    FocusTracker::markForm(this);
}

TForm::~TForm() = default;

void TForm::RunFormCreate() {
    FormCreate();
}

void TForm::BindFormControls() {
    lblCodTela = Control<QLabel>("lblCodTela");
    panMenu = Control<QWidget>("panMenu");
}

void TForm::OnClick(QAbstractButton *button, std::function<void()> handler) {
    connect(button, &QAbstractButton::clicked, this, [handler = std::move(handler)] { runGuarded(handler); });
}

void TForm::OnClick(QAction *action, std::function<void()> handler) {
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { runGuarded(handler); });
}

void TForm::ButtonKeys(QAbstractButton *button, const QList<QKeySequence> &keys) {
    if (keys.isEmpty())
        return;
    for (const QKeySequence &sequence : keys)
        new QShortcut(
            sequence, this, [button] { button->click(); }, Qt::WidgetWithChildrenShortcut);
    const QString key = keys.first().toString(QKeySequence::NativeText);
    button->setToolTip(button->toolTip().isEmpty() ? key
                                                   : QStringLiteral("%1 (%2)").arg(button->toolTip(), key));
}

void TForm::BindCommand(QToolButton *button, QAction *action) {
    action->setIconText(button->text());
    if (!button->toolTip().isEmpty())
        action->setToolTip(button->toolTip());
    if (!action->shortcut().isEmpty()) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(
            action->toolTip(), action->shortcut().toString(QKeySequence::NativeText)));
    }
    if (action->icon().isNull())
        action->setIcon(button->icon());
    button->setDefaultAction(action);
}

void TForm::SetButtonIcon(QToolButton *button, QStyle::StandardPixmap picture) const {
    if (button->icon().isNull())
        button->setIcon(style()->standardIcon(picture, nullptr, button));
}

void TForm::missingControl(const char *name) const {
    throw std::logic_error("the layout of " + objectName().toStdString() + " lacks the control " + name);
}

QMdiSubWindow *TForm::MdiWindow() const {
    return qobject_cast<QMdiSubWindow *>(parentWidget());
}

void TForm::Close() {
    if (QMdiSubWindow *window = MdiWindow())
        window->close();
    else
        close();
}

void TForm::Release() {
    if (QMdiSubWindow *window = MdiWindow())
        window->deleteLater();
    else
        deleteLater();
}

int TForm::ShowModal() {
    struct OrdinaryCursor {
        const bool busy = QApplication::overrideCursor() != nullptr;
        OrdinaryCursor() {
            if (busy)
                QApplication::setOverrideCursor(Qt::ArrowCursor);
        }
        ~OrdinaryCursor() {
            if (busy)
                QApplication::restoreOverrideCursor();
        }
    } cursor;
    modalResult_ = mrNone;
    Dialogs::modalForms().showModal(*this);
    return modalResult_;
}

HourglassCursor::HourglassCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

HourglassCursor::~HourglassCursor() {
    QApplication::restoreOverrideCursor();
}

bool TForm::CanClose() {
    bool may = false;
    return runGuarded([&] { may = FormCloseQuery(); }) && may;
}

void TForm::closeEvent(QCloseEvent *event) {
    const bool asked = std::exchange(closeAgreed_, false);
    if (!asked && !CanClose()) {
        event->ignore();
        return;
    }
    TCloseAction action = TCloseAction::caHide;
    if (!runGuarded([&] { FormClose(action); }) || action == TCloseAction::caNone) {
        event->ignore();
        return;
    }
    event->accept();
    if (action == TCloseAction::caFree)
        Release();
    else if (QMdiSubWindow *window = MdiWindow(); window != nullptr && window->isVisible())
        window->hide();
}

void TForm::hideEvent(QHideEvent *event) {
    if (lastActivated == this)
        lastActivated = nullptr;
    QWidget::hideEvent(event);
}

bool TForm::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (isWindow())
            activated();
        break;
    case QEvent::ParentChange:
        watchMdiWindow();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TForm::watchMdiWindow() {
    QMdiSubWindow *window = MdiWindow();
    if (window == nullptr || watchingMdiWindow_)
        return;
    watchingMdiWindow_ = true;
    connect(window, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                // The frame makes its child window active again when the program is, even while a dialog
                // above it is the active window: that is no activation of this form, and taking it for one
                // would have the dialog, active again, run its own activation (and lose what was typed).
                if (now.testFlag(Qt::WindowActive) && !before.testFlag(Qt::WindowActive) &&
                    QApplication::activeWindow() == this->window())
                    activated();
            });
}

void TForm::activated() {
    if (lastActivated == this)
        return;
    lastActivated = this;
    runGuarded([this] { FormActivate(); });
}

} // namespace bco
