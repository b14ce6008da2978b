#pragma once

#include <functional>

#include <QObject>

namespace bco {

// Every event entry point (a click, an exit, a key, a data-set event fired from a widget) runs its work
// through this guard, because no exception may cross the Qt event loop: a silent abort (Consiste::EAbort)
// ends the action quietly; any other exception is shown to the operator as an error and ends the action.
// Answers true when the work ran to its end.
bool runGuarded(const std::function<void()> &work) noexcept;

// Connects a signal to work that runs through the guard, with the context object's lifetime.
template <typename Sender, typename Signal, typename Work>
QMetaObject::Connection connectGuarded(Sender *sender, Signal signal, QObject *context, Work work) {
    return QObject::connect(sender, signal, context,
                            [work = std::move(work)](auto &&...args) { runGuarded([&] { work(args...); }); });
}

} // namespace bco
