#include "render/LinePlanner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Lines are planned in order, each before it is drawn and never more than the depth ahead of the
// last one drawn.
TEST(LinePlanner, PlansInOrderAndNoFurtherAheadThanItsDepth)
{
    for (int depth : {1, 2, 4}) {
        SCOPED_TRACE(depth);
        std::vector<int> order;
        std::atomic<int> drawn{0};
        int furthest = 0;
        {
            TLinePlanner planner(20, depth, [&](int line) {
                order.push_back(line);
                furthest = std::max(furthest, line - drawn.load());
            });
            for (int line = 0; line < 20; ++line) {
                planner.WaitFor(line);
                std::this_thread::sleep_for(std::chrono::microseconds(200)); // the drawing
                drawn = line + 1;
                planner.Drawn(line);
            }
        }
        ASSERT_EQ(order.size(), 20u);
        for (int line = 0; line < 20; ++line)
            EXPECT_EQ(order[static_cast<size_t>(line)], line);
        EXPECT_LT(furthest, depth);
    }
}

// While held, no line is being planned: the hold waits for the line under way, and the next one
// starts only after the release.
TEST(LinePlanner, HoldWaitsForTheLineUnderWayAndKeepsTheNextFromStarting)
{
    std::atomic<bool> planning{false}, held{false};
    std::atomic<int> startedWhileHeld{0};
    TLinePlanner planner(30, 30, [&](int) {
        planning = true;
        if (held)
            ++startedWhileHeld;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        planning = false;
    });
    for (int k = 0; k < 10; ++k) {
        planner.Hold();
        held = true;
        EXPECT_FALSE(planning.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(planning.load());
        held = false;
        planner.Release();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    planner.WaitFor(29);
    EXPECT_EQ(startedWhileHeld.load(), 0);
}

// A line whose planning fails raises its failure where it is waited for; the lines before it are
// there, none after it is planned, and ending early stops the planning without waiting for it.
TEST(LinePlanner, AFailureReachesTheLineThatWaitsForItAndAnEarlyEndStopsThePlanning)
{
    std::atomic<int> planned{0};
    {
        TLinePlanner planner(10, 10, [&](int line) {
            if (line == 3)
                throw std::runtime_error("line 3");
            ++planned;
        });
        planner.WaitFor(2);
        EXPECT_THROW(planner.WaitFor(3), std::runtime_error);
        EXPECT_THROW(planner.WaitFor(5), std::runtime_error);
    }
    EXPECT_EQ(planned.load(), 3);

    std::atomic<int> lines{0};
    {
        TLinePlanner planner(1000, 2, [&](int) { ++lines; });
        planner.WaitFor(0);
    } // nothing drawn: the planner waits two lines ahead until it is told to stop
    EXPECT_LE(lines.load(), 2);
}

} // namespace
