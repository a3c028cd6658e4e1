#include "render/ParallelFor.h"

#include "platform/VectorState.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Helper threads kept for the life of the program, waiting for work on one queue. Our own rather
// than Qt's global pool: whatever else queues there never delays the render, and the render never
// delays it.
class THelperPool {
public:
    THelperPool(int threads, std::chrono::microseconds spin) : spin_(spin)
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
    // The same work for `copies` helpers, with one wake-up call for all of them.
    void Post(const std::function<void()>& work, size_t copies)
    {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            for (size_t k = 0; k < copies; ++k)
                queue_.push_back(work);
            queued_.store(queue_.size(), std::memory_order_relaxed);
        }
        if (copies == 1)
            wake_.notify_one();
        else
            wake_.notify_all();
    }

private:
    void Run()
    {
        for (;;) {
            // Work that comes a fraction of a millisecond apart (a render's lines) finds a helper
            // that has just finished still looking for more, not asleep and waiting to be woken.
            const auto until = std::chrono::steady_clock::now() + spin_;
            for (int k = 0; spin_.count() > 0 && queued_.load(std::memory_order_relaxed) == 0; ++k) {
                if (k % 64 == 63 && std::chrono::steady_clock::now() > until)
                    break;
                std::this_thread::yield();
            }
            std::function<void()> work;
            {
                std::unique_lock<std::mutex> hold(lock_);
                wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                work = std::move(queue_.front());
                queue_.pop_front();
                queued_.store(queue_.size(), std::memory_order_relaxed);
            }
            work();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::atomic<size_t> queued_{0}; // the queue's length, read without the lock
    const std::chrono::microseconds spin_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

THelperPool& HelperPool(TWorkPool which)
{
    // Work that is waited for keeps its helpers looking for more for a moment; work that runs
    // while its caller goes on (long batches) lets them sleep at once, leaving the cores to others.
    // Background work (a batch of texels) runs on a helper and spreads itself over the others
    // with ParallelFor: that pool has one helper more, so the spread still reaches every core.
    static THelperPool waited(MachineThreads() - 1, std::chrono::microseconds(150));
    static THelperPool background(MachineThreads(), std::chrono::microseconds(0));
    return which == TWorkPool::Waited ? waited : background;
}

} // namespace

int MachineThreads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

void StartHelperThreads()
{
    HelperPool(TWorkPool::Waited);
    HelperPool(TWorkPool::Background);
}

namespace {

// One ParallelFor call as its helpers see it. A helper that starts after the work has run out
// leaves at once without touching the caller's stack, so the caller waits only for the helpers
// that joined in, not for every posted one to wake.
struct TSharedLoop {
    std::atomic<size_t> Next{0};
    size_t Count = 0;
    size_t Grain = 1; // indices taken at a time: small bodies would queue on the shared counter
    const std::function<void(size_t)>* Body = nullptr;
    std::atomic<bool> Closed{false}, Failed{false};
    std::atomic<int> Active{0};
    std::mutex FailureLock;
    std::exception_ptr Failure;

    void Work()
    {
        // Whatever ran on this thread before (a driver, the window system, the thread it was
        // cloned from) may have left the wide vector registers' upper halves in use, which slows
        // every scalar floating-point instruction of the body.
        ClearUpperVectorState();
        for (;;) {
            if (Failed.load(std::memory_order_relaxed))
                return;
            const size_t first = Next.fetch_add(Grain, std::memory_order_relaxed);
            if (first >= Count)
                return;
            const size_t last = std::min(Count, first + Grain);
            try {
                for (size_t i = first; i < last && !Failed.load(std::memory_order_relaxed); ++i)
                    (*Body)(i);
            } catch (...) {
                const std::lock_guard<std::mutex> hold(FailureLock);
                if (!Failure)
                    Failure = std::current_exception();
                Failed.store(true, std::memory_order_relaxed);
            }
        }
    }
    void Help()
    {
        // Joining and closing are both sequentially consistent: either this helper sees the loop
        // closed, or the caller sees it active and waits for it.
        Active.fetch_add(1);
        if (!Closed.load())
            Work();
        if (Active.fetch_sub(1) == 1)
            Active.notify_all();
    }
};

} // namespace

void ParallelFor(int threads, size_t count, const std::function<void(size_t)>& body, TWorkPool which)
{
    if (count == 0)
        return;
    if (threads <= 0)
        threads = MachineThreads();
    const size_t helpers = std::min<size_t>(static_cast<size_t>(threads - 1), count - 1);

    const auto loop = std::make_shared<TSharedLoop>();
    loop->Count = count;
    loop->Grain = std::max<size_t>(1, count / ((helpers + 1) * 8));
    loop->Body = &body;
    if (helpers > 0)
        HelperPool(which).Post([loop] { loop->Help(); }, helpers);
    loop->Work();
    loop->Closed.store(true);
    for (int active = loop->Active.load(); active != 0; active = loop->Active.load())
        loop->Active.wait(active);
    if (loop->Failure)
        std::rethrow_exception(loop->Failure);
}

bool ParallelForInBands(int threads, size_t count, size_t cellsPerIndex, const std::function<bool(size_t first)>& before,
                        const std::function<void(size_t)>& body)
{
    const size_t band = std::max<size_t>(1, 65536 / std::max<size_t>(1, cellsPerIndex));
    for (size_t first = 0; first < count; first += band) {
        if (!before(first))
            return false;
        ParallelFor(threads, std::min(band, count - first), [&](size_t k) { body(first + k); });
    }
    return true;
}

std::future<void> RunInBackground(std::function<void()> work, TWorkPool which)
{
    auto task = std::make_shared<std::packaged_task<void()>>([work = std::move(work)] {
        ClearUpperVectorState();
        work();
    });
    std::future<void> ended = task->get_future();
    HelperPool(which).Post([task] { (*task)(); }, 1);
    return ended;
}
