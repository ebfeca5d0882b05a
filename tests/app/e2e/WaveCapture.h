#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A stereo integer-PCM WAV file as the ALSA file plugin writes it (read by WavFile), with
// samples scaled so that full scale of the container is 1.0.
struct WaveCapture
{
    uint32_t uiRate = 0;
    uint32_t uiBits = 0;
    std::vector<double> Left;
    std::vector<double> Right;
};

bool LoadWaveCapture(const std::wstring& path, WaveCapture* capture, std::string* error);

// Measurements over samples [begin, end).
namespace WaveAnalysis
{
struct Stretch
{
    size_t uiBegin;
    size_t uiEnd;
};
// From the first sample whose magnitude exceeds threshold to just past the last; empty when
// none does.
Stretch LouderThan(const std::vector<double>& samples, double threshold);
double Rms(const std::vector<double>& samples, size_t begin, size_t end);
double Mean(const std::vector<double>& samples, size_t begin, size_t end);
double PeakMagnitude(const std::vector<double>& samples, size_t begin, size_t end);
// Frequency from the interpolated rising zero crossings, the median over blocks of blockLength
// samples, so that one dropout (a short fade to silence when a loaded machine starves the
// pipeline) does not move the figure.
double Frequency(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength, double rate);
// The level in dB of full scale of the component at `frequency` alone (also of a tone far below
// the noise around it), and that of the error below bandEdge once the ideal tone (`amplitude`,
// the measured phase) is taken away. Medians over blocks of a whole number of periods.
double ToneComponentDb(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength,
                       double frequency, double rate);
double ToneErrorBelowDb(const std::vector<double>& samples, size_t begin, size_t end, size_t blockLength,
                        double frequency, double rate, double amplitude, double bandEdge);
// The stretches of [begin, end) between runs of at least minimumSilence samples below
// threshold: for a signal without such runs of its own, the parts between dropouts.
std::vector<Stretch> SoundingStretches(const std::vector<double>& samples, size_t begin, size_t end, double threshold,
                                       size_t minimumSilence);
// Fourth standardized moment: 3 for a Gaussian.
double Kurtosis(const std::vector<double>& samples, size_t begin, size_t end);
}
