#include <thread>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "server/storage/database.h"
#include "server/storage/log_sync.h"

namespace bco::server::testing {
namespace {

// What the group sync does with the log it is given: a log on disk is synced for every caller at once; no log
// means the database does not run in WAL mode and there is nothing to sync; a log it cannot open is a
// failure of the call that waited for it, and the next caller tries again.
TEST(LogSyncTest, SyncsWhatThereIsAndFailsOnALogItCannotSync) {
    QTemporaryDir folder;
    QFile log(folder.filePath(QStringLiteral("bco.db-wal")));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("frames");
    log.close();
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("pasta.db-wal")));

    LogSync present(log.fileName());
    std::vector<std::thread> callers;
    std::atomic<int> synced{0};
    for (int i = 0; i < 8; ++i) {
        callers.emplace_back([&] {
            for (int j = 0; j < 20; ++j) {
                present.sync();
                ++synced;
            }
        });
    }
    for (std::thread &caller : callers)
        caller.join();
    EXPECT_EQ(synced, 160);

    LogSync absent(folder.filePath(QStringLiteral("nenhum.db-wal")));
    EXPECT_NO_THROW(absent.sync());

    LogSync unusable(folder.filePath(QStringLiteral("pasta.db-wal")));
    EXPECT_THROW(unusable.sync(), DatabaseError);
    EXPECT_THROW(unusable.sync(), DatabaseError);
}

} // namespace
} // namespace bco::server::testing
