#include "tests/app/e2e/WaveCapture.h"

#include "tests/device/CapturedAudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool LoadWaveCapture(const std::wstring& path, WaveCapture* capture, std::string* error)
{
    WavFile file;
    if (!file.Load(path))
    {
        *error = "cannot read the capture as a WAV file with a data chunk";
        return false;
    }
    capture->uiRate = file.sampleRate;
    capture->uiChannels = file.channels;
    capture->uiBits = file.bitsPerSample;
    if (capture->uiChannels != 2 || (capture->uiBits != 16 && capture->uiBits != 24 && capture->uiBits != 32))
    {
        *error = "not stereo integer PCM";
        return false;
    }
    const std::vector<int32_t> samples = file.Samples32();
    const size_t frames = samples.size() / 2;
    capture->left.resize(frames);
    capture->right.resize(frames);
    for (size_t i = 0; i < frames; ++i)
    {
        capture->left[i] = samples[2 * i] / 2147483647.0;
        capture->right[i] = samples[2 * i + 1] / 2147483647.0;
    }
    return true;
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
