#include "stream/CQuantizer.h"

#include "runtime/CpuFeatures.h"
#include "runtime/Status.h"
#include "stream/ChannelCount.h"
#include "stream/QuantizerAvx2.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CORVANE_QUANTIZER_PAIRS 1
#endif

namespace
{
constexpr double kFullScale = 2147483647.0;

// The conversion settings, copied into locals for the loops: byte stores through the
// destination may alias any object, so members would be re-read after every byte.
struct Grid
{
    double dfStep;
    // The step that turns a level into a fraction of full scale: the step itself, except on a
    // one-bit grid, whose single level 0 has an infinite step.
    double dfLevelScale;
    uint32_t uiMagnitudeMask;
    uint32_t uiUnit;
    uint32_t uiShift; // 32 - effective bits
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

// One sample on the effective-bit grid with first-order error feedback; returns the grid level
// as a fraction of full scale. `carried` is the error, in grid steps, carried to the next sample.
//
// Error feedback in general settles the error step by step and limits the level at full scale;
// here the error settles in one rounding and the level never passes full scale (L levels), for
// every input and in every form below:
// - |v| <= L: the input is clamped to +-1 (not-a-number is 0 by now) and a correctly rounded
//   division is monotonic, so |v| <= 1 / step, which is exactly L on every grid of 2 to 32
//   bits; on the one-bit grid the step is infinite and v is 0.
// - |e| <= 1: |v - r| <= 1/2 by the rounding, and |carried| <= 1/2, as it is 0 after Initialize
//   and e less its rounding after every sample; the rounded sum cannot pass 1 either. So e
//   rounds to -1, 0 or 1 (a tie to the even 0).
// - e rounds up only when e > 1/2, which with |carried| <= 1/2 needs v > r: then r < v <= L, so
//   r + 1 <= L. The same holds downward.
inline double QuantizeWithFeedback(double x, const Grid& grid, double& carried)
{
    const double v = std::min(1.0, std::max(-1.0, x)) / grid.dfStep;
    const double r = RoundHalfTowardZero(v);
    const double e = (v - r) + carried;
    const double adjust = static_cast<double>(static_cast<int>(e > 0.5) - static_cast<int>(e < -0.5));
    carried = e - adjust;
    return grid.dfLevelScale * (r + adjust);
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

// Each channel carries its own error, so that one channel's error never shapes the other's.
struct CarriedErrors
{
    double dfLeft;
    double dfRight;
};

// One frame in the plain per-sample form.
template <unsigned Bytes>
void FeedbackFrame(const double* frame, uint8_t* destination, const Grid& grid, CarriedErrors& carried)
{
    StoreTopBytes<Bytes>(destination, ToWord(QuantizeWithFeedback(Sanitize(frame[0]), grid, carried.dfLeft), grid));
    StoreTopBytes<Bytes>(destination + Bytes,
                         ToWord(QuantizeWithFeedback(Sanitize(frame[1]), grid, carried.dfRight), grid));
}

template <unsigned Bytes>
void ConvertSamples(const double* source, uint64_t frames, uint8_t* destination, const Grid& grid)
{
    for (uint64_t i = 0; i < 2 * frames; ++i, destination += Bytes)
        StoreTopBytes<Bytes>(destination, ToWord(Sanitize(source[i]), grid));
}

template <unsigned Bytes>
CarriedErrors FeedbackFrames(const double* source, uint64_t frames, uint8_t* destination, const Grid& grid,
                             CarriedErrors carried)
{
    for (uint64_t f = 0; f < frames; ++f, source += 2, destination += 2 * Bytes)
        FeedbackFrame<Bytes>(source, destination, grid, carried);
    return carried;
}

#ifdef CORVANE_QUANTIZER_PAIRS
// The same arithmetic on a whole frame at once, the left channel in lane 0 and the right in lane
// 1: the plain form's operations in its order, but for a shortcut that gives the same bits.
struct PairGrid
{
    __m128d dfStep;
    __m128i uiMagnitudeMask;
    __m128i uiUnit;
    __m128i uiShift; // 32 - effective bits: from a grid level to its word
};

PairGrid ToPairGrid(const Grid& grid)
{
    return PairGrid{_mm_set1_pd(grid.dfStep), _mm_set1_epi32(static_cast<int>(grid.uiMagnitudeMask)),
                    _mm_set1_epi32(static_cast<int>(grid.uiUnit)), _mm_cvtsi32_si128(static_cast<int>(grid.uiShift))};
}

inline __m128d Abs(__m128d x)
{
    return _mm_andnot_pd(_mm_set1_pd(-0.0), x);
}

// A per-lane mask of doubles narrowed to the two low 32-bit lanes, where the words are.
inline __m128i WordMask(__m128d mask)
{
    return _mm_shuffle_epi32(_mm_castpd_si128(mask), _MM_SHUFFLE(3, 3, 2, 0));
}

inline __m128d SanitizePair(__m128d x)
{
    return _mm_and_pd(_mm_cmpord_pd(x, x), x);
}

// ToWord of both lanes, the words in the two low 32-bit lanes. The magnitude never exceeds
// 2^31 - 1, so the signed conversion gives the unsigned one's bits.
inline __m128i ToWordPair(__m128d y, const PairGrid& grid)
{
    const __m128d fullScale = _mm_set1_pd(kFullScale);
    const __m128d m = _mm_min_pd(_mm_mul_pd(Abs(y), fullScale), fullScale);
    const __m128i truncated = _mm_cvttpd_epi32(m);
    const __m128d roundUp = _mm_cmpge_pd(_mm_sub_pd(m, _mm_cvtepi32_pd(truncated)), _mm_set1_pd(0.5));
    const __m128i i = _mm_sub_epi32(truncated, WordMask(roundUp));
    const __m128i negated = _mm_add_epi32(_mm_xor_si128(i, grid.uiMagnitudeMask), grid.uiUnit);
    const __m128i negative = WordMask(_mm_cmplt_pd(y, _mm_setzero_pd()));
    const __m128i word = _mm_or_si128(_mm_and_si128(negative, negated), _mm_andnot_si128(negative, i));
    return _mm_and_si128(word, grid.uiMagnitudeMask);
}

// QuantizeWithFeedback and ToWord of both lanes; the words in the two low 32-bit lanes.
inline __m128i QuantizePairWithFeedback(__m128d x, const PairGrid& grid, __m128d& carried)
{
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d minusHalf = _mm_set1_pd(-0.5);
    const __m128d v = _mm_div_pd(_mm_min_pd(_mm_max_pd(x, _mm_set1_pd(-1.0)), one), grid.dfStep);
    const __m128d truncated = _mm_cvtepi32_pd(_mm_cvttpd_epi32(v));
    const __m128d q = _mm_sub_pd(v, truncated);
    const __m128d r = _mm_sub_pd(_mm_add_pd(truncated, _mm_and_pd(_mm_cmpgt_pd(q, half), one)),
                                 _mm_and_pd(_mm_cmplt_pd(q, minusHalf), one));
    const __m128d e = _mm_add_pd(_mm_sub_pd(v, r), carried);
    // The rounding of the error is 1, -1 or 0 (a tie goes to the even 0): chosen by comparison,
    // it costs the error carried on one comparison instead of two additions.
    const __m128d up = _mm_cmpgt_pd(e, half);
    const __m128d down = _mm_cmplt_pd(e, minusHalf);
    const __m128d adjust = _mm_or_pd(_mm_and_pd(up, one), _mm_and_pd(down, _mm_set1_pd(-1.0)));
    carried = _mm_sub_pd(e, adjust);
    // ToWord maps grid level r to exactly r grid steps (the rounding to 31 bits never reaches
    // the next step), so the word is the level shifted into place.
    return _mm_sll_epi32(_mm_cvttpd_epi32(_mm_add_pd(r, adjust)), grid.uiShift);
}

template <unsigned Bytes>
inline void StoreWordPair(uint8_t* destination, __m128i words)
{
    if constexpr (Bytes == 4)
    {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination), words);
    }
    else
    {
        StoreTopBytes<Bytes>(destination, static_cast<uint32_t>(_mm_cvtsi128_si32(words)));
        StoreTopBytes<Bytes>(destination + Bytes, static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(words, 4))));
    }
}

