#include "server/transport/serial_executor.h"

namespace bco::server {

SerialExecutor::SerialExecutor()
    : thread_([this] { serve(); }) {
}

SerialExecutor::~SerialExecutor() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_one();
    thread_.join();
}

void SerialExecutor::run(const std::function<void()> &task) {
    Task mine{&task, {}, false, {}};
    std::unique_lock lock(mutex_);
    tasks_.push_back(&mine);
    queued_.notify_one();
    mine.finished.wait(lock, [&] { return mine.done; });
    if (mine.failure)
        std::rethrow_exception(mine.failure);
}

void SerialExecutor::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty())
            return;
        Task *task = tasks_.front();
        tasks_.pop_front();
        lock.unlock();
        try {
            (*task->work)();
        } catch (...) {
            task->failure = std::current_exception();
        }
        lock.lock();
        // Notified under the mutex: the task lives on its caller's stack, which may not return before this.
        task->done = true;
        task->finished.notify_one();
    }
}

} // namespace bco::server
