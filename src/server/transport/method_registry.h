#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "framework/data/variant.h"
#include "server/storage/database.h"

namespace bco::server {

class SessionStore;

// A business refusal: the method ran, found the request against a rule, and answers this message to the
// operator. Nothing the call wrote is kept.
class Refusal : public std::runtime_error {
public:
    explicit Refusal(const QString &message)
        : std::runtime_error(message.toStdString())
        , message_(message) {}
    const QString &message() const { return message_; }

private:
    QString message_;
};

// Refuses with the message; nothing the call wrote is kept.
[[noreturn]] inline void refuse(const QString &message) {
    throw Refusal(message);
}

// What a method may receive at one position. Text also takes null (an empty text) and Date takes null (no
// date); Number takes an integer or a floating-point number; Any takes every variant (data packets, arrays).
// Digits takes a whole number that is not negative, as an integer or as a text of decimal digits (up to 18),
// and null or an empty text (none): what a client may have received as text from a list.
enum class ArgKind { Text, Date, Number, Boolean, Digits, Any };

// The records a writing call wrote in one account, as its handler reports them for the audit trail.
struct WrittenRecords {
    QString account;     // CDREDUCONT; empty when the call wrote nothing of an account
    QStringList numbers; // the numbers of what it wrote (movement, credit, debit...), in the order reported
};

// What a handler works with: the call's connection, inside the call's transaction, and who is calling.
struct CallContext {
    Sql &sql;
    SessionStore &sessions;
    QString operatorCode; // empty for Login, the one method called without a session
    QString token;        // the caller's session token; empty for Login

    // The audit trail. Every call of a writing method leaves, in its own transaction, one row per account it
    // reports (or one row without an account when it reports none) with the operator, the time, the method,
    // the account and the numbers. A writing handler reports, once it knows them, the account and the
    // numbers of the records it wrote, in one line:
    //
    //     context.reportWrite(account, {movementNumber, creditNumber});
    //
    // It may report several times: numbers of the same account are gathered into that account's row. What
    // a refused or failed call reported is rolled back with everything else it wrote.
    void reportWrite(const QString &account, const QStringList &numbers);
    std::vector<WrittenRecords> written;

    // Added to the call's line in the server's log, never sent to the caller.
    QString logNote;

    // Lends companions (see Companion); absent where a handler runs outside the dispatcher.
    ConnectionPool *pool = nullptr;
    // A companion in the call's snapshot, asked for before the call's first read; nullptr when none is free
    // or the call writes (ConnectionPool::companionFor).
    std::unique_ptr<Companion> companion() { return pool != nullptr ? pool->companionFor(sql) : nullptr; }
};

// A handler takes the positional arguments (by-reference ones are changed in place) and answers the result.
//
// Failures: throw Refusal for a request against a business rule (the operator reads its message; HTTP 200),
// std::invalid_argument for an argument that cannot be read as the method needs (what Variant's conversions
// throw; HTTP 400). A DatabaseError or any other exception is a fault of the server: the caller gets HTTP
// 500 with a generic message and an incident number, and the server's log carries the incident's details.
using Handler = std::function<Variant(CallContext &, VariantList &)>;

// One method as it is registered, by field name, what is left out keeping its default:
//
//     registry.add({.name = QStringLiteral("GetDeletaLanc"), .args = {...}, .writes = true, .handler = f});
struct Method {
    QString name;
    std::vector<ArgKind> args = {}; // none by default
    // A writing method takes the write lock when its transaction starts, and leaves an audit row.
    //
    // Several server processes may write to one database at once, so nothing in one process's memory keeps
    // writers apart: a writing handler that reads a row to decide what it writes (a number, a balance, what
    // is left of an advance, whether a reconciliation is released) makes the database hold that row until
    // its commit. On SQLite the writing transaction holds the whole database from its start; on PostgreSQL
    // read it with SELECT ... FOR UPDATE, or write with a conditional UPDATE and check the rows it changed.
    bool writes = false;
    bool needsSession = true;
    Handler handler;
    // The dispatcher opens no transaction: the handler opens its own (Login, which waits and hashes without
    // holding any lock, and keeps the count of a wrong password while it refuses). Neither audited nor
    // locked as a writer.
    bool ownsTransactions = false;
    // How many of the last `args` a caller may leave out (a method that learnt an argument its older
    // callers do not send). The handler then receives fewer arguments: it looks at args.size().
    int optionalTrailing = 0;
};

// The methods of BCO11100.rdmLancContCorr, found by name without regard to letter case.
class MethodRegistry {
public:
    void add(Method method);
    const Method *find(const QString &name) const;
    QStringList names() const;

private:
    std::vector<Method> methods_;
    QHash<QString, size_t> byName_;
};

} // namespace bco::server
