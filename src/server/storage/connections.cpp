#include "server/storage/database.h"

#include <algorithm>
#include <thread>

#include <QScopeGuard>

#include "server/storage/log_sync.h"

namespace bco::server {

void WriterQueue::lock() {
    std::unique_lock lock(mutex_);
    const quint64 ticket = nextTicket_++;
    turn_.wait(lock, [&] { return serving_ == ticket; });
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
        return;
    }
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

// The connections the current thread opened, one per pool; closed in the thread at its end.
struct ThreadConnections {
    struct Entry {
        quint64 pool;
        QString name;
        std::unique_ptr<Sql> sql;
    };
    std::vector<Entry> entries;

    ~ThreadConnections() {
        while (!entries.empty())
            close(entries.back().pool);
    }

    void close(quint64 pool) {
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](const Entry &entry) { return entry.pool == pool; });
        if (found == entries.end())
            return;
        const QString name = found->name;
        // The statements go before the connection they were prepared on; removing the connection closes it.
        entries.erase(found);
        QSqlDatabase::removeDatabase(name);
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
    threadConnections.close(id_);
}

void ConnectionPool::dropThisThreadIfBroken() {
    auto &entries = threadConnections.entries;
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const auto &entry) { return entry.pool == id_; });
    if (found == entries.end())
        return;
    try {
        found->sql->scalar(QStringLiteral("SELECT 1"));
    } catch (const DatabaseError &) {
        threadConnections.close(id_);
    }
}

Dialect ConnectionPool::dialect() const {
    return url_.kind == DatabaseUrl::Kind::Sqlite ? Dialect::Sqlite : Dialect::Postgresql;
}

Sql &ConnectionPool::forThisThread() {
    auto &entries = threadConnections.entries;
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const auto &entry) { return entry.pool == id_; });
    if (found != entries.end())
        return *found->sql;
    const QString name =
        QStringLiteral("bco-server-%1-%2")
            .arg(id_)
            .arg(static_cast<qulonglong>(std::hash<std::thread::id>()(std::this_thread::get_id())));
    QSqlDatabase database;
    try {
        database = openDatabase(url_, name);
    } catch (const std::exception &error) {
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw DatabaseError(error.what());
    }
    auto sql = std::make_unique<Sql>(database, dialect(), &writers_, logSync_.get());
    if (dialect() == Dialect::Sqlite) {
        // WAL lets readers go on while one call writes. No memory map: a connection drops its whole map
        // whenever another one wrote since its last call, and the unmapping halts every core (a TLB
        // shootdown) for a few percent less copying on a long list.
        sql->executeScript(
            QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = %1; "
                           "PRAGMA foreign_keys = ON; PRAGMA mmap_size = 0;")
                .arg(commits_ == Commits::EachSynced ? QStringLiteral("FULL") : QStringLiteral("NORMAL")));
    }
    if (dialect() == Dialect::Postgresql) {
        // Sorts and hashes get 32 MB before PostgreSQL sends them to disk (its default is 4 MB), so that a
        // call that joins or orders many wide rows stays in memory. A connection runs one statement at a
        // time.
        sql->executeScript(QStringLiteral("SET work_mem = '32MB'"));
    }
    entries.push_back({id_, name, std::move(sql)});
    return *entries.back().sql;
}

} // namespace bco::server
