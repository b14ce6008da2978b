#include "server/sessions.h"

#include <QRandomGenerator>

namespace bco::server {

SessionStore::SessionStore(std::chrono::seconds idleLimit)
    : idleLimit_(idleLimit) {
}

QString SessionStore::open(const QString &operatorCode) {
    QByteArray bytes(32, '\0');
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    const QString token = QString::fromLatin1(bytes.toHex());
    const std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    // Expired sessions are dropped here, so the table never grows past the live ones for long.
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (now - it->lastUse > idleLimit_)
            it = sessions_.erase(it);
        else
            ++it;
    }
    sessions_.insert(token, {operatorCode, now});
    return token;
}

std::optional<QString> SessionStore::operatorFor(const QString &token) {
    const std::lock_guard lock(mutex_);
    const auto found = sessions_.find(token);
    if (found == sessions_.end())
        return std::nullopt;
    const auto now = Clock::now();
    if (now - found->lastUse > idleLimit_) {
        sessions_.erase(found);
        return std::nullopt;
    }
    found->lastUse = now;
    return found->operatorCode;
}

void SessionStore::close(const QString &token) {
    const std::lock_guard lock(mutex_);
    sessions_.remove(token);
}

} // namespace bco::server
