#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "server/transport/serial_executor.h"

namespace bco::server {
namespace {

// Callers on many threads: every task runs, never two at once, all on one thread that is none of theirs.
TEST(SerialExecutorTest, RunsTheTasksOfManyCallersOneAtATimeOnItsOwnThread) {
    SerialExecutor executor;
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    int ran = 0; // unguarded on purpose: the executor alone keeps its increments apart
    std::vector<std::thread::id> taskThreads;
    std::vector<std::thread> callers;
    for (int c = 0; c < 8; ++c) {
        callers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                std::thread::id ranOn;
                executor.run([&] {
                    if (running.fetch_add(1) != 0)
                        ++overlaps;
                    ++ran;
                    ranOn = std::this_thread::get_id();
                    taskThreads.push_back(ranOn);
                    running.fetch_sub(1);
                });
                // run() returned: the task is over, and what it wrote is visible here.
                EXPECT_NE(ranOn, std::this_thread::get_id());
            }
        });
    }
    for (std::thread &caller : callers)
        caller.join();
    EXPECT_EQ(ran, 1600);
    EXPECT_EQ(overlaps, 0);
    for (const std::thread::id &thread : taskThreads)
        EXPECT_EQ(thread, taskThreads.front());
}

TEST(SerialExecutorTest, AFailingTaskThrowsInItsCallerAndTheNextOneStillRuns) {
    SerialExecutor executor;
    EXPECT_THROW(executor.run([] { throw std::runtime_error("refused"); }), std::runtime_error);
    bool ran = false;
    executor.run([&] { ran = true; });
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace bco::server
