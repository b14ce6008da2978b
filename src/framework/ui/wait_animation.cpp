#include "framework/ui/wait_animation.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

namespace bco {

namespace {

// A tool-tip window: no platform activates one, so the form keeps its focus and no exit handler runs.
class WaitPanel final : public QFrame {
public:
    explicit WaitPanel(QWidget *owner)
        : QFrame(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
        setFrameShape(QFrame::Box);
        setLineWidth(1);
        setAutoFillBackground(true);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 12, 16, 12);
        text_ = new QLabel(this);
        text_->setAlignment(Qt::AlignCenter);
        auto *bar = new QProgressBar(this);
        bar->setRange(0, 0);
        bar->setTextVisible(false);
        bar->setFixedHeight(12);
        layout->addWidget(text_);
        layout->addWidget(bar);
        setMinimumWidth(260);
    }

    QString text() const { return text_->text(); }
    void setText(const QString &text) { text_->setText(text); }

private:
    QLabel *text_;
};

QPointer<WaitPanel> panel;
bool cursorSet = false;

void placeOver(WaitPanel *shown, QWidget *owner) {
    shown->adjustSize();
    if (owner != nullptr) {
        const QRect area = owner->frameGeometry();
        shown->move(area.center() - QPoint(shown->width() / 2, shown->height() / 2));
    }
}

} // namespace

void ActiveShowAvi(QWidget *form, int, const QString &text) {
    QWidget *owner = form != nullptr ? form->window() : QApplication::activeWindow();
    if (!panel.isNull() && panel->parentWidget() != owner)
        delete panel.data();
    if (panel.isNull())
        panel = new WaitPanel(owner);
    panel->setText(text.isEmpty() ? QStringLiteral("Aguarde...") : text);
    placeOver(panel, owner);
    panel->show();
    panel->raise();
    // The call that follows blocks the event loop: the panel is drawn now or never.
    panel->repaint();
    if (!cursorSet) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        cursorSet = true;
    }
}

void DeactiveShowAvi() {
    if (!panel.isNull())
        panel->hide();
    if (cursorSet) {
        QApplication::restoreOverrideCursor();
        cursorSet = false;
    }
}

bool ShowAviActive() {
    return !panel.isNull() && panel->isVisible();
}

QString ShowAviText() {
    return ShowAviActive() ? panel->text() : QString();
}

} // namespace bco
