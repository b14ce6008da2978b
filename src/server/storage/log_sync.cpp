#include "server/storage/log_sync.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "server/storage/database.h"

namespace bco::server {

LogSync::LogSync(QString logPath)
    : logPath_(std::move(logPath)) {
}

void LogSync::sync() {
    std::unique_lock lock(mutex_);
    // A sync running now may have begun before the caller's commit reached the log: only one that begins
    // from here on is sure to cover it.
    const quint64 needed = started_ + 1;
    while (finished_ < needed) {
        if (running_) {
            done_.wait(lock);
            continue;
        }
        running_ = true;
        const quint64 mine = ++started_;
        lock.unlock();
        // Opened for each sync: SQLite deletes and makes the log anew when its last connection closes, and
        // a descriptor kept open would then sync a file nobody writes.
        // No log at all: the database does not run in WAL mode, and its commits went to the file itself.
        const int file = ::open(logPath_.toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
        int error = file < 0 && errno != ENOENT ? errno : 0;
        if (file >= 0 && ::fdatasync(file) != 0)
            error = errno;
        if (file >= 0)
            ::close(file);
        lock.lock();
        running_ = false;
        done_.notify_all();
        // A failed sync covers nobody: whoever waited for it tries again.
        if (error != 0)
            throw DatabaseError("cannot sync the log " + logPath_.toStdString() + ": " +
                                std::strerror(error));
        finished_ = mine;
    }
}

} // namespace bco::server
