// Built with AVX2 code generation (and no contraction into fused multiply-adds): nothing here
// may run unless AVX2 is the chosen vector form, and no inline function shared with other files
// may be instantiated here, or the linker could pick this file's copy for them.
#if defined(_MSC_VER) && !defined(__clang__)
// GCC and Clang are told by the build (-ffp-contract=off); Visual Studio 2019 contracts under
// /arch:AVX2 unless told here, and 2022 may be told to by /fp:contract.
#pragma fp_contract(off)
#endif
#include "synth/GaussianNoiseAvx2.h"

#include "synth/SignalMath.h"

#include <cfloat>

#ifdef __AVX2__
#include <immintrin.h>

namespace
{
using namespace SignalMath::Detail;

// Four doubles that the shared polynomial templates treat as one number.
struct Quad
{
    __m256d v;
    explicit Quad(double value) : v(_mm256_set1_pd(value)) {}
    explicit Quad(__m256d value) : v(value) {}
};

inline Quad operator+(Quad a, Quad b)
{
    return Quad(_mm256_add_pd(a.v, b.v));
}
inline Quad operator-(Quad a, Quad b)
{
    return Quad(_mm256_sub_pd(a.v, b.v));
}
inline Quad operator*(Quad a, Quad b)
{
    return Quad(_mm256_mul_pd(a.v, b.v));
}
inline Quad operator/(Quad a, Quad b)
{
    return Quad(_mm256_div_pd(a.v, b.v));
}

inline __m256i Int64s(int64_t value)
{
    return _mm256_set1_epi64x(value);
}

// The words of four frames: the first words in the low half, the second words in the high.
inline __m256i SplitWords(const uint32_t* words)
{
    const __m256i pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
    return _mm256_permutevar8x32_epi32(pairs, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
}

// The uniform number in (0, 1) of four first words, as the scalar form maps them (0 becomes
// the smallest normal double).
Quad UniformQuad(__m128i signedWords)
{
    const __m256d u = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(signedWords), _mm256_set1_pd(1.0 / 4294967296.0)),
                                    _mm256_set1_pd(0.5));
    const __m256d zero = _mm256_cmp_pd(u, _mm256_setzero_pd(), _CMP_EQ_OQ);
    return Quad(_mm256_blendv_pd(u, _mm256_set1_pd(DBL_MIN), zero));
}

// The logarithm of four positive normal numbers, split as the scalar form splits them.
Quad LogQuad(Quad x)
{
    const __m256i bits = _mm256_castpd_si256(x.v);
    const __m256i high = _mm256_srli_epi64(bits, 32);
    const __m256i mantissaHigh = _mm256_and_si256(high, Int64s(0x000FFFFF));
    const __m256i carry = _mm256_and_si256(_mm256_add_epi64(mantissaHigh, Int64s(0x95F64)), Int64s(0x100000));
    const __m256i exponent = _mm256_sub_epi64(_mm256_srli_epi64(high, 20), Int64s(1023));
    const __m256i k = _mm256_add_epi64(exponent, _mm256_srli_epi64(carry, 20));
    const __m256i normalHigh = _mm256_or_si256(mantissaHigh, _mm256_xor_si256(carry, Int64s(0x3FF00000)));
    const __m256i mantissa =
        _mm256_or_si256(_mm256_slli_epi64(normalHigh, 32), _mm256_and_si256(bits, Int64s(0xFFFFFFFF)));
    // k as a double: 1.5 * 2^52 + k has k in its low bits.
    const __m256d shifter = _mm256_set1_pd(RoundingShifter);
    const __m256d dk = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(k, _mm256_castpd_si256(shifter))), shifter);
    return LogKernel(Quad(_mm256_castsi256_pd(mantissa)), Quad(dk));
}

// A lane mask of doubles from the lanes of four 32-bit quadrants that have `bit` set.
inline __m256d LaneMask(__m128i quadrants, int bit)
{
    const __m128i flag = _mm_cmpeq_epi32(_mm_and_si128(quadrants, _mm_set1_epi32(bit)), _mm_set1_epi32(bit));
    return _mm256_castsi256_pd(_mm256_cvtepi32_epi64(flag));
}

// The sine of four second words taken as turns, as the scalar form computes it.
Quad SinOfTurnsQuad(__m128i words)
{
    const __m128i turns = _mm_xor_si128(words, _mm_set1_epi32(INT32_MIN));
    const __m128i shifted = _mm_srli_epi32(_mm_add_epi32(turns, _mm_set1_epi32(0x20000000)), 30);
    const __m128i quadrants = _mm_and_si128(shifted, _mm_set1_epi32(3));
    const __m128i remainders = _mm_sub_epi32(turns, _mm_slli_epi32(quadrants, 30));
    const Quad y(_mm256_mul_pd(_mm256_cvtepi32_pd(remainders), _mm256_set1_pd(RadiansPerTurnUnit)));
    // Quadrants 1 and 3 take the cosine, 2 and 3 are negated.
    const __m256d value = _mm256_blendv_pd(SinKernel(y).v, CosKernel(y).v, LaneMask(quadrants, 1));
    return Quad(_mm256_xor_pd(value, _mm256_and_pd(LaneMask(quadrants, 2), _mm256_set1_pd(-0.0))));
}

// Both channels of four frames carry the same value.
void StoreQuad(double* frames, Quad values)
{
    _mm256_storeu_pd(frames, _mm256_permute4x64_pd(values.v, _MM_SHUFFLE(1, 1, 0, 0)));
    _mm256_storeu_pd(frames + 4, _mm256_permute4x64_pd(values.v, _MM_SHUFFLE(3, 3, 2, 2)));
}
}

uint64_t FillGaussianQuads(double* frames, const uint32_t* words, const double* amplitude, uint64_t count)
{
    uint64_t i = 0;
    for (; i + 3 < count; i += 4)
    {
        const __m256i split = SplitWords(words + 2 * i);
        const Quad uniform = UniformQuad(_mm256_castsi256_si128(split));
        const Quad radius(_mm256_sqrt_pd((Quad(-2.0) * LogQuad(uniform)).v));
        const Quad sine = SinOfTurnsQuad(_mm256_extracti128_si256(split, 1));
        StoreQuad(frames + 2 * i, radius * sine * Quad(_mm256_loadu_pd(amplitude + i)));
    }
    return i;
}
#else
uint64_t FillGaussianQuads(double*, const uint32_t*, const double*, uint64_t)
{
    return 0;
}
#endif
