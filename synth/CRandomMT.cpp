#include "synth/CRandomMT.h"

#include "runtime/Status.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CORVANE_MT_QUADS 1
#endif

namespace
{
constexpr int32_t MiddleDistance = 397;
// The twist of word i reads word i + 397 up to here, and word i - 227 (already twisted) after.
constexpr int32_t Split = CRandomMT::StateWords - MiddleDistance;
constexpr uint32_t MatrixA = 0x9908B0DFu;
constexpr uint32_t UpperMask = 0x80000000u;
constexpr uint32_t LowerMask = 0x7FFFFFFFu;

uint32_t Twist(uint32_t current, uint32_t next, uint32_t distant)
{
    const uint32_t y = (current & UpperMask) | (next & LowerMask);
    return distant ^ (y >> 1) ^ ((y & 1u) != 0 ? MatrixA : 0u);
}

#ifdef CORVANE_MT_QUADS
inline __m128i Load(const uint32_t* words)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
}

inline __m128i Constant(uint32_t value)
{
    return _mm_set1_epi32(static_cast<int>(value));
}

// Twist of words i ... i + 3 at once. Every word read is either not yet twisted (i + 1 ... i + 4
// and the distant ones before Split) or twisted by an earlier step (the distant ones after Split).
inline void TwistQuad(uint32_t* s, int32_t i, int32_t distant)
{
    const __m128i y = _mm_or_si128(_mm_and_si128(Load(s + i), Constant(UpperMask)),
                                   _mm_and_si128(Load(s + i + 1), Constant(LowerMask)));
    const __m128i odd = _mm_sub_epi32(_mm_setzero_si128(), _mm_and_si128(y, Constant(1u)));
    const __m128i twisted =
        _mm_xor_si128(_mm_xor_si128(Load(s + distant), _mm_srli_epi32(y, 1)), _mm_and_si128(odd, Constant(MatrixA)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s + i), twisted);
}

// Twists words [begin, end) four at a time, the distant word at i + offset; returns where the
// single-word rest begins.
int32_t TwistQuads(uint32_t* s, int32_t begin, int32_t end, int32_t offset)
{
    int32_t i = begin;
    for (; i + 4 <= end; i += 4)
        TwistQuad(s, i, i + offset);
    return i;
}

void TemperAll(const uint32_t* state, uint32_t* words)
{
    for (int32_t i = 0; i < CRandomMT::StateWords; i += 4)
    {
        __m128i y = Load(state + i);
        y = _mm_xor_si128(y, _mm_srli_epi32(y, 11));
        y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi32(y, 7), Constant(0x9D2C5680u)));
        y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi32(y, 15), Constant(0xEFC60000u)));
        y = _mm_xor_si128(y, _mm_srli_epi32(y, 18));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words + i), y);
    }
}
#else
int32_t TwistQuads(uint32_t*, int32_t begin, int32_t, int32_t)
{
    return begin;
}

uint32_t Temper(uint32_t y)
{
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    return y ^ (y >> 18);
}

void TemperAll(const uint32_t* state, uint32_t* words)
{
    for (int32_t i = 0; i < CRandomMT::StateWords; ++i)
        words[i] = Temper(state[i]);
}
#endif
}

int32_t CRandomMT::GetState(void* buffer, uint32_t* size)
{
    if (buffer != nullptr || size == nullptr)
        return kStatusFailure;
    *size = static_cast<uint32_t>(sizeof(uint32_t) * (StateWords + 1));
    return kStatusNothingDone;
}

int32_t CRandomMT::SetState(const void*, uint32_t)
{
    return kStatusFailure;
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
    return kStatusSuccess;
}

void CRandomMT::Next64(uint64_t* out)
{
    if (out == nullptr)
        return;
    const uint64_t high = Draw();
    const uint64_t low = Draw();
    *out = (high << 32) | low;
}

void CRandomMT::NextWords(uint32_t* out, size_t count)
{
    while (count > 0)
    {
        if (m_iIndex >= StateWords)
            Regenerate();
        const size_t taken = std::min(count, static_cast<size_t>(StateWords - m_iIndex));
        std::memcpy(out, m_uiWords + m_iIndex, taken * sizeof(uint32_t));
        m_iIndex += static_cast<int32_t>(taken);
        out += taken;
        count -= taken;
    }
}

void CRandomMT::Regenerate()
{
    uint32_t* s = m_uiState;
    for (int32_t i = TwistQuads(s, 0, Split, MiddleDistance); i < Split; ++i)
        s[i] = Twist(s[i], s[i + 1], s[i + MiddleDistance]);
    for (int32_t i = TwistQuads(s, Split, StateWords - 1, -Split); i < StateWords - 1; ++i)
        s[i] = Twist(s[i], s[i + 1], s[i - Split]);
    s[StateWords - 1] = Twist(s[StateWords - 1], s[0], s[MiddleDistance - 1]);
    TemperAll(s, m_uiWords);
    m_iIndex = 0;
}
