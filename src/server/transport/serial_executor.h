#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace bco::server {

// Runs the tasks handed to it one at a time, in the order they came, on one thread of its own. run() blocks
// its caller until the task has ended and throws on what the task threw. Safe to call from many threads.
//
// The server runs SQLite's writing calls here. They are one at a time anyway, since SQLite has one writer.
// With one thread they also share one connection, and its page cache stays warm. When each worker wrote
// through its own connection, every call found that another connection had written since its last call. It
// then dropped its whole cache and read each page again.
class SerialExecutor {
public:
    SerialExecutor();
    // Runs what is queued, then ends the thread.
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    void run(const std::function<void()> &task);

private:
    struct Task {
        const std::function<void()> *work;
        std::exception_ptr failure;
        bool done = false;
        std::condition_variable finished;
    };

    void serve();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<Task *> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace bco::server
