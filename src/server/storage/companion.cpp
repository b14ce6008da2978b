#include "server/storage/companion.h"

#include <QRegularExpression>
#include <QScopeGuard>

#include "server/storage/database.h"

namespace bco::server {

Companion::Worker::Worker(ConnectionPool &pool)
    : pool_(pool)
    , thread_([this] { loop(); }) {
}

Companion::Worker::~Worker() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Companion::Worker::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        task_ = std::move(task);
        done_ = false;
        error_ = nullptr;
    }
    changed_.notify_all();
}

void Companion::Worker::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    if (error_)
        std::rethrow_exception(std::exchange(error_, nullptr));
}

void Companion::Worker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || task_; });
        if (!task_)
            return;
        std::function<void()> task = std::exchange(task_, nullptr);
        lock.unlock();
        std::exception_ptr error;
        try {
            task();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        error_ = error;
        done_ = true;
        changed_.notify_all();
    }
}

Companion::Companion(Worker &worker)
    : worker_(worker) {
}

Companion::~Companion() {
    if (running_) {
        try {
            worker_.wait();
        } catch (...) {
            // The caller is already leaving by another failure, or never asked for this work's outcome.
        }
    }
    ConnectionPool &pool = worker_.pool();
    try {
        worker_.run([&pool] {
            Sql &own = pool.forThisThread();
            if (!own.inTransaction())
                return;
            try {
                own.rollback();
            } catch (const DatabaseError &) {
                pool.dropThisThreadAfterFailure();
            }
        });
    } catch (...) {
        // The transaction only read: nothing is lost when it cannot be ended here, and the next loan begins
        // anew on a connection that answers.
    }
    worker_.lent = false;
}

void Companion::start(std::function<void(Sql &)> work) {
    ConnectionPool &pool = worker_.pool();
    worker_.post([&pool, work = std::move(work)] { work(pool.forThisThread()); });
    running_ = true;
}

void Companion::finish() {
    running_ = false;
    worker_.wait();
}

Companion::Worker *ConnectionPool::lendWorker() {
    const std::lock_guard lock(companionsMutex_);
    for (const auto &worker : companions_)
        if (!worker->lent.exchange(true))
            return worker.get();
    // As many companions as cores: more would only share them.
    if (companions_.size() >= std::max(1U, std::thread::hardware_concurrency()))
        return nullptr;
    try {
        companions_.push_back(std::make_unique<Companion::Worker>(*this));
    } catch (const std::system_error &) {
        return nullptr;
    }
    companions_.back()->lent = true;
    return companions_.back().get();
}

std::unique_ptr<Companion> ConnectionPool::companionFor(Sql &sql) {
    if (!sql.inTransaction() || sql.inWritingTransaction())
        return nullptr;
    if (sql.dialect() == Dialect::Sqlite && sql.sqliteSnapshotTaken())
        return nullptr;
    Companion::Worker *worker = lendWorker();
    if (worker == nullptr)
        return nullptr;
    auto giveBack = qScopeGuard([worker] { worker->lent = false; });
    // From here the companion ends whatever transaction its connection began, on every path.
    auto companion = std::make_unique<Companion>(*worker);
    giveBack.dismiss();
    const bool joined =
        sql.dialect() == Dialect::Sqlite ? joinSqlite(sql, *worker) : joinPostgres(sql, *worker);
    return joined ? std::move(companion) : nullptr;
}

namespace {

// Runs `step` on the worker's thread; false when the database refused it, the companion's connection being
// left fit for the next loan. What the caller's own connection does stays out of it: its failures are the
// call's.
bool companionStep(Companion::Worker &worker, const std::function<void()> &step) {
    bool done = false;
    worker.run([&] {
        try {
            step();
            done = true;
        } catch (const DatabaseError &) {
            worker.pool().dropThisThreadAfterFailure();
        }
    });
    return done;
}

} // namespace

// SQLite starts a transaction's snapshot at its first read and cannot hand it to another connection. Both
// transactions start theirs while the gate holds the write lock, so no commit can come between them. A writer
// of this process waits for the gate as it waits for any other writer; one of another process makes the gate
// give up at once, and the call reads alone.
bool ConnectionPool::joinSqlite(Sql &sql, Companion::Worker &worker) {
    const std::unique_lock writers(writers_, std::try_to_lock);
    if (!writers.owns_lock())
        return false;
    if (!companionStep(worker,
                       [this] { forThisThread(Use::Gate).executeScript(QStringLiteral("BEGIN IMMEDIATE")); }))
        return false;
    const auto openGate = qScopeGuard([&] {
        worker.run([this] {
            try {
                forThisThread(Use::Gate).executeScript(QStringLiteral("ROLLBACK"));
            } catch (...) {
                // A gate that cannot let go would hold every writer out: closing its connection lets go.
                closeThisThreadGate();
            }
        });
    });
    sql.takeSqliteSnapshot();
    return companionStep(worker, [this] {
        Sql &own = forThisThread();
        own.begin(false);
        own.takeSqliteSnapshot();
    });
}

// PostgreSQL hands a snapshot over by name.
bool ConnectionPool::joinPostgres(Sql &sql, Companion::Worker &worker) {
    const QString snapshot =
        sql.scalar(QStringLiteral("SELECT pg_export_snapshot()")).value_or(QVariant()).toString();
    static const QRegularExpression name(QStringLiteral("^[0-9A-Fa-f-]+$"));
    if (!name.match(snapshot).hasMatch())
        return false;
    return companionStep(worker, [this, &snapshot] {
        Sql &own = forThisThread();
        own.begin(false);
        own.executeScript(QStringLiteral("SET TRANSACTION SNAPSHOT '%1'").arg(snapshot));
    });
}

} // namespace bco::server
