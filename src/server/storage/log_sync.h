#pragma once

#include <condition_variable>
#include <mutex>

#include <QString>

namespace bco::server {

// Makes the commits of a SQLite database durable in groups. The connections commit with synchronous NORMAL,
// which writes a commit into the write-ahead log without waiting for the disk; a writing call then waits in
// sync() until the log is on disk before it answers. One sync covers every commit written before it began,
// so the calls that committed while a sync ran share the next one, instead of each waiting for a sync of its
// own in turn (synchronous FULL). A commit answered is thus on disk as with FULL, and SQLite's recovery
// replays it from the log after a power cut.
class LogSync {
public:
    explicit LogSync(QString logPath);
    // Returns once everything written to the log before the call is on disk. Throws DatabaseError when the
    // disk refuses the sync.
    void sync();

private:
    QString logPath_;
    std::mutex mutex_;
    std::condition_variable done_;
    quint64 started_ = 0;
    quint64 finished_ = 0;
    bool running_ = false;
};

} // namespace bco::server