template <unsigned Bytes>
void ConvertPairs(const double* source, uint64_t frames, uint8_t* destination, const Grid& grid)
{
    const PairGrid pairGrid = ToPairGrid(grid);
    for (uint64_t f = 0; f < frames; ++f, source += 2, destination += 2 * Bytes)
        StoreWordPair<Bytes>(destination, ToWordPair(SanitizePair(_mm_loadu_pd(source)), pairGrid));
}

// Frames per call of the AVX2 form where its words are then cut down to a smaller container
// (even, as that form takes whole pairs).
constexpr uint64_t kWordChunkFrames = 128;

// QuantizeFramePairsAvx2 over every whole pair of frames into this container: the words go
// straight to a 32-bit destination, and through a chunk of words to the others. Returns the
// frames done.
template <unsigned Bytes>
uint64_t QuantizeFramePairs(const double* source, uint64_t frames, uint8_t* destination, const Grid& grid,
                            __m128d& carried)
{
    const uint64_t pairs = frames - frames % 2;
    double errors[2];
    _mm_storeu_pd(errors, carried);
    if constexpr (Bytes == 4)
    {
        QuantizeFramePairsAvx2(source, pairs, destination, grid.dfStep, grid.uiShift, errors);
    }
    else
    {
        uint32_t words[2 * kWordChunkFrames];
        for (uint64_t done = 0, count = 0; done < pairs; done += count)
        {
            count = std::min(pairs - done, kWordChunkFrames);
            QuantizeFramePairsAvx2(source + 2 * done, count, reinterpret_cast<uint8_t*>(words), grid.dfStep,
                                   grid.uiShift, errors);
            for (uint64_t i = 0; i < 2 * count; ++i)
                StoreTopBytes<Bytes>(destination + Bytes * (2 * done + i), words[i]);
        }
    }
    carried = _mm_loadu_pd(errors);
    return pairs;
}

