#pragma once

#include <chrono>
#include <mutex>
#include <optional>

#include <QHash>
#include <QString>

namespace bco::server {

// The operators' open sessions, kept in memory: a token is 32 random bytes in hexadecimal, handed out by
// Login and carried as "Authorization: Bearer <token>". A session ends after `idleLimit` without calls, or
// when the server stops. Safe to use from every worker thread.
class SessionStore {
public:
    using Clock = std::chrono::steady_clock;

    explicit SessionStore(std::chrono::seconds idleLimit = std::chrono::hours(12));

    QString open(const QString &operatorCode);
    // The operator of a live session (and the session is kept alive); nullopt for an unknown or expired
    // token.
    std::optional<QString> operatorFor(const QString &token);
    void close(const QString &token);

private:
    struct Session {
        QString operatorCode;
        Clock::time_point lastUse;
    };

    std::chrono::seconds idleLimit_;
    std::mutex mutex_;
    QHash<QString, Session> sessions_;
};

} // namespace bco::server
