#include "render/WorkGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

// Closing waits for the pieces under way; while closed no piece starts; once open they go on.
TEST(WorkGate, ClosingWaitsForThePiecesUnderWayAndHoldsBackNewOnes)
{
    TWorkGate gate;
    std::atomic<int> inside{0}, insideWhileClosed{0}, done{0};
    std::atomic<bool> closed{false}, stop{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&] {
            while (!stop) {
                const TWorkGate::TPass pass(gate);
                ++inside;
                if (closed)
                    ++insideWhileClosed;
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                --inside;
                ++done;
            }
        });
    for (int round = 0; round < 50; ++round) {
        {
            const TWorkGate::TClosed hold(gate);
            closed = true;
            EXPECT_EQ(inside.load(), 0);
            const int before = done;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            EXPECT_EQ(done.load(), before);
            closed = false;
        }
        // Work goes on once the gate is open.
        const int before = done;
        while (done < before + 4)
            std::this_thread::yield();
    }
    stop = true;
    for (std::thread& t : workers)
        t.join();
    EXPECT_EQ(insideWhileClosed.load(), 0);
}

// A closing that starts while a piece runs returns only after the piece has ended; overlapping
// closings keep the gate shut until the last of them ends.
TEST(WorkGate, ClosingWaitsForThePieceAndTheLastClosingOpens)
{
    TWorkGate gate;
    std::promise<void> entered, release;
    std::atomic<bool> pieceEnded{false};
    std::thread piece([&] {
        const TWorkGate::TPass pass(gate);
        entered.set_value();
        release.get_future().wait();
        pieceEnded = true;
    });
    entered.get_future().wait();
    auto closing = std::async(std::launch::async, [&] {
        gate.Close();
        return pieceEnded.load(); // what the closer saw once it had closed
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    release.set_value();
    EXPECT_TRUE(closing.get());
    piece.join();

    gate.Close(); // a second closing while the first still holds
    std::atomic<bool> passed{false};
    std::thread late([&] {
        const TWorkGate::TPass pass(gate);
        passed = true;
    });
    gate.Open(); // the first ends: the second keeps it shut
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(passed.load());
    gate.Open();
    late.join();
    EXPECT_TRUE(passed.load());
}

} // namespace
