#include "render/WorkGate.h"

// A piece counts itself in before it looks at the gate and a closer closes before it counts the
// pieces (both sequentially consistent): either the piece sees the gate closed and backs out, or
// the closer sees the piece and waits for it.

void TWorkGate::Enter()
{
    for (;;) {
        passing_.fetch_add(1);
        if (closers_.load() == 0)
            return;
        Leave();
        for (int closers = closers_.load(); closers != 0; closers = closers_.load())
            closers_.wait(closers);
    }
}

void TWorkGate::Leave()
{
    if (passing_.fetch_sub(1) == 1)
        passing_.notify_all();
}

void TWorkGate::Close()
{
    closers_.fetch_add(1);
    for (int passing = passing_.load(); passing != 0; passing = passing_.load())
        passing_.wait(passing);
}

void TWorkGate::Open()
{
    if (closers_.fetch_sub(1) == 1)
        closers_.notify_all();
}
