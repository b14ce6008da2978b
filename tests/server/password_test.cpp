#include <gtest/gtest.h>

#include "server/transport/passwords.h"

namespace bco::server {
namespace {

TEST(Passwords, DeriveTheStandardPbkdf2Sha256Key) {
    // The published test vector for PBKDF2-HMAC-SHA256 (P = "passwd", S = "salt", one round, 64 bytes).
    const QByteArray key = pbkdf2Sha256("passwd", "salt", 1, 64);
    EXPECT_EQ(key.toHex(), QByteArray("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                      "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"));
}

TEST(Passwords, MatchOnlyThePasswordTheyWereMadeFrom) {
    const StoredPassword stored = hashPassword(QStringLiteral("demo"), 100);
    EXPECT_TRUE(passwordMatches(QStringLiteral("demo"), stored));
    EXPECT_FALSE(passwordMatches(QStringLiteral("Demo"), stored));
    EXPECT_FALSE(passwordMatches(QString(), stored));
}

TEST(Passwords, AreSaltedSoTheSamePasswordHashesDifferently) {
    EXPECT_NE(hashPassword(QStringLiteral("demo"), 10).hash, hashPassword(QStringLiteral("demo"), 10).hash);
}

} // namespace
} // namespace bco::server
