#pragma once
// Work spread over the machine's cores: the calling thread takes part, helpers come from a pool
// kept for the life of the program, so a call costs no thread creation.
#include <cstddef>
#include <functional>
#include <future>

// The threads the machine runs at once (at least 1).
int MachineThreads();

// Two sets of helpers, so that work someone waits for never queues behind work that runs while
// the caller goes on with something else.
enum class TWorkPool { Waited, Background };

// Runs body(i) for every i in 0 .. count - 1 on at most `threads` threads (0: MachineThreads()),
// the caller's among them, in no particular order; returns when every call has returned. The first
// exception a call raises is raised again here once the others have stopped (indices not yet
// started are then skipped).
void ParallelFor(int threads, size_t count, const std::function<void(size_t)>& body,
                 TWorkPool pool = TWorkPool::Waited);

// Runs work once on a helper of the pool and returns at once; the future tells when it has
// ended and carries what it raised. Work may itself call ParallelFor on the same pool.
std::future<void> RunInBackground(std::function<void()> work, TWorkPool pool);
