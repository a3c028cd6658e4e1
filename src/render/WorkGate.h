#pragma once
// A gate that work on helper threads passes piece by piece, and that the thread owning what the
// work reads can close for a while: closing waits for the pieces under way to end and holds back
// new ones until the gate opens again. The renderer's texel shading passes it sub-quad by
// sub-quad, and the drawing thread closes it while window messages run (a message may change the
// project the texels are shaded from), so a message never waits for a whole batch of texels.
#include <atomic>

class TWorkGate {
public:
    TWorkGate() = default;
    TWorkGate(const TWorkGate&) = delete;
    TWorkGate& operator=(const TWorkGate&) = delete;

    // One piece of work: waits while the gate is closed, then keeps it from closing until it ends.
    class TPass {
    public:
        explicit TPass(TWorkGate& gate) : gate_(gate) { gate_.Enter(); }
        ~TPass() { gate_.Leave(); }
        TPass(const TPass&) = delete;
        TPass& operator=(const TPass&) = delete;

    private:
        TWorkGate& gate_;
    };

    // Closed for its lifetime, once the pieces under way have ended. Closings may overlap: the
    // gate opens when the last of them ends.
    class TClosed {
    public:
        explicit TClosed(TWorkGate& gate) : gate_(gate) { gate_.Close(); }
        ~TClosed() { gate_.Open(); }
        TClosed(const TClosed&) = delete;
        TClosed& operator=(const TClosed&) = delete;

    private:
        TWorkGate& gate_;
    };

    void Enter();
    void Leave();
    void Close();
    void Open();

private:
    std::atomic<int> passing_{0}; // pieces under way (and ones backing out of a closed gate)
    std::atomic<int> closers_{0};
};
