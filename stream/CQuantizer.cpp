#include "stream/CQuantizer.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr double kFullScale = 2147483647.0;

// Not-a-number has no level: it is taken as silence so that it cannot reach an integer
// conversion or the carried error.
double Sanitize(double x)
{
    return std::isnan(x) ? 0.0 : x;
}

// Rounds to the nearest integer, a fraction of exactly one half staying truncated toward zero.
// |v| stays within 2^31, so the integer conversion is exact and defined.
double RoundHalfTowardZero(double v)
{
    double r = static_cast<double>(static_cast<int64_t>(v));
    double q = v - r;
    if (q > 0.5)
        r += 1.0;
    else if (q < -0.5)
        r -= 1.0;
    return r;
}

template <unsigned Bytes>
void StoreTopBytes(uint8_t* destination, uint32_t word)
{
    for (unsigned b = 0; b < Bytes; ++b)
        destination[b] = static_cast<uint8_t>(word >> (8 * (4 - Bytes + b)));
}
} // namespace

int32_t CQuantizer::Initialize(uint32_t effectiveBits, uint32_t containerBits, int32_t enhancer)
{
    *this = CQuantizer();
    if (effectiveBits == 0 || effectiveBits > containerBits || containerBits % 8 != 0 ||
        containerBits > 32)
        return -4;
    m_uiContainerBits = containerBits;
    m_uiChannels = 2;
    m_uiEffectiveBits = effectiveBits;
    const uint32_t shift = 32 - effectiveBits;
    const uint64_t levels = (uint64_t{1} << effectiveBits) - 1;
    m_uiMagnitudeMask = static_cast<uint32_t>(levels << shift);
    m_uiUnit = static_cast<uint32_t>(uint64_t{1} << shift);
    m_bEnhancer = enhancer != 0 ? 1 : 0;
    m_dfLevels = std::ldexp(1.0, static_cast<int>(effectiveBits) - 1) - 1.0;
    m_dfStep = 1.0 / m_dfLevels;
    m_iState = 1;
    return 1;
}

int32_t CQuantizer::Convert(const double* source, uint64_t frames, uint8_t* destination)
{
    if (source == nullptr || destination == nullptr)
        return -4;
    if (m_iState != 1)
        return -3;
    const uint64_t values = frames * m_uiChannels;
    switch (m_uiContainerBits)
    {
    case 8: ConvertSamples<1>(source, values, destination); break;
    case 16: ConvertSamples<2>(source, values, destination); break;
    case 24: ConvertSamples<3>(source, values, destination); break;
    default: ConvertSamples<4>(source, values, destination); break;
    }
    return 1;
}

template <unsigned Bytes>
void CQuantizer::ConvertSamples(const double* source, uint64_t values, uint8_t* destination)
{
    if (m_bEnhancer != 0)
    {
        for (uint64_t i = 0; i < values; ++i, destination += Bytes)
            StoreTopBytes<Bytes>(destination, ToWord(QuantizeWithFeedback(Sanitize(source[i]))));
    }
    else
    {
        for (uint64_t i = 0; i < values; ++i, destination += Bytes)
            StoreTopBytes<Bytes>(destination, ToWord(Sanitize(source[i])));
    }
}

// One sample on the effective-bit grid with first-order error feedback; returns the grid level
// as a fraction of full scale.
double CQuantizer::QuantizeWithFeedback(double x)
{
    const double levels = m_dfLevels;
    const double v = std::min(1.0, std::max(-1.0, x)) / m_dfStep;
    double r = RoundHalfTowardZero(v);
    double e = (v - r) + m_dfCarriedError;
    while (e > 0.5)
    {
        r += 1.0;
        e -= 1.0;
    }
    while (e < -0.5)
    {
        r -= 1.0;
        e += 1.0;
    }
    m_dfCarriedError = e;
    if (r > levels)
    {
        r = levels;
        m_dfCarriedError = (levels - v) + e;
    }
    else if (r < -levels)
    {
        r = -levels;
        m_dfCarriedError = (-levels - v) + e;
    }
    // A one-bit grid has the single level 0 (and an infinite step).
    return r == 0.0 ? 0.0 : m_dfStep * r;
}

// The 32-bit word whose top effective bits carry y, rounded to the 31-bit magnitude and then
// truncated toward zero onto the grid; full scale is symmetric.
uint32_t CQuantizer::ToWord(double y) const
{
    const bool negative = y < 0.0;
    const double m = std::min(std::fabs(y) * kFullScale, kFullScale);
    uint32_t i = static_cast<uint32_t>(m);
    if (m - static_cast<double>(i) >= 0.5)
        i += 1;
    if (negative)
        i = (i ^ m_uiMagnitudeMask) + m_uiUnit;
    return i & m_uiMagnitudeMask;
}
