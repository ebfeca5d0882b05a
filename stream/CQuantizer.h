#pragma once

#include <cstdint>

// Converts interleaved stereo doubles into packed little-endian integer PCM: `effective bits`
// at the top of a `container bits` sample, the low bits zero, full scale symmetric. The optional
// resolution enhancer quantizes with first-order error feedback on the effective-bit grid, one
// carried error per channel, so that levels below one step are still reproduced on average.
// Not-a-number samples count as 0.
class CQuantizer
{
public:
    // 1, or -4 for an impossible combination (quantizer left unusable).
    int32_t Initialize(uint32_t effectiveBits, uint32_t containerBits, int32_t enhancer);
    // `destination` receives frames × 2 × containerBits / 8 bytes. 1; -4; -3 not initialised.
    int32_t Convert(const double* source, uint64_t frames, uint8_t* destination);

private:
    int32_t m_iState = 0;
    int32_t m_bEnhancer = 0;
    uint32_t m_uiChannels = 0;
    uint32_t m_uiEffectiveBits = 0;
    uint32_t m_uiContainerBits = 0;
    uint32_t m_uiMagnitudeMask = 0;
    uint32_t m_uiUnit = 0;
    double m_dfLevels = 0.0;
    double m_dfStep = 0.0;
    // Per channel, in grid steps: left, right.
    double m_adfCarriedError[2] = {0.0, 0.0};
};
