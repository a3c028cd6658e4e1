#include "platform/VectorState.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

namespace {

__attribute__((target("avx"), noinline)) void ZeroUpperHalves() { _mm256_zeroupper(); }

bool HaveWideRegisters()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}

} // namespace

void ClearUpperVectorState()
{
    static const bool wide = HaveWideRegisters();
    if (wide)
        ZeroUpperHalves();
}

#else

void ClearUpperVectorState() {}

#endif
