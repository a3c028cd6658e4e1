#pragma once
// The lines of a traversal planned on a helper thread, one after the other (a line's plan may read
// what the line before it left) and at most `depth` lines ahead of the one being drawn. The
// drawing thread can hold the planning between two lines, for example while it lets messages run
// that may change what the planning reads.
#include <condition_variable>
#include <exception>
#include <functional>
#include <future>
#include <mutex>

class TLinePlanner {
public:
    // Starts planning lines 0 .. lines - 1 with plan(line).
    TLinePlanner(int lines, int depth, std::function<void(int)> plan);
    // Whatever ends the traversal, the planning (which may use the caller's objects) ends first.
    ~TLinePlanner();
    TLinePlanner(const TLinePlanner&) = delete;
    TLinePlanner& operator=(const TLinePlanner&) = delete;
    // Until line `step` is planned; raises what its planning raised.
    void WaitFor(int step);
    // Line `step` is drawn: its plan may be reused.
    void Drawn(int step);
    // Until no line is being planned, and none starts before Release.
    void Hold();
    void Release();

private:
    void Run();

    const int lines_, depth_;
    const std::function<void(int)> plan_;
    std::mutex lock_;
    std::condition_variable changed_;
    int planned_ = 0, drawn_ = 0;
    bool held_ = false, busy_ = false, stop_ = false;
    std::exception_ptr failure_;
    std::future<void> running_;
};
