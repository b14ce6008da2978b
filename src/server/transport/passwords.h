#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace bco::server {

// How an operator's password is kept (table OPERSENHA): PBKDF2-HMAC-SHA256 of the UTF-8 password with a
// random 16-byte salt, a 32-byte key, and the number of rounds stored beside it so that it can grow.
struct StoredPassword {
    QByteArray salt; // raw bytes
    QByteArray hash; // raw bytes
    int iterations = 0;
};

inline constexpr int DefaultPasswordIterations = 20000;

QByteArray pbkdf2Sha256(QByteArrayView password, QByteArrayView salt, int iterations, int keyLength);
StoredPassword hashPassword(const QString &password, int iterations = DefaultPasswordIterations);
// Compares in time that does not depend on where the hashes differ.
bool passwordMatches(const QString &password, const StoredPassword &stored);

} // namespace bco::server
