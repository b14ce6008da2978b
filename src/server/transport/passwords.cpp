#include "server/transport/passwords.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace bco::server {

QByteArray pbkdf2Sha256(QByteArrayView password, QByteArrayView salt, int iterations, int keyLength) {
    QByteArray key;
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password.toByteArray());
    for (quint32 block = 1; key.size() < keyLength; ++block) {
        const char counter[4] = {static_cast<char>(block >> 24), static_cast<char>(block >> 16),
                                 static_cast<char>(block >> 8), static_cast<char>(block)};
        mac.reset();
        mac.addData(salt.data(), salt.size());
        mac.addData(counter, 4);
        QByteArray u = mac.result();
        QByteArray t = u;
        for (int i = 1; i < iterations; ++i) {
            mac.reset();
            mac.addData(u);
            u = mac.result();
            for (qsizetype j = 0; j < t.size(); ++j)
                t[j] = static_cast<char>(t[j] ^ u[j]);
        }
        key.append(t);
    }
    key.truncate(keyLength);
    return key;
}

StoredPassword hashPassword(const QString &password, int iterations) {
    StoredPassword stored;
    stored.salt.resize(16);
    QRandomGenerator::system()->generate(stored.salt.begin(), stored.salt.end());
    stored.iterations = iterations;
    stored.hash = pbkdf2Sha256(password.toUtf8(), stored.salt, iterations, 32);
    return stored;
}

bool passwordMatches(const QString &password, const StoredPassword &stored) {
    if (stored.iterations <= 0 || stored.hash.isEmpty())
        return false;
    const QByteArray hash =
        pbkdf2Sha256(password.toUtf8(), stored.salt, stored.iterations, static_cast<int>(stored.hash.size()));
    unsigned char difference = 0;
    for (qsizetype i = 0; i < hash.size(); ++i)
        difference |= static_cast<unsigned char>(hash[i] ^ stored.hash[i]);
    return difference == 0;
}

} // namespace bco::server
