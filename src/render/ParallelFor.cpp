#include "render/ParallelFor.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <exception>
#include <latch>
#include <mutex>

namespace {

QThreadPool& HelperPool()
{
    // Not Qt's global pool: whatever else queues there never delays the render, and the render
    // never delays it.
    static QThreadPool pool;
    static std::once_flag sized;
    std::call_once(sized, [] { pool.setMaxThreadCount(std::max(1, MachineThreads() - 1)); });
    return pool;
}

} // namespace

int MachineThreads() { return std::max(1, QThread::idealThreadCount()); }

void ParallelFor(int threads, size_t count, const std::function<void(size_t)>& body)
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
    QThreadPool& pool = HelperPool();
    for (size_t k = 0; k < helpers; ++k)
        pool.start([&] {
            work();
            done.count_down();
        });
    work();
    done.wait();
    if (failure)
        std::rethrow_exception(failure);
}
