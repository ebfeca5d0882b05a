#include "stream/CQuantizer.h"

#include "stream/ChannelCount.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr double kFullScale = 2147483647.0;

// The conversion settings, copied into locals for the loops: byte stores through the
// destination may alias any object, so members would be re-read after every byte.
struct Grid
{
    double dfLevels;
    double dfStep;
    // The step that turns a level into a fraction of full scale: the step itself, except on a
    // one-bit grid, whose single level 0 has an infinite step.
    double dfLevelScale;
    uint32_t uiMagnitudeMask;
    uint32_t uiUnit;
};

// Not-a-number has no level: it is taken as silence so that it cannot reach an integer
// conversion or the carried error.
double Sanitize(double x)
{
    return std::isnan(x) ? 0.0 : x;
}

// Rounds to the nearest integer, a fraction of exactly one half staying truncated toward zero.
// |v| stays within 2^31, so the integer conversion is exact and defined. Integer selects keep
// the signal-dependent decisions free of mispredicted branches.
double RoundHalfTowardZero(double v)
{
    int64_t r = static_cast<int64_t>(v);
    const double q = v - static_cast<double>(r);
    r += static_cast<int64_t>(q > 0.5) - static_cast<int64_t>(q < -0.5);
    return static_cast<double>(r);
}

// Rounds to the nearest integer, ties to even, for |x| well below 2^51: the adder's own rounding
// does it in two operations.
double RoundToNearestEven(double x)
{
    const double shifter = 6755399441055744.0; // 2^52 + 2^51
    return (x + shifter) - shifter;
}

struct Level
{
    double dfLevel;
    double dfCarriedError;
};

// The error feedback in full: settles the error step by step (more than one step can be due
// after a sample limited at full scale) and limits the level to full scale.
Level SettleAndLimit(double v, double r, double e, double levels)
{
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
    if (r > levels)
        return {levels, (levels - v) + e};
    if (r < -levels)
        return {-levels, (-levels - v) + e};
    return {r, e};
}

// One sample on the effective-bit grid with first-order error feedback; returns the grid level
// as a fraction of full scale. `carried` is the error, in grid steps, carried to the next sample.
inline double QuantizeWithFeedback(double x, const Grid& grid, double& carried)
{
    const double v = std::min(1.0, std::max(-1.0, x)) / grid.dfStep;
    const double r = RoundHalfTowardZero(v);
    const double e = (v - r) + carried;
    // Within one step, settling the error is a single rounding (an error of exactly half a step
    // stays, as ties go to the even 0); this is the path of every sample but those near a limit.
    if (std::fabs(e) <= 1.0)
    {
        const double adjust = RoundToNearestEven(e);
        const double level = r + adjust;
        if (std::fabs(level) <= grid.dfLevels)
        {
            carried = e - adjust;
            return grid.dfLevelScale * level;
        }
    }
    const Level settled = SettleAndLimit(v, r, e, grid.dfLevels);
    carried = settled.dfCarriedError;
    return grid.dfLevelScale * settled.dfLevel;
}

// The 32-bit word whose top effective bits carry y, rounded to the 31-bit magnitude and then
// truncated toward zero onto the grid; full scale is symmetric.
uint32_t ToWord(double y, const Grid& grid)
{
    const bool negative = y < 0.0;
    const double m = std::min(std::fabs(y) * kFullScale, kFullScale);
    uint32_t i = static_cast<uint32_t>(m);
    i += m - static_cast<double>(i) >= 0.5 ? 1u : 0u;
    const uint32_t negated = (i ^ grid.uiMagnitudeMask) + grid.uiUnit;
    return (negative ? negated : i) & grid.uiMagnitudeMask;
}

template <unsigned Bytes>
void StoreTopBytes(uint8_t* destination, uint32_t word)
{
    for (unsigned b = 0; b < Bytes; ++b)
        destination[b] = static_cast<uint8_t>(word >> (8 * (4 - Bytes + b)));
}

template <unsigned Bytes>
void ConvertPlain(const double* source, uint64_t values, uint8_t* destination, const Grid grid)
{
    for (uint64_t i = 0; i < values; ++i, destination += Bytes)
        StoreTopBytes<Bytes>(destination, ToWord(Sanitize(source[i]), grid));
}

// Returns the carried error after the last sample.
template <unsigned Bytes>
double ConvertWithFeedback(const double* source, uint64_t values, uint8_t* destination,
                           const Grid grid, double carried)
{
    for (uint64_t i = 0; i < values; ++i, destination += Bytes)
        StoreTopBytes<Bytes>(destination, ToWord(QuantizeWithFeedback(Sanitize(source[i]), grid, carried), grid));
    return carried;
}

template <unsigned Bytes>
double ConvertSamples(const double* source, uint64_t values, uint8_t* destination, const Grid& grid,
                      bool enhancer, double carried)
{
    if (enhancer)
        return ConvertWithFeedback<Bytes>(source, values, destination, grid, carried);
    ConvertPlain<Bytes>(source, values, destination, grid);
    return carried;
}
} // namespace

int32_t CQuantizer::Initialize(uint32_t effectiveBits, uint32_t containerBits, int32_t enhancer)
{
    *this = CQuantizer();
    if (effectiveBits == 0 || effectiveBits > containerBits || containerBits % 8 != 0 ||
        containerBits > 32)
        return -4;
    m_uiContainerBits = containerBits;
    m_uiChannels = kChannels;
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
    const Grid grid{m_dfLevels, m_dfStep, m_dfLevels > 0.0 ? m_dfStep : 0.0, m_uiMagnitudeMask, m_uiUnit};
    const bool enhancer = m_bEnhancer != 0;
    switch (m_uiContainerBits)
    {
    case 8: m_dfCarriedError = ConvertSamples<1>(source, values, destination, grid, enhancer, m_dfCarriedError); break;
    case 16: m_dfCarriedError = ConvertSamples<2>(source, values, destination, grid, enhancer, m_dfCarriedError); break;
    case 24: m_dfCarriedError = ConvertSamples<3>(source, values, destination, grid, enhancer, m_dfCarriedError); break;
    default: m_dfCarriedError = ConvertSamples<4>(source, values, destination, grid, enhancer, m_dfCarriedError); break;
    }
    return 1;
}
