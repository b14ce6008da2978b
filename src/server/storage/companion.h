#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace bco::server {

class ConnectionPool;
class Sql;

// A second reader of one read-only call's snapshot, on a connection and a thread of its own: a call that
// reads two independent sets of rows (the entry list's credits and debits) reads one of them here while its
// own connection reads the other, on two cores, and both see the database as of the same moment.
//
// Lent by ConnectionPool::companionFor(); given back when destroyed, after the work it was given has ended
// and its transaction with it. The work runs on the companion's thread: it may touch only what the caller
// leaves alone until finish() answers.
class Companion {
public:
    // The thread behind a companion: runs one task at a time, handed over from another thread.
    class Worker {
    public:
        explicit Worker(ConnectionPool &pool);
        ~Worker();
        Worker(const Worker &) = delete;
        Worker &operator=(const Worker &) = delete;

        ConnectionPool &pool() { return pool_; }
        // Taken by the call it is lent to; false while nobody has it.
        std::atomic<bool> lent{false};

        // Starts `task` on the worker's thread; the previous one must have been waited for.
        void post(std::function<void()> task);
        // Waits for the task posted last; rethrows what it threw.
        void wait();
        void run(std::function<void()> task) {
            post(std::move(task));
            wait();
        }

    private:
        void loop();

        ConnectionPool &pool_;
        std::mutex mutex_;
        std::condition_variable changed_;
        std::function<void()> task_;
        bool done_ = true;
        bool stopping_ = false;
        std::exception_ptr error_;
        std::thread thread_;
    };

    explicit Companion(Worker &worker);
    ~Companion();
    Companion(const Companion &) = delete;
    Companion &operator=(const Companion &) = delete;

    // Starts `work` with the companion's connection, inside the shared snapshot. At most once per loan.
    void start(std::function<void(Sql &)> work);
    // Waits until the work has ended; rethrows what it threw.
    void finish();

private:
    Worker &worker_;
    bool running_ = false;
};

} // namespace bco::server
