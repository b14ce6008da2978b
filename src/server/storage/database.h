#pragma once

#include <functional>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QByteArrayView>
#include <QDate>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include "framework/data/data_packet.h"
#include "framework/data/database_url.h"
#include "server/storage/companion.h"

namespace bco::server {

enum class Dialect { Sqlite, Postgresql };

// A failure of the database itself (not a business refusal): the driver's message and what was running.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The database was held by another writer (another program on the SQLite file, a lock taken on PostgreSQL)
// past the time a call waits for it, or PostgreSQL ended the transaction to break a deadlock: nothing of the
// call was written, and the same call may well go through a moment later.
class DatabaseBusy : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// PostgreSQL ended the transaction to break a deadlock with other transactions (another program's among
// them, which may take its locks in any order): nothing of the call was written, and running it again meets
// them no more.
class DatabaseDeadlock : public DatabaseBusy {
public:
    using DatabaseBusy::DatabaseBusy;
};

// A sum the database keeps (an account's credits or debits of a day or a month, in cents) would pass the
// largest integer it holds: the statement failed and nothing of the call was written; the same call fails
// again.
class DatabaseValueTooLarge : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// Named parameters of a statement (":NAME" in the text). Values are QString, qint64, double, QDate, bool or
// a null QVariant; a null QDate binds as NULL.
using SqlParams = std::vector<std::pair<QString, QVariant>>;

// One column of a packet built from a query, in the order the query selects them. `Cents` reads an integer
// column of cents and gives the packet a floating-point amount.
struct Column {
    enum class Kind { Text, Integer, Float, Cents, Date, Boolean };
    QString name;
    Kind kind = Kind::Text;
    int size = 0;
};
using Columns = QList<Column>;

// Values a packet takes from another table by a key its query selects, instead of a join that would look the
// other table up once per row: the names of the entry types, branches and companies (a handful of rows read
// whole against 100,000 entries), the bank movements of the entries (read in one pass along their key), the
// customers and suppliers (each looked up once however many entries name it). A row of the query finds its
// values by the text of its column `keyColumn`. The rows the catalogue's own query read are in `rows`, each
// a record of the values of the packet's `fields` in the packet's form followed by the key, found through
// `read`, their keys in key order (each key views its row's bytes) with their place in `rows`,
// by bisection after a look at the place that follows the last key found, so that packet rows that name the
// keys in order (the entries of a period and their movements) find each at once; a key read twice keeps
// its first row. A key that `read` lacks is looked up with `lookup` (run with `lookupParams` and the key as
// :chave) when there is one, and what it finds, a record of the values of the packet's `fields` in the
// packet's form followed by the key (which the hash's key views), or that it finds nothing (an invalid
// record under a key of its own), is kept in `lookedUp` for the next row that names the key. A row whose
// key is null or found nowhere gets nulls, as a left join gives them, or is left out when `required`, as an
// inner join leaves it out. Keys are compared byte for byte, as both databases compare these codes.
struct CatalogueRows;
struct Catalogue {
    int keyColumn = 0;
    QList<int> fields;
    bool required = false;
    std::shared_ptr<const CatalogueRows> rows;
    std::vector<std::pair<QByteArrayView, int>> read;
    QHash<QByteArray, Record> lookedUp;
    QString lookup;
    SqlParams lookupParams;
    // Where in `read` the last key was found.
    std::size_t lastFound = 0;
};

// The field definitions of a packet with these columns, and such a packet without rows (what a method
// answers when it finds nothing: the forms still see the fields).
FieldDefs fieldsOf(const Columns &columns);
DataPacket emptyPacket(const Columns &columns);

// The current row of a running query. Text is read as UTF-8 bytes, valid until the next row.
class SqlRow {
public:
    virtual ~SqlRow() = default;
    virtual bool isNull(int column) const = 0;
    virtual QByteArrayView utf8(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QDate date(int column) const = 0;
    QString text(int column) const { return QString::fromUtf8(utf8(column)); }
};

// A lock handed out in the order it was asked for. A plain mutex lets a thread that unlocks and locks again
// at once keep winning, so under clients that call without pause one of them could wait without end.
class WriterQueue {
public:
    void lock();
    // Takes the lock only when nobody holds it or waits for it.
    bool try_lock();
    void unlock();

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    quint64 nextTicket_ = 0;
    quint64 serving_ = 0;
};

// Makes the commits of a SQLite database durable in groups (log_sync.h).
class LogSync;

// One open connection, used by one thread. Statements run with bound parameters only, straight on the
// driver's handle (sqlite3, libpq): the entry list of 100,000 rows must be read and packed in a fraction of
// a second, which Qt's per-value QVariant conversions do not allow. QtSql only opens the connection.
class Sql {
public:
    // `writers`, when given, is held by every writing transaction of the connection (see begin()); `logSync`,
    // when given, makes each writing commit wait until it is on disk.
    Sql(QSqlDatabase database, Dialect dialect, WriterQueue *writers = nullptr, LogSync *logSync = nullptr);
    ~Sql();
    Sql(const Sql &) = delete;
    Sql &operator=(const Sql &) = delete;

