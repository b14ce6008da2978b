#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>

#include <QString>

#include "server/storage/database.h"

namespace bco::server {

// The operators' sessions and their logins, kept in the database so that every server on it shares them: a
// token from one server opens the calls of another, a session outlives a restart, and a logout or an expiry
// holds everywhere at once. A token is 32 random bytes in hexadecimal, handed out by Login and carried as
// "Authorization: Bearer <token>"; the table SESSAO keeps only its SHA-256. A session ends after
// `idleLimit` without calls, or at Logout. Its only state of its own is the count of answers being held:
// safe from every worker thread.
//
// Wrong passwords in a row for one operator code (table LOGINFALHA) hold the answer to the next login for
// that code ever longer, from `loginDelayStep` doubling up to `loginDelayLimit`, whether or not the operator
// exists; a right password clears them, and they are forgotten after `failureMemory` without another. A held
// answer keeps its worker waiting, so at most `mostHeldLogins` are held at once: a login that would be held
// beyond them is refused at once, its password unread and uncounted, since wrong logins sent side by side
// would otherwise hold every worker and leave every other caller waiting. One code holds at most half of
// them (one at least), so that wrong logins sent for one operator leave the others, who may have mistyped
// once, room to be held and let in.
class SessionStore {
public:
    struct Options {
        std::chrono::milliseconds idleLimit = std::chrono::hours(12);
        std::chrono::milliseconds loginDelayStep = std::chrono::milliseconds(250);
        std::chrono::milliseconds loginDelayLimit = std::chrono::seconds(4);
        std::chrono::milliseconds failureMemory = std::chrono::minutes(15);
        int mostHeldLogins = 4;
    };

    SessionStore();
    explicit SessionStore(Options options);

    const Options &options() const { return options_; }

    // A new session of the operator, written in the caller's writing transaction; answers its token.
    QString open(Sql &sql, const QString &operatorCode);
    // The operator of a live session (which is kept alive); nullopt for an unknown or expired token, and for
    // the session of an operator made inactive since. Runs outside any transaction. Throws DatabaseError; on
    // SQLite, a session that cannot be kept alive while another writer holds the file is let in as it is.
    std::optional<QString> operatorFor(Sql &sql, const QString &token);
    void close(Sql &sql, const QString &token);

    // How long to hold the answer to a login for `operatorCode` after its wrong passwords in a row, and how
    // many those are.
    struct LoginHold {
        int failures = 0;
        std::chrono::milliseconds delay{0};
    };
    LoginHold loginHold(Sql &sql, const QString &operatorCode);
    // Waits out `hold` for a login of `operatorCode` when fewer than `mostHeldLogins` are being held, and
    // fewer than half of them for that code; false, at once, when that many are.
    bool waitOut(const LoginHold &hold, const QString &operatorCode);
    int heldLogins() const { return heldLogins_.load(); }
    // Counts one more wrong password for the code, or clears its count after a right one; in the caller's
    // writing transaction.
    void recordLoginFailure(Sql &sql, const QString &operatorCode);
    void clearLoginFailures(Sql &sql, const QString &operatorCode);

    // Milliseconds since 1970 UTC, the time every server writes into the shared tables.
    static qint64 now();

private:
    Options options_;
    std::atomic<int> heldLogins_{0};
    std::mutex holding_; // over the counts below and the changes of heldLogins_
    std::map<QString, int> heldByCode_;
};

} // namespace bco::server