// With AVX2 two frames at a time and an odd last frame as one pair of samples; without, every
// frame as a pair of samples.
template <unsigned Bytes>
CarriedErrors FeedbackPairs(const double* source, uint64_t frames, uint8_t* destination, const Grid& grid,
                            CarriedErrors carried, bool avx2)
{
    const PairGrid pairGrid = ToPairGrid(grid);
    __m128d pair = _mm_set_pd(carried.dfRight, carried.dfLeft);
    for (uint64_t f = avx2 ? QuantizeFramePairs<Bytes>(source, frames, destination, grid, pair) : 0; f < frames; ++f)
    {
        const __m128i words = QuantizePairWithFeedback(SanitizePair(_mm_loadu_pd(source + 2 * f)), pairGrid, pair);
        StoreWordPair<Bytes>(destination + 2 * Bytes * f, words);
    }
    return CarriedErrors{_mm_cvtsd_f64(pair), _mm_cvtsd_f64(_mm_unpackhi_pd(pair, pair))};
}
#endif

template <unsigned Bytes>
CarriedErrors ConvertFrames(const double* source, uint64_t frames, uint8_t* destination, const Grid& grid,
                            bool enhancer, CarriedErrors carried)
{
#ifdef CORVANE_QUANTIZER_PAIRS
    const VectorForm form = ChosenVectorForm();
    if (form != VectorForm::Plain)
    {
        if (enhancer)
            return FeedbackPairs<Bytes>(source, frames, destination, grid, carried, form == VectorForm::Avx2);
        ConvertPairs<Bytes>(source, frames, destination, grid);
        return carried;
    }
#endif
    if (enhancer)
        return FeedbackFrames<Bytes>(source, frames, destination, grid, carried);
    ConvertSamples<Bytes>(source, frames, destination, grid);
    return carried;
}
} // namespace

int32_t CQuantizer::Initialize(uint32_t effectiveBits, uint32_t containerBits, int32_t enhancer)
{
    *this = CQuantizer();
    if (effectiveBits == 0 || effectiveBits > containerBits || containerBits % 8 != 0 || containerBits > 32)
        return kStatusInvalidArgument;
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
    return kStatusSuccess;
}

int32_t CQuantizer::Convert(const double* source, uint64_t frames, uint8_t* destination)
{
    if (source == nullptr || destination == nullptr)
        return kStatusInvalidArgument;
    if (m_iState != 1)
        return kStatusNotInitialized;
    const Grid grid{m_dfStep, m_dfLevels > 0.0 ? m_dfStep : 0.0, m_uiMagnitudeMask, m_uiUnit, 32 - m_uiEffectiveBits};
    const bool enhancer = m_bEnhancer != 0;
    CarriedErrors carried{m_adfCarriedError[0], m_adfCarriedError[1]};
    switch (m_uiContainerBits)
    {
    case 8:
        carried = ConvertFrames<1>(source, frames, destination, grid, enhancer, carried);
        break;
    case 16:
        carried = ConvertFrames<2>(source, frames, destination, grid, enhancer, carried);
        break;
    case 24:
        carried = ConvertFrames<3>(source, frames, destination, grid, enhancer, carried);
        break;
    default:
        carried = ConvertFrames<4>(source, frames, destination, grid, enhancer, carried);
        break;
    }
    m_adfCarriedError[0] = carried.dfLeft;
    m_adfCarriedError[1] = carried.dfRight;
    return kStatusSuccess;
}