    Dialect dialect() const { return dialect_; }
    QSqlDatabase database() const { return database_; }

    // What ends a SELECT whose rows the writing transaction must hold until it ends, so that no other writer
    // changes them between this read and the writes that depend on it: " FOR UPDATE" on PostgreSQL (" FOR
    // UPDATE OF <alias>" to hold only the rows of one table of a join); nothing on SQLite, whose writing
    // transaction holds the whole database from its start.
    QString forUpdate(QStringView alias = {}) const;
    // What ends a SELECT of rows another program may be changing (an accounting period being closed) whose
    // reading must wait for that change and see it: " FOR SHARE" on PostgreSQL in a writing transaction,
    // nothing else (a reading transaction sees one state throughout; SQLite's writers take turns).
    QString forShare() const;

    // Runs one statement; answers the number of rows it changed.
    qint64 execute(const QString &sql, const SqlParams &params = {});
    // SQLite only: runs one statement whose parameters are anonymous ("?"), the first value bound to the
    // first of them and so on, as execute() binds a value. A statement that writes hundreds of rows binds
    // thousands of values, and SQLite finds a named parameter by walking the list of the statement's names.
    qint64 executeInOrder(const QString &sql, std::span<const QVariant> values);
    qint64 executeInOrder(const QString &sql, const QVariantList &values) {
        return executeInOrder(
            sql, std::span<const QVariant>(values.constData(), static_cast<size_t>(values.size())));
    }
    // PostgreSQL only: writes rows into `table` through COPY, `values` holding row after row in the order of
    // `columns`, each value as execute() binds it. Rows fire the table's triggers as an INSERT's do; answers
    // how many were written. PostgreSQL reads each value once, by its column's position, with no statement
    // to plan.
    qint64 copyRows(const QString &table, const QStringList &columns, std::span<const QVariant> values);
    // Runs several statements separated by semicolons (a migration); no parameters.
    void executeScript(const QString &script);
    // Calls `row` for each row of the query.
    void forEach(const QString &sql, const SqlParams &params, const std::function<void(const SqlRow &)> &row);
    // The first column of the first row; nullopt when there is no row.
    std::optional<QVariant> scalar(const QString &sql, const SqlParams &params = {});
    // The rows of the query as a packet with the given columns (one per selected column, in order).
    DataPacket packet(const QString &sql, const SqlParams &params, const Columns &columns);
    // As above, the catalogues filling the fields they name: the query selects every other field, in order,
    // and the catalogues' keys among them. What a catalogue looks up stays in it for the next packet.
    DataPacket packet(const QString &sql, const SqlParams &params, const Columns &columns,
                      const std::vector<Catalogue *> &catalogues);
    // A catalogue of the packet's `columns` read from a query whose first column is the key and whose other
    // columns are the values of `fields`, in order; `lookup` (with the same columns and :chave for the key)
    // answers keys that the query did not read. A query that is empty reads nothing at first.
    Catalogue catalogue(const QString &sql, const SqlParams &params, const Columns &columns, int keyColumn,
                        QList<int> fields, bool required, const QString &lookup = {},
                        const SqlParams &lookupParams = {});

