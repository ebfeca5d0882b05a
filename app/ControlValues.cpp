#include "app/ControlValues.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>

namespace
{
constexpr uint32_t kMinEffectiveBits = 2;
constexpr uint32_t kMaxEffectiveBits = 32;
constexpr size_t kFormatCapacity = 16;

// The digit's value, or -1. A Japanese input method types full-width digits (U+FF10 to U+FF19).
int DigitValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'\xFF10' && c <= L'\xFF19')
        return c - L'\xFF10';
    return -1;
}

void Terminate(wchar_t* text, size_t capacity)
{
    if (text != nullptr && capacity > 0)
        text[0] = L'\0';
}
}

namespace ControlValues
{
uint64_t RoundHalfAwayNonNegative(double value)
{
    if (!(value > 0.0))
        return 0;
    const double rounded = std::floor(value + 0.5);
    if (rounded >= 18446744073709551615.0)
        return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(rounded);
}

double CarrierFrequency(uint32_t position)
{
    return 1000.0 * std::pow(2.0, position / 1000.0 - 5.0);
}

double Phase(uint32_t position)
{
    return position / 1000.0;
}

double AMFrequency(uint32_t position)
{
    return position / 20.0;
}

double FMFrequency(uint32_t position)
{
    return position / 10.0;
}

double FMBandwidth(uint32_t position)
{
    return static_cast<double>(position);
}

double LevelOfAttenuation(uint32_t tenthsOfDecibel)
{
    return std::pow(10.0, (tenthsOfDecibel / -10.0) / 20.0);
}

void FormatAttenuation(uint32_t tenthsOfDecibel, wchar_t* text, size_t capacity)
{
    if (text == nullptr || capacity == 0)
        return;
    const int written = std::swprintf(text, capacity, L"-%u.%u dB", tenthsOfDecibel / 10, tenthsOfDecibel % 10);
    if (written < 0)
        Terminate(text, capacity);
}

void FormatFixed(double value, uint32_t decimals, wchar_t* text, size_t capacity)
{
    if (text == nullptr || capacity == 0)
        return;
    // The display format is itself built from the decimal count, so every display shares one path.
    wchar_t format[kFormatCapacity];
    std::swprintf(format, kFormatCapacity, L"%%.%ulf", decimals);
    if (std::swprintf(text, capacity, format, value) < 0)
        Terminate(text, capacity);
}

uint32_t CarrierSliderMaximum(double samplingRate)
{
    // Bounded so that the trackbar's signed range can always hold it, whatever the rate.
    constexpr uint64_t kMaxSteps = std::numeric_limits<int32_t>::max() / 100;
    const double steps = ((std::log2(samplingRate * 0.5 / 1000.0) + 5.0) * 0.99 * 1000.0) / 100.0;
    const uint64_t rounded = RoundHalfAwayNonNegative(steps);
    return static_cast<uint32_t>((rounded < kMaxSteps ? rounded : kMaxSteps) * 100);
}

bool ParseUnsigned(const wchar_t* text, uint32_t* value)
{
    if (text == nullptr || value == nullptr || DigitValue(*text) < 0)
        return false;
    uint64_t parsed = 0;
    for (; DigitValue(*text) >= 0; ++text)
    {
        parsed = parsed * 10 + static_cast<uint64_t>(DigitValue(*text));
        if (parsed > std::numeric_limits<uint32_t>::max())
            parsed = std::numeric_limits<uint32_t>::max();
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

uint32_t EffectiveBitsFromText(const wchar_t* text)
{
    uint32_t bits = 0;
    if (!ParseUnsigned(text, &bits) || bits > kMaxEffectiveBits)
        return kMaxEffectiveBits;
    // Fewer than 2 bits leave no step between the two signs' largest values.
    return bits < kMinEffectiveBits ? kMinEffectiveBits : bits;
}

bool FormatMinimumLevel(uint32_t effectiveBits, wchar_t* text, size_t capacity)
{
    if (effectiveBits < kMinEffectiveBits || effectiveBits > kMaxEffectiveBits)
    {
        Terminate(text, capacity);
        return false;
    }
    FormatFixed(20.0 * std::log10(std::pow(2.0, -(static_cast<double>(effectiveBits) - 1.0))), 1, text, capacity);
    return true;
}
}
