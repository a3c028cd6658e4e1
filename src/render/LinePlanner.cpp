#include "render/LinePlanner.h"

#include "render/ParallelFor.h"

TLinePlanner::TLinePlanner(int lines, int depth, std::function<void(int)> plan)
    : lines_(lines), depth_(depth), plan_(std::move(plan))
{
    running_ = RunInBackground([this] { Run(); }, TWorkPool::Waited);
}

TLinePlanner::~TLinePlanner()
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    running_.wait();
}

void TLinePlanner::WaitFor(int step)
{
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return planned_ > step || failure_; });
    if (planned_ <= step)
        std::rethrow_exception(failure_);
}

void TLinePlanner::Drawn(int step)
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        drawn_ = step + 1;
    }
    changed_.notify_all();
}

void TLinePlanner::Hold()
{
    std::unique_lock<std::mutex> hold(lock_);
    held_ = true;
    changed_.wait(hold, [&] { return !busy_; });
}

void TLinePlanner::Release()
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        held_ = false;
    }
    changed_.notify_all();
}

void TLinePlanner::Run()
{
    for (int step = 0; step < lines_; ++step) {
        {
            std::unique_lock<std::mutex> hold(lock_);
            changed_.wait(hold, [&] { return stop_ || (!held_ && step - drawn_ < depth_); });
            if (stop_)
                return;
            busy_ = true;
        }
        std::exception_ptr failure;
        try {
            plan_(step);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> hold(lock_);
            busy_ = false;
            if (failure)
                failure_ = failure;
            else
                planned_ = step + 1;
        }
        changed_.notify_all();
        if (failure)
            return;
    }
}