    // A transaction for one call. A writing transaction takes the database's write lock at once (SQLite's
    // BEGIN IMMEDIATE), so that two calls never both read and then fail to write. On SQLite the writers of
    // this process also queue on `writers` first: SQLite's own lock makes a waiting writer sleep and poll,
    // which under many concurrent calls costs far more than the writes themselves.
    void begin(bool writing);
    void commit();
    // As commit(), but leaves the wait for the disk to the caller: answers what to sync() before telling
    // anyone that the commit is durable, or nullptr when nothing is left to wait for. The connection can go
    // on to the next transaction meanwhile.
    LogSync *commitLeavingSync();
    void rollback();
    // Between begin() and the commit() or rollback() that ends it.
    bool inTransaction() const { return inTransaction_; }
    // Whether the connection, idle between calls, was dropped by its server meanwhile (PostgreSQL restarted,
    // an administrator ended its backend): the first statement of the next call would fail on it.
    bool lostWhileIdle() const;
    bool inWritingTransaction() const { return inTransaction_ && writingTransaction_; }
    // Whether the SQLite transaction has fixed what it sees: it did at its first read, not at its BEGIN.
    bool sqliteSnapshotTaken() const;
    // Fixes what the SQLite transaction sees, by reading.
    void takeSqliteSnapshot();

private:
    // On SQLite, refuses (DatabaseError) to go on with a connection whose file was deleted, moved or
    // replaced since it was opened: what it wrote would go to a file no one will read again.
    void refuseIfTheFileMoved();

    struct SqliteStatement;
    struct PostgresStatement;
    struct Cache;

    QSqlDatabase database_;
    Dialect dialect_;
    void *sqlite_ = nullptr;   // sqlite3*, owned by the Qt driver
    void *postgres_ = nullptr; // PGconn*, owned by the Qt driver
    WriterQueue *writers_;
    LogSync *logSync_;
    std::unique_lock<WriterQueue> writing_;
    bool inTransaction_ = false;
    bool writingTransaction_ = false;
    // Statements prepared once per text and reused: a call runs the same few texts many times.
    std::unique_ptr<Cache> cache_;
};

// Where the server's database lives, and the connections to it: one per thread that asks (a QSqlDatabase
// belongs to the thread that opened it), opened on first use and closed when the thread ends or the pool is
// destroyed, whichever comes first.
//
// On SQLite a writing commit is durable: it survives a power cut once it answered. By default the log is
// synced in groups (LogSync); `Commits::EachSynced` syncs each commit on its own (synchronous FULL), and
// `Commits::NotSynced` leaves the last commits to the next checkpoint (NORMAL alone): both only to measure
// what durability costs. PostgreSQL keeps its own settings, durable by default.
enum class Commits { GroupSynced, EachSynced, NotSynced };

class ConnectionPool {
public:
    explicit ConnectionPool(DatabaseUrl url, Commits commits = Commits::GroupSynced);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool &) = delete;
    ConnectionPool &operator=(const ConnectionPool &) = delete;

    const DatabaseUrl &url() const { return url_; }
    Dialect dialect() const;
    // The calling thread's connection. Throws DatabaseError when the database cannot be opened.
    Sql &forThisThread();
    // A companion that reads in the snapshot of `sql`, this thread's connection in a transaction that only
    // reads (see Companion); nullptr when none can join it at once: each is lent, a writer holds the
    // database, the transaction writes or, on SQLite (which cannot hand a snapshot over), has read already,
    // or a companion's connection cannot be had. A caller given none reads everything itself.
    std::unique_ptr<Companion> companionFor(Sql &sql);
    // After a database error: closes the calling thread's connections, so that the next call opens new ones
    // instead of failing for ever on what the failure may have left: a backend the server restarted or the
    // network dropped, a SQLite connection opened read-only while the file was, or one to a file deleted or
    // replaced since.
    void dropThisThreadAfterFailure();

    // What a thread's connection is for: the calls it runs, or (on a companion's thread, on SQLite) holding
    // the write lock for the moment two transactions start, so that no commit comes between them.
    enum class Use { Calls, Gate };

private:
    Sql &forThisThread(Use use);
    void closeThisThreadGate();
    Companion::Worker *lendWorker();
    bool joinSqlite(Sql &sql, Companion::Worker &worker);
    bool joinPostgres(Sql &sql, Companion::Worker &worker);

    DatabaseUrl url_;
    Commits commits_;
    quint64 id_;
    WriterQueue writers_;
    std::unique_ptr<LogSync> logSync_;
    // On SQLite: the file the pool's first connection opened (or made), by device and inode. Later
    // connections open that file only. One finding no file means it was deleted or moved under the server,
    // and an empty database made in its place would lose the books; another file put at the path would be
    // read through the log the old one left beside it, the two merged into neither.
    std::mutex fileMutex_;
    std::optional<std::pair<quint64, quint64>> file_;
    OpenMode sqliteOpenMode();
    void rememberSqliteFile();
    std::mutex companionsMutex_;
    std::vector<std::unique_ptr<Companion::Worker>> companions_;
};

} // namespace bco::server
