#include "server/storage/database.h"

#include <algorithm>
#include <optional>
#include <thread>

#include <QFile>
#include <QScopeGuard>

#include <sys/stat.h>

#include "server/storage/log_sync.h"

namespace bco::server {

void WriterQueue::lock() {
    std::unique_lock lock(mutex_);
    const quint64 ticket = nextTicket_++;
    turn_.wait(lock, [&] { return serving_ == ticket; });
}

bool WriterQueue::try_lock() {
    const std::lock_guard lock(mutex_);
    if (nextTicket_ != serving_)
        return false;
    ++nextTicket_;
    return true;
}

void WriterQueue::unlock() {
    {
        const std::lock_guard lock(mutex_);
        ++serving_;
    }
    turn_.notify_all();
}

void Sql::begin(bool writing) {
    if (dialect_ != Dialect::Sqlite) {
        // A call that only reads may run several statements (the entry list reads its entries and their
        // movements apart): each must see the database as the first did, or a writer committing between them
        // would have the answer mix two states. A transaction that writes nothing is never refused for it.
        // Writing calls keep READ COMMITTED and hold what they read with FOR UPDATE.
        executeScript(writing ? QStringLiteral("BEGIN")
                              : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"));
        inTransaction_ = true;
        writingTransaction_ = writing;
        return;
    }
    refuseIfTheFileMoved();
    if (writing && writers_ != nullptr)
        writing_ = std::unique_lock(*writers_);
    try {
        executeScript(writing ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN DEFERRED"));
        inTransaction_ = true;
        writingTransaction_ = writing;
    } catch (...) {
        if (writing_.owns_lock())
            writing_.unlock();
        throw;
    }
}

void Sql::commit() {
    if (LogSync *sync = commitLeavingSync())
        sync->sync();
}

LogSync *Sql::commitLeavingSync() {
    {
        const auto release = qScopeGuard([this] {
            if (writing_.owns_lock())
                writing_.unlock();
        });
        executeScript(QStringLiteral("COMMIT"));
        inTransaction_ = false;
    }
    // The next writer goes on while this one waits for the disk, and shares its sync.
    return writingTransaction_ ? logSync_ : nullptr;
}

void Sql::rollback() {
    const auto release = qScopeGuard([this] {
        inTransaction_ = false;
        if (writing_.owns_lock())
            writing_.unlock();
    });
    executeScript(QStringLiteral("ROLLBACK"));
}

namespace {

std::atomic<quint64> nextPoolId{1};

// The connections the current thread opened, at most one of each use per pool; closed in the thread at its
// end.
struct ThreadConnections {
    struct Entry {
        quint64 pool;
        ConnectionPool::Use use;
        QString name;
        std::unique_ptr<Sql> sql;
    };
    std::vector<Entry> entries;

    ~ThreadConnections() {
        while (!entries.empty())
            close(entries.back().pool);
    }

    Entry *find(quint64 pool, ConnectionPool::Use use) {
        const auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry &entry) {
            return entry.pool == pool && entry.use == use;
        });
        return found == entries.end() ? nullptr : &*found;
    }

    // The pool's connections on this thread: every one, or those of one use.
    void close(quint64 pool, std::optional<ConnectionPool::Use> use = std::nullopt) {
        for (auto found = entries.end(); found != entries.begin();) {
            --found;
            if (found->pool != pool || (use && found->use != *use))
                continue;
            const QString name = found->name;
            // The statements go before the connection they were prepared on; removing the connection closes
            // it.
            found = entries.erase(found);
            QSqlDatabase::removeDatabase(name);
        }
    }
};

thread_local ThreadConnections threadConnections;

} // namespace

ConnectionPool::ConnectionPool(DatabaseUrl url, Commits commits)
    : url_(std::move(url))
    , commits_(commits)
    , id_(nextPoolId++) {
    if (url_.kind == DatabaseUrl::Kind::Sqlite && commits_ == Commits::GroupSynced)
        logSync_ = std::make_unique<LogSync>(url_.path + QStringLiteral("-wal"));
}

ConnectionPool::~ConnectionPool() {
    // The companions' threads close their own connections as they end, while the pool is still whole.
    companions_.clear();
    threadConnections.close(id_);
}

void ConnectionPool::dropThisThreadAfterFailure() {
    threadConnections.close(id_);
}

void ConnectionPool::closeThisThreadGate() {
    threadConnections.close(id_, Use::Gate);
}

Dialect ConnectionPool::dialect() const {
    return url_.kind == DatabaseUrl::Kind::Sqlite ? Dialect::Sqlite : Dialect::Postgresql;
}

namespace {

std::optional<std::pair<quint64, quint64>> fileAt(const QString &path) {
    struct stat found {};
    if (::stat(QFile::encodeName(path).constData(), &found) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>(found.st_dev, found.st_ino);
}

} // namespace

OpenMode ConnectionPool::sqliteOpenMode() {
    const std::lock_guard lock(fileMutex_);
    if (!file_)
        return OpenMode::MayCreate;
    if (const auto standing = fileAt(url_.path); standing && *standing != *file_)
        throw DatabaseError(
            QStringLiteral(
                "another file stands at %1 than the database the server opened: it was replaced "
                "while the server ran, and is not opened beside the log the old one left; restart the "
                "server to serve it")
                .arg(url_.path)
                .toStdString());
    return OpenMode::MustExist;
}

void ConnectionPool::rememberSqliteFile() {
    const std::lock_guard lock(fileMutex_);
    if (!file_)
        file_ = fileAt(url_.path);
}

Sql &ConnectionPool::forThisThread() {
    return forThisThread(Use::Calls);
}

Sql &ConnectionPool::forThisThread(Use use) {
    if (ThreadConnections::Entry *found = threadConnections.find(id_, use)) {
        if (!found->sql->lostWhileIdle())
            return *found->sql;
        threadConnections.close(id_, use);
    }
    const QString name =
        QStringLiteral("bco-server-%1-%2-%3")
            .arg(id_)
            .arg(static_cast<qulonglong>(std::hash<std::thread::id>()(std::this_thread::get_id())))
            .arg(static_cast<int>(use));
    QSqlDatabase database;
    try {
        database =
            openDatabase(url_, name, dialect() == Dialect::Sqlite ? sqliteOpenMode() : OpenMode::MayCreate);
        if (dialect() == Dialect::Sqlite)
            rememberSqliteFile();
    } catch (const std::exception &error) {
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw DatabaseError(error.what());
    }
    auto sql = std::make_unique<Sql>(database, dialect(), &writers_, logSync_.get());
    if (dialect() == Dialect::Sqlite) {
        // WAL lets readers go on while one call writes. No memory map: a connection drops its whole map
        // whenever another one wrote since its last call, and the unmapping halts every core (a TLB
        // shootdown) for a few percent less copying on a long list. The gate never waits for the write
        // lock: a call that cannot have it at once reads alone.
        sql->executeScript(
            QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = %1; "
                           "PRAGMA foreign_keys = ON; PRAGMA mmap_size = 0;%2")
                .arg(commits_ == Commits::EachSynced ? QStringLiteral("FULL") : QStringLiteral("NORMAL"),
                     use == Use::Gate ? QStringLiteral(" PRAGMA busy_timeout = 0;") : QString()));
    }
    if (dialect() == Dialect::Postgresql) {
        // Sorts and hashes get 32 MB before PostgreSQL sends them to disk (its default is 4 MB), so that a
        // call that joins or orders many wide rows stays in memory. A connection runs one statement at a
        // time.
        // A call waits at most a minute for a lock another transaction holds (LOCK TABLE from psql, a long
        // import of the same account): PostgreSQL would wait for ever, and the client, which gives up at five
        // minutes, would be told of a failure while the call went on to write once the lock went.
        sql->executeScript(QStringLiteral("SET work_mem = '32MB'; SET lock_timeout = '60s'"));
    }
    threadConnections.entries.push_back({id_, use, name, std::move(sql)});
    return *threadConnections.entries.back().sql;
}

} // namespace bco::server
