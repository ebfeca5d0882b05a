#include "synth/CRandomMT.h"

namespace
{
constexpr int32_t MiddleDistance = 397;
constexpr uint32_t MatrixA = 0x9908B0DFu;
constexpr uint32_t UpperMask = 0x80000000u;
constexpr uint32_t LowerMask = 0x7FFFFFFFu;

uint32_t Twist(uint32_t current, uint32_t next, uint32_t distant)
{
    const uint32_t y = (current & UpperMask) | (next & LowerMask);
    return distant ^ (y >> 1) ^ ((y & 1u) != 0 ? MatrixA : 0u);
}
}

int32_t CRandomMT::GetState(void* buffer, uint32_t* size)
{
    if (buffer != nullptr || size == nullptr)
        return -1;
    *size = static_cast<uint32_t>(sizeof(uint32_t) * (StateWords + 1));
    return 0;
}

int32_t CRandomMT::SetState(const void*, uint32_t)
{
    return -1;
}

int32_t CRandomMT::Seed(uint32_t seed)
{
    m_uiState[0] = seed;
    for (int32_t i = 1; i < StateWords; ++i)
    {
        const uint32_t previous = m_uiState[i - 1];
        m_uiState[i] = 1812433253u * (previous ^ (previous >> 30)) + static_cast<uint32_t>(i);
    }
    m_iIndex = StateWords;
    return 1;
}

void CRandomMT::Next64(uint64_t* out)
{
    if (out == nullptr)
        return;
    const uint64_t high = Draw();
    const uint64_t low = Draw();
    *out = (high << 32) | low;
}

void CRandomMT::Regenerate()
{
    constexpr int32_t Split = StateWords - MiddleDistance;
    uint32_t* s = m_uiState;
    for (int32_t i = 0; i < Split; ++i)
        s[i] = Twist(s[i], s[i + 1], s[i + MiddleDistance]);
    for (int32_t i = Split; i < StateWords - 1; ++i)
        s[i] = Twist(s[i], s[i + 1], s[i - Split]);
    s[StateWords - 1] = Twist(s[StateWords - 1], s[0], s[MiddleDistance - 1]);
    m_iIndex = 0;
}
