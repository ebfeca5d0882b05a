#include "synth/GaussianNoise.h"

#include "runtime/CpuFeatures.h"
#include "synth/GaussianNoiseAvx2.h"
#include "synth/SignalMath.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CORVANE_GAUSSIAN_PAIRS 1
#endif

namespace
{
// (r / 2^31 + 1) / 2 for the word taken as signed r is exactly the word with its top bit flipped,
// divided by 2^32.
inline uint32_t UnitInterval(uint32_t word)
{
    return word ^ 0x80000000u;
}

inline double Uniform(uint32_t word)
{
    const uint32_t scaled = UnitInterval(word);
    return scaled == 0 ? DBL_MIN : static_cast<double>(scaled) * (1.0 / 4294967296.0);
}

inline void StoreFrame(double* frame, double value)
{
    frame[0] = value;
    frame[1] = value;
}
}

double GaussianSample(uint32_t first, uint32_t second)
{
    const double radius = std::sqrt(-2.0 * SignalMath::Log(Uniform(first)));
    return radius * SignalMath::SinOfTurns(UnitInterval(second));
}

#ifdef CORVANE_GAUSSIAN_PAIRS
namespace
{
using namespace SignalMath::Detail;

// Two doubles that the shared polynomial templates treat as one number.
struct Pair
{
    __m128d v;
    explicit Pair(double value) : v(_mm_set1_pd(value)) {}
    explicit Pair(__m128d value) : v(value) {}
};

inline Pair operator+(Pair a, Pair b)
{
    return Pair(_mm_add_pd(a.v, b.v));
}
inline Pair operator-(Pair a, Pair b)
{
    return Pair(_mm_sub_pd(a.v, b.v));
}
inline Pair operator*(Pair a, Pair b)
{
    return Pair(_mm_mul_pd(a.v, b.v));
}
inline Pair operator/(Pair a, Pair b)
{
    return Pair(_mm_div_pd(a.v, b.v));
}

inline __m128i Int64s(int64_t value)
{
    return _mm_set1_epi64x(value);
}

// Blends per lane: mask ? a : b.
inline __m128d Choose(__m128d mask, __m128d a, __m128d b)
{
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

// The two frames' words, the first words in the low 64 bits and the second words in the high.
inline __m128i SplitWords(const uint32_t* words)
{
    const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
    return _mm_shuffle_epi32(pairs, _MM_SHUFFLE(3, 1, 2, 0));
}

// Uniform() of two words.
Pair UniformPair(__m128i signedWords)
{
    const __m128d u =
        _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(signedWords), _mm_set1_pd(1.0 / 4294967296.0)), _mm_set1_pd(0.5));
    const __m128d zero = _mm_cmpeq_pd(u, _mm_setzero_pd());
    return Pair(Choose(zero, _mm_set1_pd(DBL_MIN), u));
}

// SignalMath::Log of two positive normal numbers.
Pair LogPair(Pair x)
{
    const __m128i bits = _mm_castpd_si128(x.v);
    const __m128i high = _mm_srli_epi64(bits, 32);
    const __m128i mantissaHigh = _mm_and_si128(high, Int64s(0x000FFFFF));
    const __m128i carry = _mm_and_si128(_mm_add_epi64(mantissaHigh, Int64s(0x95F64)), Int64s(0x100000));
    const __m128i exponent = _mm_sub_epi64(_mm_srli_epi64(high, 20), Int64s(1023));
    const __m128i k = _mm_add_epi64(exponent, _mm_srli_epi64(carry, 20));
    const __m128i normalHigh = _mm_or_si128(mantissaHigh, _mm_xor_si128(carry, Int64s(0x3FF00000)));
    const __m128i mantissa = _mm_or_si128(_mm_slli_epi64(normalHigh, 32), _mm_and_si128(bits, Int64s(0xFFFFFFFF)));
    // k as a double: 1.5 * 2^52 + k has k in its low bits.
    const __m128d shifter = _mm_set1_pd(RoundingShifter);
    const __m128d dk = _mm_sub_pd(_mm_castsi128_pd(_mm_add_epi64(k, _mm_castpd_si128(shifter))), shifter);
    return LogKernel(Pair(_mm_castsi128_pd(mantissa)), Pair(dk));
}

// A lane mask from a per-lane flag in the low 32 bits of each 64-bit half.
inline __m128d LaneMask(__m128i quadrants, int bit)
{
    const __m128i spread = _mm_shuffle_epi32(quadrants, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128i flag = _mm_and_si128(spread, _mm_set1_epi32(bit));
    return _mm_castsi128_pd(_mm_cmpeq_epi32(flag, _mm_set1_epi32(bit)));
}

// SignalMath::SinOfTurns(UnitInterval(word)) of two words.
Pair SinOfTurnsPair(__m128i words)
{
    const __m128i turns = _mm_xor_si128(words, _mm_set1_epi32(INT32_MIN));
    const __m128i shifted = _mm_srli_epi32(_mm_add_epi32(turns, _mm_set1_epi32(0x20000000)), 30);
    const __m128i quadrants = _mm_and_si128(shifted, _mm_set1_epi32(3));
    const __m128i remainders = _mm_sub_epi32(turns, _mm_slli_epi32(quadrants, 30));
    const Pair y(_mm_mul_pd(_mm_cvtepi32_pd(remainders), _mm_set1_pd(RadiansPerTurnUnit)));
    // Quadrants 1 and 3 take the cosine, 2 and 3 are negated.
    const __m128d value = Choose(LaneMask(quadrants, 1), CosKernel(y).v, SinKernel(y).v);
    return Pair(_mm_xor_pd(value, _mm_and_pd(LaneMask(quadrants, 2), _mm_set1_pd(-0.0))));
}

void StorePair(double* frames, Pair values)
{
    _mm_storeu_pd(frames, _mm_unpacklo_pd(values.v, values.v));
    _mm_storeu_pd(frames + 2, _mm_unpackhi_pd(values.v, values.v));
}
}
#endif

void FillGaussianFrames(double* frames, const uint32_t* words, const double* amplitude, uint64_t count)
{
    const VectorForm form = ChosenVectorForm();
    uint64_t i = form == VectorForm::Avx2 ? FillGaussianQuads(frames, words, amplitude, count) : 0;
#ifdef CORVANE_GAUSSIAN_PAIRS
    for (; form != VectorForm::Plain && i + 1 < count; i += 2)
    {
        const __m128i split = SplitWords(words + 2 * i);
        const Pair radius(_mm_sqrt_pd((Pair(-2.0) * LogPair(UniformPair(split))).v));
        StorePair(frames + 2 * i,
                  radius * SinOfTurnsPair(_mm_srli_si128(split, 8)) * Pair(_mm_loadu_pd(amplitude + i)));
    }
#endif
    for (; i < count; ++i)
        StoreFrame(frames + 2 * i, GaussianSample(words[2 * i], words[2 * i + 1]) * amplitude[i]);
}
