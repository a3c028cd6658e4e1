#include "render/ParallelFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Every index is visited exactly once, whatever the thread count asked for (one, a few, the
// machine's, more than there are indices) and in either pool.
TEST(ParallelFor, VisitsEveryIndexOnce)
{
    const size_t counts[] = {0, 1, 2, 7, 1000};
    const int threads[] = {1, 3, 0, 64};
    for (TWorkPool pool : {TWorkPool::Waited, TWorkPool::Background})
        for (size_t count : counts)
            for (int t : threads) {
                std::vector<std::atomic<int>> visits(count);
                ParallelFor(t, count, [&](size_t i) { visits[i].fetch_add(1); }, pool);
                for (size_t i = 0; i < count; ++i)
                    ASSERT_EQ(visits[i].load(), 1) << count << " " << t << " " << i;
            }
}

// One thread means the caller's alone, in order.
TEST(ParallelFor, OneThreadRunsInOrderOnTheCaller)
{
    std::vector<size_t> order;
    const std::thread::id caller = std::this_thread::get_id();
    bool elsewhere = false;
    ParallelFor(1, 50, [&](size_t i) {
        order.push_back(i);
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
    });
    ASSERT_EQ(order.size(), 50u);
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(elsewhere);
}

// A failing call is reported to the caller once every call has returned, and the pool is fit for
// the next work.
TEST(ParallelFor, AFailureReachesTheCallerAfterTheOthersStop)
{
    std::atomic<int> running{0}, finished{0};
    EXPECT_THROW(ParallelFor(4, 200,
                             [&](size_t i) {
                                 ++running;
                                 if (i == 17)
                                     throw std::runtime_error("bad cell");
                                 ++finished;
                                 --running;
                             }),
                 std::runtime_error);
    EXPECT_EQ(running.load(), 1); // only the failed call never came back
    EXPECT_LT(finished.load(), 200);
    std::atomic<int> after{0};
    ParallelFor(4, 100, [&](size_t) { ++after; });
    EXPECT_EQ(after.load(), 100);
}

// Work in the background ends on its own, and what it raises reaches whoever waits for it.
TEST(ParallelFor, BackgroundWorkCarriesItsEndAndItsFailure)
{
    std::atomic<int> done{0};
    std::future<void> ok = RunInBackground([&] { ++done; }, TWorkPool::Waited);
    std::future<void> bad = RunInBackground([] { throw std::runtime_error("bad line"); }, TWorkPool::Background);
    ok.get();
    EXPECT_EQ(done.load(), 1);
    EXPECT_THROW(bad.get(), std::runtime_error);
}

// Loops started from work that already holds every helper of the pool still end: a caller does
// its loop's work itself and never waits for helpers that have not started.
TEST(ParallelFor, LoopsInsideBackgroundWorkEndWhenEveryHelperIsTaken)
{
    for (TWorkPool pool : {TWorkPool::Waited, TWorkPool::Background}) {
        const int tasks = MachineThreads() + 2;
        std::vector<std::atomic<int>> visits(static_cast<size_t>(tasks) * 100);
        std::vector<std::future<void>> running;
        for (int t = 0; t < tasks; ++t)
            running.push_back(RunInBackground([&, t] {
                ParallelFor(0, 100, [&](size_t i) { visits[static_cast<size_t>(t) * 100 + i].fetch_add(1); }, pool);
            }, pool));
        for (std::future<void>& f : running)
            f.get();
        for (size_t i = 0; i < visits.size(); ++i)
            ASSERT_EQ(visits[i].load(), 1) << i;
    }
}

} // namespace
