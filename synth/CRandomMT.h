#pragma once

#include "synth/SRandom.h"

#include <cstdint>

// MT19937, the 32-bit Mersenne Twister. A fresh generator is seeded with 5489, so every new
// one yields the same sequence. Not thread-safe: one generator per thread.
class CRandomMT final : public SRandom
{
public:
    static constexpr uint32_t DefaultSeed = 5489;
    static constexpr int32_t StateWords = 624;

    CRandomMT() { Seed(DefaultSeed); }
    ~CRandomMT() { m_iIndex = Unseeded; }

    // Only reports the state's size: GetState(nullptr, &size) gives 2500 bytes and 0.
    // Copying the state out or restoring it is not offered (-1).
    int32_t GetState(void* buffer, uint32_t* size) override;
    int32_t SetState(const void* buffer, uint32_t size) override;
    int32_t Seed(uint32_t seed) override;
    // The first word drawn becomes the high half.
    void Next64(uint64_t* out) override;
    // Defined here so that the noise generator's per-sample draws inline.
    void Next32(uint32_t* out) override
    {
        if (out != nullptr)
            *out = Draw();
    }

private:
    static constexpr int32_t Unseeded = StateWords + 1;

    uint32_t Draw()
    {
        if (m_iIndex >= StateWords)
            Regenerate();
        uint32_t y = m_uiState[m_iIndex++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }

    void Regenerate();

    uint32_t m_uiState[StateWords];
    int32_t m_iIndex;
};
