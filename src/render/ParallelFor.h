#pragma once
// Work spread over the machine's cores: the calling thread takes part, helpers come from a pool
// kept for the life of the program, so a call costs no thread creation.
#include <cstddef>
#include <functional>
#include <future>

// The threads the machine runs at once (at least 1).
int MachineThreads();

// Starts the helpers of both pools now rather than at their first work.
void StartHelperThreads();

// Two sets of helpers, so that work someone waits for never queues behind work that runs while
// the caller goes on with something else.
enum class TWorkPool { Waited, Background };

// Runs body(i) for every i in 0 .. count - 1 on at most `threads` threads (0: MachineThreads()),
// the caller's among them, in no particular order; returns when every call has returned. The first
// exception a call raises is raised again here once the others have stopped (indices not yet
// started are then skipped).
void ParallelFor(int threads, size_t count, const std::function<void(size_t)>& body,
                 TWorkPool pool = TWorkPool::Waited);

// ParallelFor over 0 .. count - 1 a band at a time, for grid passes whose index i stands for
// cellsPerIndex cells (a row or a column): a band is some 65536 cells, a few milliseconds of work.
// Before each band, before(first) runs on the caller (progress, messages); when it returns false
// the loop stops there. Returns whether every band ran.
bool ParallelForInBands(int threads, size_t count, size_t cellsPerIndex, const std::function<bool(size_t first)>& before,
                        const std::function<void(size_t)>& body);

// Runs work once on a helper of the pool and returns at once; the future tells when it has
// ended and carries what it raised. Work may itself call ParallelFor on the same pool.
std::future<void> RunInBackground(std::function<void()> work, TWorkPool pool);
