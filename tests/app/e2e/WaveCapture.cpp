#include "tests/app/e2e/WaveCapture.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint32_t ReadLE(const uint8_t* bytes, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return value;
}

double SampleAt(const uint8_t* bytes, uint32_t bits)
{
    const uint32_t bytesPerSample = bits / 8;
    // Left-align into 32 bits so that every container shares one scale.
    const uint32_t raw = ReadLE(bytes, bytesPerSample) << (32 - bits);
    int32_t value = 0;
    std::memcpy(&value, &raw, sizeof value);
    return value / 2147483647.0;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != FALSE && size.QuadPart < (1LL << 31);
    if (ok)
    {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes->empty() ||
             (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) && read == bytes->size());
    }
    CloseHandle(file);
    return ok;
}

bool ParseFormat(const uint8_t* chunk, uint32_t size, WaveCapture* capture, std::string* error)
{
    if (size < 16)
    {
        *error = "fmt chunk too short";
        return false;
    }
    const uint32_t tag = ReadLE(chunk, 2);
    capture->uiChannels = ReadLE(chunk + 2, 2);
    capture->uiRate = ReadLE(chunk + 4, 4);
    capture->uiBits = ReadLE(chunk + 14, 2);
    if ((tag != kFormatPcm && tag != kFormatExtensible) || capture->uiChannels != 2 ||
        (capture->uiBits != 16 && capture->uiBits != 24 && capture->uiBits != 32))
    {
        *error = "not stereo integer PCM";
        return false;
    }
    return true;
}

void Decode(const uint8_t* data, size_t size, WaveCapture* capture)
{
    const size_t bytesPerSample = capture->uiBits / 8;
    const size_t frameBytes = bytesPerSample * 2;
    const size_t frames = size / frameBytes;
    capture->left.resize(frames);
    capture->right.resize(frames);
    for (size_t i = 0; i < frames; ++i)
    {
        capture->left[i] = SampleAt(data + i * frameBytes, capture->uiBits);
        capture->right[i] = SampleAt(data + i * frameBytes + bytesPerSample, capture->uiBits);
    }
}
}

bool LoadWaveCapture(const std::wstring& path, WaveCapture* capture, std::string* error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes))
    {
        *error = "cannot read the capture";
        return false;
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    {
        *error = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size())
    {
        const uint8_t* header = bytes.data() + at;
        const uint32_t size = ReadLE(header + 4, 4);
        const size_t body = at + 8;
        if (std::memcmp(header, "fmt ", 4) == 0)
        {
            if (body + size > bytes.size() || !ParseFormat(bytes.data() + body, size, capture, error))
                return false;
            haveFormat = true;
        }
        else if (std::memcmp(header, "data", 4) == 0)
        {
            if (!haveFormat)
            {
                *error = "data before fmt";
                return false;
            }
            Decode(bytes.data() + body, bytes.size() - body, capture);
            return true;
        }
        at = body + size + (size & 1);
    }
    *error = "no data chunk";
    return false;
}

namespace WaveAnalysis
{
bool FindActiveRange(const std::vector<double>& samples, double threshold, size_t* first, size_t* last)
{
    bool found = false;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        if (std::fabs(samples[i]) <= threshold)
            continue;
        if (!found)
            *first = i;
        *last = i;
        found = true;
    }
    return found;
}

double Rms(const std::vector<double>& samples, size_t begin, size_t end)
{
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += samples[i] * samples[i];
    return end > begin ? std::sqrt(sum / static_cast<double>(end - begin)) : 0.0;
}

double Mean(const std::vector<double>& samples, size_t begin, size_t end)
{
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += samples[i];
    return end > begin ? sum / static_cast<double>(end - begin) : 0.0;
}

double PeakMagnitude(const std::vector<double>& samples, size_t begin, size_t end)
{
    double peak = 0.0;
    for (size_t i = begin; i < end; ++i)
        peak = std::fmax(peak, std::fabs(samples[i]));
    return peak;
}

namespace
{
double BlockFrequency(const std::vector<double>& samples, size_t begin, size_t end, double rate)
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

template <class Measure>
double MedianOverBlocks(size_t begin, size_t end, size_t blockLength, Measure measure)
{
    std::vector<double> figures;
    for (size_t block = begin; blockLength > 0 && block + blockLength <= end; block += blockLength)
        figures.push_back(measure(block, block + blockLength));
    if (figures.empty())
        return 0.0;
    std::nth_element(figures.begin(), figures.begin() + figures.size() / 2, figures.end());
    return figures[figures.size() / 2];
}
}

double SineLevelDb(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength)
{
    return MedianOverBlocks(begin, end, blockLength, [&](size_t from, size_t to) {
        return 20.0 * std::log10(Rms(samples, from, to) * std::sqrt(2.0));
    });
}

double Frequency(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength, double rate)
{
    return MedianOverBlocks(begin, end, blockLength,
                            [&](size_t from, size_t to) { return BlockFrequency(samples, from, to, rate); });
}

std::vector<Stretch> SoundingStretches(const std::vector<double>& samples, size_t begin, size_t end, double threshold,
                                       size_t minimumSilence)
{
    std::vector<Stretch> stretches;
    end = std::min(end, samples.size());
    size_t stretchBegin = begin;
    size_t silence = 0;
    for (size_t i = begin; i < end; ++i)
    {
        silence = std::fabs(samples[i]) < threshold ? silence + 1 : 0;
        if (silence == minimumSilence)
        {
            const size_t silenceBegin = i + 1 - minimumSilence;
            if (silenceBegin > stretchBegin)
                stretches.push_back({stretchBegin, silenceBegin});
        }
        if (silence >= minimumSilence)
            stretchBegin = i + 1;
    }
    if (end > stretchBegin)
        stretches.push_back({stretchBegin, end});
    return stretches;
}

Stretch LongestSoundingStretch(const std::vector<double>& samples, size_t begin, size_t end, double threshold,
                               size_t minimumSilence)
{
    Stretch longest{begin, begin};
    for (const Stretch& stretch : SoundingStretches(samples, begin, end, threshold, minimumSilence))
    {
        if (stretch.uiEnd - stretch.uiBegin > longest.uiEnd - longest.uiBegin)
            longest = stretch;
    }
    return longest;
}

double Kurtosis(const std::vector<double>& samples, size_t begin, size_t end)
{
    const double mean = Mean(samples, begin, end);
    double second = 0.0;
    double fourth = 0.0;
    for (size_t i = begin; i < end; ++i)
    {
        const double d = samples[i] - mean;
        second += d * d;
        fourth += d * d * d * d;
    }
    const double n = static_cast<double>(end - begin);
    return second > 0.0 ? (fourth / n) / ((second / n) * (second / n)) : 0.0;
}
}
