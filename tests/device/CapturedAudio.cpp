#include "tests/device/CapturedAudio.h"

#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
uint16_t Read16(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at)
{
    return Read16(bytes, at) | static_cast<uint32_t>(Read16(bytes, at + 2)) << 16;
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
            Data.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                        file.begin() + static_cast<std::ptrdiff_t>(end));
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

std::vector<double> GenerateSteadyTone(double rate, double levelBefore, double level, double frequency, double phase,
                                       uint64_t frames)
{
    CParameterRamp ramps[6];
    const double values[6] = {levelBefore, frequency, phase, 0.0, 0.0, 0.0};
    CParameterRamp** const published[6] = {&pLevelRamp,       &pFrequencyRamp,   &pPhaseRamp,
                                           &pAMFrequencyRamp, &pFMFrequencyRamp, &pFMBandwidthRamp};
    for (size_t i = 0; i < 6; ++i)
    {
        ramps[i].Initialize(values[i]);
        *published[i] = &ramps[i];
    }
    ramps[0].SetTarget(level);
    dfSamplingRate = rate;
    dfAMPhase = 0.0;
    dfFMPhase = 0.0;
    std::vector<double> tone(static_cast<size_t>(frames) * 2);
    double carrierPhase = 0.0;
    CRandomMT generator;
    FillBlock(tone.data(), frames, &carrierPhase, &generator);
    for (CParameterRamp** ramp : published)
        *ramp = nullptr;
    return tone;
}

namespace
{
constexpr double kPi = 3.141592653589793;

// Entry i of the stream buffer's fade ramp over `block` frames, computed as it computes it.
double FadeWeight(uint64_t i, uint64_t block)
{
    return 0.5 - std::cos((static_cast<double>(i + 1) / static_cast<double>(block)) * kPi) * 0.5;
}

// What `quantizer` makes of `count` frames, left-aligned into 32 bits; it carries its state on.
std::vector<int32_t> Quantize(CQuantizer& quantizer, const double* frames, uint64_t count, uint32_t containerBits)
{
    WavFile samples;
    samples.uiBitsPerSample = containerBits;
    samples.Data.resize(static_cast<size_t>(count) * 2 * containerBits / 8);
    quantizer.Convert(frames, count, samples.Data.data());
    return samples.Samples32();
}

bool MatchesAt(const std::vector<int32_t>& captured, size_t at, const std::vector<int32_t>& expected)
{
    return captured.size() >= at && captured.size() - at >= expected.size() &&
           std::equal(expected.begin(), expected.end(), captured.begin() + static_cast<std::ptrdiff_t>(at));
}

// True when the capture from the fade's first frame on is the fade over [end - block, end)
// followed by silence, with `quantizer` in its state at that first frame.
bool EndsWithFade(const std::vector<int32_t>& captured, size_t at, const std::vector<double>& shaped, uint64_t end,
                  uint64_t block, CQuantizer quantizer, uint32_t containerBits)
{
    std::vector<double> fade(shaped.begin() + static_cast<std::ptrdiff_t>((end - block) * 2),
                             shaped.begin() + static_cast<std::ptrdiff_t>(end * 2));
    for (uint64_t k = 0; k < block; ++k)
        for (size_t c = 0; c < 2; ++c)
            fade[k * 2 + c] *= FadeWeight(block - 1 - k, block);
    if (!MatchesAt(captured, at, Quantize(quantizer, fade.data(), block, containerBits)))
        return false;
    const size_t after = at + static_cast<size_t>(block) * 2;
    const std::vector<double> silence(captured.size() - after, 0.0);
    return MatchesAt(captured, after, Quantize(quantizer, silence.data(), silence.size() / 2, containerBits));
}
}

PlayComparison ComparePlayedTone(const std::vector<int32_t>& captured, const std::vector<double>& tone, uint64_t block,
                                 const CQuantizer& quantizer, uint32_t containerBits)
{
    PlayComparison result;
    const uint64_t frames = tone.size() / 2;
    if (block == 0 || frames < 2 * block)
        return result;
    std::vector<double> shaped = tone;
    for (uint64_t j = 0; j < block; ++j)
        for (size_t c = 0; c < 2; ++c)
            shaped[j * 2 + c] = FadeWeight(j, block) * tone[j * 2 + c];
    CQuantizer whole = quantizer;
    const std::vector<int32_t> expected = Quantize(whole, shaped.data(), frames, containerBits);
    const size_t firstCaptured = FirstNonZero(captured);
    const size_t firstExpected = FirstNonZero(expected);
    if (firstCaptured == captured.size() || firstExpected == expected.size() || firstCaptured < firstExpected ||
        (firstCaptured - firstExpected) % 2 != 0)
        return result;
    result.uiOffset = firstCaptured - firstExpected;
    size_t matched = 0;
    while (matched < expected.size() && result.uiOffset + matched < captured.size() &&
           captured[result.uiOffset + matched] == expected[matched])
        ++matched;
    result.uiMatched = matched / 2;
    // The fade's first frame keeps its weight of 1, so the first difference lies within the
    // fade's other frames: the fade ended at one of the `block` frames from it on.
    const uint64_t lowest = std::max<uint64_t>(result.uiMatched + 1, 2 * block);
    const uint64_t highest = std::min<uint64_t>(result.uiMatched + block, frames);
    CQuantizer prefix = quantizer;
    std::vector<uint8_t> discard(static_cast<size_t>(lowest - block) * 2 * containerBits / 8 + 8);
    prefix.Convert(shaped.data(), lowest - block, discard.data());
    for (uint64_t end = lowest; end <= highest; ++end)
    {
        if (EndsWithFade(captured, result.uiOffset + static_cast<size_t>(end - block) * 2, shaped, end, block, prefix,
                         containerBits))
        {
            result.bExact = true;
            result.uiEnd = end;
            return result;
        }
        prefix.Convert(shaped.data() + (end - block) * 2, 1, discard.data());
    }
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
