#include "tests/device/CapturedAudio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace
{
uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Read16(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool IsTag(const std::vector<uint8_t>& bytes, size_t at, const char* tag)
{
    return std::memcmp(bytes.data() + at, tag, 4) == 0;
}
}

bool WavFile::Load(const std::wstring& path)
{
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    return Parse(bytes);
}

bool WavFile::Parse(const std::vector<uint8_t>& file)
{
    if (file.size() < 12 || !IsTag(file, 0, "RIFF") || !IsTag(file, 8, "WAVE"))
        return false;
    size_t at = 12;
    while (at + 8 <= file.size())
    {
        const size_t size = Read32(file, at + 4);
        const size_t body = at + 8;
        if (IsTag(file, at, "fmt ") && body + 16 <= file.size())
        {
            uiChannels = Read16(file, body + 2);
            uiSampleRate = Read32(file, body + 4);
            uiBitsPerSample = Read16(file, body + 14);
        }
        else if (IsTag(file, at, "data"))
        {
            const size_t end = size == 0 || size > file.size() - body ? file.size() : body + size;
            Data.assign(file.begin() + static_cast<std::ptrdiff_t>(body), file.begin() + static_cast<std::ptrdiff_t>(end));
            return uiChannels != 0;
        }
        at = body + size + (size & 1);
    }
    return false;
}

std::vector<int32_t> WavFile::Samples32() const
{
    std::vector<int32_t> samples;
    if (uiBitsPerSample != 16 && uiBitsPerSample != 24 && uiBitsPerSample != 32)
        return samples;
    const size_t bytes = uiBitsPerSample / 8;
    samples.resize(Data.size() / bytes);
    for (size_t i = 0; i < samples.size(); ++i)
    {
        uint32_t raw = 0;
        for (size_t b = 0; b < bytes; ++b)
            raw |= static_cast<uint32_t>(Data[i * bytes + b]) << (8 * (4 - bytes + b));
        std::memcpy(&samples[i], &raw, sizeof raw);
    }
    return samples;
}

size_t FirstNonZero(const std::vector<int32_t>& samples)
{
    size_t i = 0;
    while (i < samples.size() && samples[i] == 0)
        ++i;
    return i;
}

namespace
{
// True when captured[at, at + count) is silent and captured continues with expected[next...]
// for another period.
bool IsSilenceBefore(const std::vector<int32_t>& captured, size_t at, size_t count,
                     const std::vector<int32_t>& expected, size_t next, size_t periodSamples)
{
    if (at + count > captured.size())
        return false;
    for (size_t i = at; i < at + count; ++i)
        if (captured[i] != 0)
            return false;
    const size_t check = std::min(periodSamples, std::min(expected.size() - next, captured.size() - at - count));
    return check > 0 && std::equal(expected.begin() + static_cast<std::ptrdiff_t>(next),
                                   expected.begin() + static_cast<std::ptrdiff_t>(next + check),
                                   captured.begin() + static_cast<std::ptrdiff_t>(at + count));
}
}

CaptureComparison CompareAllowingSilentPeriods(const std::vector<int32_t>& captured, size_t offset,
                                               const std::vector<int32_t>& expected, size_t periodSamples)
{
    constexpr size_t kMaxPeriodsInARow = 100;
    CaptureComparison result;
    result.Matched.reserve(expected.size());
    size_t c = offset;
    size_t e = 0;
    while (e < expected.size() && c < captured.size())
    {
        if (captured[c] == expected[e])
        {
            result.Matched.push_back(captured[c]);
            ++c;
            ++e;
            continue;
        }
        size_t periods = 1;
        while (periods <= kMaxPeriodsInARow && !IsSilenceBefore(captured, c, periods * periodSamples, expected, e, periodSamples))
            ++periods;
        if (periods > kMaxPeriodsInARow)
            break;
        result.uiSilentPeriods += periods;
        c += periods * periodSamples;
    }
    result.uiMismatch = e;
    result.uiEnd = c;
    return result;
}

double RisingCrossingFrequency(const std::vector<double>& samples, size_t begin, size_t end, double rate)
{
    double firstCrossing = -1.0;
    double lastCrossing = -1.0;
    size_t crossings = 0;
    for (size_t i = begin + 1; i < end; ++i)
    {
        if (samples[i - 1] < 0.0 && samples[i] >= 0.0)
        {
            const double at = static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (crossings == 0)
                firstCrossing = at;
            lastCrossing = at;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return static_cast<double>(crossings - 1) * rate / (lastCrossing - firstCrossing);
}

ToneFigures MeasureTone(const std::vector<int32_t>& samples, size_t first, size_t frames, double rate)
{
    std::vector<double> left((samples.size() + 1) / 2);
    for (size_t f = 0; f < left.size(); ++f)
        left[f] = samples[f * 2];
    // Frames [first, end - 1) and the one after each, for the crossing between them.
    const size_t end = std::min(first + frames + 1, left.size());
    int64_t peak = 0;
    for (size_t f = first; f + 1 < end; ++f)
    {
        for (int c = 0; c < 2; ++c)
            peak = std::max(peak, std::llabs(int64_t{samples[f * 2 + c]}));
    }
    ToneFigures figures;
    figures.dfFrequency = RisingCrossingFrequency(left, first, end, rate);
    figures.dfPeakLevelDb = 20.0 * std::log10(static_cast<double>(peak) / 2147483647.0);
    return figures;
}
