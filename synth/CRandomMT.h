#pragma once

#include "synth/SRandom.h"

#include <cstddef>
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
    void Next32(uint32_t* out) override
    {
        if (out != nullptr)
            *out = Draw();
    }
    // The next `count` words, as `count` calls of Next32 would give them: the noise generator
    // draws a chunk's words at once.
    void NextWords(uint32_t* out, size_t count);

private:
    static constexpr int32_t Unseeded = StateWords + 1;

    uint32_t Draw()
    {
        if (m_iIndex >= StateWords)
            Regenerate();
        return m_uiWords[m_iIndex++];
    }

    // Twists the whole state and tempers every word of it into m_uiWords, several at a time.
    void Regenerate();

    uint32_t m_uiState[StateWords];
    uint32_t m_uiWords[StateWords];
    int32_t m_iIndex;
};
