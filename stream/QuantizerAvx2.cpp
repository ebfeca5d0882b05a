// Built with AVX2 code generation (and no contraction into fused multiply-adds): nothing here
// may run unless AVX2 is the chosen vector form, and no inline function shared with other files
// may be instantiated here, or the linker could pick this file's copy for them.
#if defined(_MSC_VER) && !defined(__clang__)
// GCC and Clang are told by the build (-ffp-contract=off); Visual Studio 2019 contracts under
// /arch:AVX2 unless told here, and 2022 may be told to by /fp:contract.
#pragma fp_contract(off)
#endif
#include "stream/QuantizerAvx2.h"

#ifdef __AVX2__
#include <immintrin.h>

namespace
{
inline __m256d Abs(__m256d x)
{
    return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
}

// The error carried on after one frame whose error before rounding is e: within one step the
// rounding is 1, -1 or 0 (a tie goes to the even 0), and the carried error is e less it. Each
// frame waits for this, so the three candidates are computed at once and one is picked.
inline __m128d CarryOn(__m128d e)
{
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d up = _mm_cmpgt_pd(e, _mm_set1_pd(0.5));
    const __m128d down = _mm_cmplt_pd(e, _mm_set1_pd(-0.5));
    return _mm_blendv_pd(_mm_blendv_pd(e, _mm_sub_pd(e, one), up), _mm_add_pd(e, one), down);
}
}

void QuantizeFramePairsAvx2(const double* source, uint64_t frames, uint8_t* words, double step, uint32_t shift,
                            double* carried)
{
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d stepVector = _mm256_set1_pd(step);
    const __m128i shiftCount = _mm_cvtsi32_si128(static_cast<int>(shift));
    __m128d error = _mm_loadu_pd(carried);
    for (uint64_t f = 0; f < frames; f += 2)
    {
        // Left and right of two frames; not-a-number is silence.
        __m256d x = _mm256_loadu_pd(source + 2 * f);
        x = _mm256_and_pd(_mm256_cmp_pd(x, x, _CMP_ORD_Q), x);
        const __m256d v = _mm256_div_pd(_mm256_min_pd(_mm256_max_pd(x, _mm256_set1_pd(-1.0)), one), stepVector);
        // v rounded to the nearest level, a fraction of exactly one half truncated toward zero.
        const __m256d truncated = _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(v));
        const __m256d q = _mm256_sub_pd(v, truncated);
        const __m256d r =
            _mm256_sub_pd(_mm256_add_pd(truncated, _mm256_and_pd(_mm256_cmp_pd(q, half, _CMP_GT_OQ), one)),
                          _mm256_and_pd(_mm256_cmp_pd(q, _mm256_set1_pd(-0.5), _CMP_LT_OQ), one));
        const __m256d fraction = _mm256_sub_pd(v, r);
        const __m128d first = _mm_add_pd(_mm256_castpd256_pd128(fraction), error);
        const __m128d carriedOn = CarryOn(first);
        const __m128d second = _mm_add_pd(_mm256_extractf128_pd(fraction, 1), carriedOn);
        const __m256d e = _mm256_insertf128_pd(_mm256_castpd128_pd256(first), second, 1);
        const __m256d rounds = _mm256_cmp_pd(Abs(e), half, _CMP_GT_OQ);
        const __m256d sign = _mm256_or_pd(_mm256_and_pd(e, _mm256_set1_pd(-0.0)), one);
        const __m256d level = _mm256_add_pd(r, _mm256_and_pd(rounds, sign));
        error = CarryOn(second);
        // A grid level r is exactly r grid steps, so its word is the level shifted into place.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 8 * f),
                         _mm_sll_epi32(_mm256_cvttpd_epi32(level), shiftCount));
    }
    _mm_storeu_pd(carried, error);
}
#else
void QuantizeFramePairsAvx2(const double*, uint64_t, uint8_t*, double, uint32_t, double*) {}
#endif
