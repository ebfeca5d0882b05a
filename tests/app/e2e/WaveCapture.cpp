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
    capture->uiRate = file.uiSampleRate;
    capture->uiBits = file.uiBitsPerSample;
    if (file.uiChannels != 2 || (capture->uiBits != 16 && capture->uiBits != 24 && capture->uiBits != 32))
    {
        *error = "not stereo integer PCM";
        return false;
    }
    const std::vector<int32_t> samples = file.Samples32();
    const size_t frames = samples.size() / 2;
    capture->Left.resize(frames);
    capture->Right.resize(frames);
    for (size_t i = 0; i < frames; ++i)
    {
        capture->Left[i] = samples[2 * i] / 2147483647.0;
        capture->Right[i] = samples[2 * i + 1] / 2147483647.0;
    }
    return true;
}

namespace WaveAnalysis
{
Stretch LouderThan(const std::vector<double>& samples, double threshold)
{
    Stretch louder{0, 0};
    for (size_t i = 0; i < samples.size(); ++i)
    {
        if (std::fabs(samples[i]) <= threshold)
            continue;
        if (louder.uiEnd == 0)
            louder.uiBegin = i;
        louder.uiEnd = i + 1;
    }
    return louder;
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

namespace
{
constexpr double kPi = 3.141592653589793;

// Cosine and sine sums of [from, to) at `frequency`, the tone's phase taken from `from`.
struct Component
{
    double dfCos;
    double dfSin;
};

Component ComponentAt(const std::vector<double>& samples, size_t from, size_t to, double frequency, double rate)
{
    Component sums{0.0, 0.0};
    for (size_t n = from; n < to; ++n)
    {
        const double angle = 2.0 * kPi * frequency * static_cast<double>(n - from) / rate;
        sums.dfCos += samples[n] * std::cos(angle);
        sums.dfSin += samples[n] * std::sin(angle);
    }
    return sums;
}

// A Blackman-windowed sinc low-pass, 511 taps, its edge at bandEdge.
std::vector<double> LowPass(double bandEdge, double rate)
{
    const int taps = 511;
    const int middle = taps / 2;
    const double edge = bandEdge / rate;
    std::vector<double> coefficients;
    coefficients.reserve(taps);
    for (int k = 0; k < taps; ++k)
    {
        const int n = k - middle;
        const double sinc = n == 0 ? 2.0 * edge : std::sin(2.0 * kPi * edge * n) / (kPi * n);
        const double w = 2.0 * kPi * k / (taps - 1);
        coefficients.push_back(sinc * (0.42 - 0.5 * std::cos(w) + 0.08 * std::cos(2.0 * w)));
    }
    return coefficients;
}
}

double ToneComponentDb(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength,
                       double frequency, double rate)
{
    return MedianOverBlocks(begin, end, blockLength, [&](size_t from, size_t to) {
        const Component sums = ComponentAt(samples, from, to, frequency, rate);
        return 20.0 * std::log10(2.0 * std::hypot(sums.dfCos, sums.dfSin) / static_cast<double>(to - from));
    });
}

double ToneErrorBelowDb(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength,
                        double frequency, double rate, double amplitude, double bandEdge)
{
    const std::vector<double> lowPass = LowPass(bandEdge, rate);
    return MedianOverBlocks(begin, end, blockLength, [&](size_t from, size_t to) {
        if (to - from <= lowPass.size())
            return 0.0; // too short to filter: full scale, never a quiet figure
        const Component sums = ComponentAt(samples, from, to, frequency, rate);
        const double norm = std::hypot(sums.dfCos, sums.dfSin);
        std::vector<double> error(to - from);
        for (size_t n = from; n < to; ++n)
        {
            const double angle = 2.0 * kPi * frequency * static_cast<double>(n - from) / rate;
            const double phase = sums.dfCos * std::cos(angle) + sums.dfSin * std::sin(angle);
            const double ideal = norm > 0.0 ? amplitude * phase / norm : 0.0;
            error[n - from] = samples[n] - ideal;
        }
        double power = 0.0;
        for (size_t n = lowPass.size(); n < error.size(); ++n)
        {
            double y = 0.0;
            for (size_t k = 0; k < lowPass.size(); ++k)
                y += lowPass[k] * error[n - k];
            power += y * y;
        }
        return 10.0 * std::log10(2.0 * power / static_cast<double>(error.size() - lowPass.size()));
    });
}

double Frequency(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength, double rate)
{
    return MedianOverBlocks(begin, end, blockLength,
                            [&](size_t from, size_t to) { return RisingCrossingFrequency(samples, from, to, rate); });
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
