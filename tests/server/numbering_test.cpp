#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using NumberingTest = BackendTest;

// Threads drawing numbers of one account at once, each on its own connection, as the server's workers do.
TEST_P(NumberingTest, ConcurrentDrawsForOneAccountNeverShareANumber) {
    TestServer server(GetParam());
    constexpr int threads = 8;
    constexpr int drawsEach = 25;
    std::vector<std::vector<QString>> drawn(threads);
    std::vector<QString> errors(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < drawsEach; ++i) {
                const CallOutcome outcome = server.call(QStringLiteral("getPrxMovBancario"), {"001", "1"});
                if (!outcome.ok()) {
                    errors[static_cast<size_t>(t)] = outcome.error;
                    return;
                }
                drawn[static_cast<size_t>(t)].push_back(outcome.result.toText());
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    std::set<QString> distinct;
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(errors[static_cast<size_t>(t)], QString());
        distinct.insert(drawn[static_cast<size_t>(t)].begin(), drawn[static_cast<size_t>(t)].end());
    }
    ASSERT_EQ(distinct.size(), size_t(threads * drawsEach));
    // No gap either: every number between the first and the last was answered once.
    EXPECT_EQ(distinct.rbegin()->toLongLong() - distinct.begin()->toLongLong() + 1, threads * drawsEach);
}

INSTANTIATE_TEST_SUITE_P(Databases, NumberingTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
