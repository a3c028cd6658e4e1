#include "render/RenderPreparation.h"

#include "project/Project.h"
#include "render/ParallelFor.h"
#include "render/TexelAtlas.h"

#include <future>
#include <mutex>

namespace {

struct TPreparation {
    std::mutex Lock;
    std::future<void> Running;
};

TPreparation& Preparation()
{
    // Never destroyed: the preparation may still run while the program ends.
    static TPreparation* preparation = new TPreparation;
    return *preparation;
}

} // namespace

void PrepareRenderingAhead()
{
    TPreparation& p = Preparation();
    const std::lock_guard<std::mutex> hold(p.Lock);
    if (p.Running.valid())
        return;
    p.Running = RunInBackground(
        [] {
            try {
                StartHelperThreads();
                PrepareLayerBitmap();
                // The renderer fills two batches of sub-quads in turn.
                TTexelAtlas::PrepareMemory(2);
            } catch (...) {
                // Short of memory now: the render makes what it needs when it needs it.
            }
        },
        TWorkPool::Background);
}

void WaitForRenderPreparation()
{
    TPreparation& p = Preparation();
    const std::lock_guard<std::mutex> hold(p.Lock);
    if (p.Running.valid())
        p.Running.wait();
}

void ReleaseRenderPreparation()
{
    TPreparation& p = Preparation();
    {
        const std::lock_guard<std::mutex> hold(p.Lock);
        if (p.Running.valid())
            p.Running.get();
        p.Running = {};
    }
    ReleasePreparedLayerBitmap();
    TTexelAtlas::ReleasePreparedMemory();
}
