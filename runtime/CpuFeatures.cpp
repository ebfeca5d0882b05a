#include "runtime/CpuFeatures.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#if defined(_MSC_VER) && defined(_M_X64)
#include <immintrin.h>
#include <intrin.h>
#define CORVANE_CPUID 1
#elif defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define CORVANE_CPUID 1
#endif

namespace
{
std::atomic<VectorForm> g_Limit{VectorForm::Avx2};

#ifdef CORVANE_CPUID
struct Registers
{
    uint32_t a, b, c, d;
};

Registers Cpuid(uint32_t leaf, uint32_t subleaf)
{
#ifdef _MSC_VER
    int values[4] = {};
    __cpuidex(values, static_cast<int>(leaf), static_cast<int>(subleaf));
    return Registers{static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]),
                     static_cast<uint32_t>(values[2]), static_cast<uint32_t>(values[3])};
#else
    Registers r{};
    __cpuid_count(leaf, subleaf, r.a, r.b, r.c, r.d);
    return r;
#endif
}

bool DetectAvx2()
{
    constexpr uint32_t OsSavesState = 1u << 27; // leaf 1, ECX: OSXSAVE
    constexpr uint32_t Avx = 1u << 28;          // leaf 1, ECX
    constexpr uint32_t Avx2 = 1u << 5;          // leaf 7, EBX
    constexpr uint64_t SseAndAvxState = 6;      // XCR0: XMM and YMM registers saved
    if (Cpuid(0, 0).a < 7)
        return false;
    const uint32_t features = Cpuid(1, 0).c;
    if ((features & (OsSavesState | Avx)) != (OsSavesState | Avx))
        return false;
    if ((_xgetbv(0) & SseAndAvxState) != SseAndAvxState)
        return false;
    return (Cpuid(7, 0).b & Avx2) != 0;
}
#endif
}

VectorForm WidestVectorForm()
{
#ifdef CORVANE_CPUID
    // Every x86-64 processor has SSE2.
    static const VectorForm widest = DetectAvx2() ? VectorForm::Avx2 : VectorForm::Sse2;
    return widest;
#else
    return VectorForm::Plain;
#endif
}

VectorForm ChosenVectorForm()
{
    return std::min(WidestVectorForm(), g_Limit.load(std::memory_order_relaxed));
}

VectorForm SetVectorFormLimit(VectorForm limit)
{
    return g_Limit.exchange(limit);
}
