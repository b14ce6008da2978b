#pragma once

#include <functional>

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace bco {

// Runs `action` on the next modal window as soon as it is shown, from inside its event loop: what a test
// does to a message box or a look-up window that the code under test opens and waits on.
inline void whenModal(std::function<void(QWidget &window)> action) {
    auto *timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action = std::move(action)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(*modal);
    });
    timer->start();
}

} // namespace bco
