#include "render/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Helper threads kept for the life of the program, waiting for work on one queue. Our own rather
// than Qt's global pool: whatever else queues there never delays the render, and the render never
// delays it.
class THelperPool {
public:
    explicit THelperPool(int threads)
    {
        for (int k = 0; k < threads; ++k)
            threads_.emplace_back([this] { Run(); });
    }
    ~THelperPool()
    {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    void Post(std::function<void()> work)
    {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            queue_.push_back(std::move(work));
        }
        wake_.notify_one();
    }

private:
    void Run()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock<std::mutex> hold(lock_);
                wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

THelperPool& HelperPool(TWorkPool which)
{
    static THelperPool waited(MachineThreads() - 1);
    static THelperPool background(MachineThreads() - 1);
    return which == TWorkPool::Waited ? waited : background;
}

} // namespace

int MachineThreads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

void ParallelFor(int threads, size_t count, const std::function<void(size_t)>& body, TWorkPool which)
{
    if (count == 0)
        return;
    if (threads <= 0)
        threads = MachineThreads();
    const size_t helpers = std::min<size_t>(static_cast<size_t>(threads - 1), count - 1);

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        for (;;) {
            if (failed.load(std::memory_order_relaxed))
                return;
            const size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count)
                return;
            try {
                body(i);
            } catch (...) {
                const std::lock_guard<std::mutex> hold(failureLock);
                if (!failure)
                    failure = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
    };

    std::latch done(static_cast<std::ptrdiff_t>(helpers));
    if (helpers > 0) {
        THelperPool& pool = HelperPool(which);
        for (size_t k = 0; k < helpers; ++k)
            pool.Post([&] {
                work();
                done.count_down();
            });
    }
    work();
    done.wait();
    if (failure)
        std::rethrow_exception(failure);
}
