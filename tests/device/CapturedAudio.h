#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A WAV file as ALSA's file plugin writes it: a RIFF header, a PCM "fmt " chunk and a "data"
// chunk. A data size left at 0 or past the end (a file not finalised) means "to the end".
struct WavFile
{
    uint32_t uiSampleRate = 0;
    uint32_t uiChannels = 0;
    uint32_t uiBitsPerSample = 0;
    std::vector<uint8_t> Data;

    bool Load(const std::wstring& path);
    bool Parse(const std::vector<uint8_t>& file);
    // The data's little-endian 16-, 24- or 32-bit samples, left-aligned into 32 bits so that
    // every container shares one scale (empty for any other depth).
    std::vector<int32_t> Samples32() const;
};

// Index of the first non-zero sample, or the sample count when all are zero.
size_t FirstNonZero(const std::vector<int32_t>& samples);

struct CaptureComparison
{
    size_t uiMismatch = 0;        // index into expected of the first sample not found; its size when all were
    size_t uiEnd = 0;             // index into captured just past the last matched sample
    size_t uiSilentPeriods = 0;   // periods of silence skipped within the expected samples
    std::vector<int32_t> Matched; // the captured samples that matched, in order
};

// Matches expected against captured from captured[offset] on, in order, allowing captured to
// hold runs of silence that are whole multiples of `periodSamples` where expected continues.
CaptureComparison CompareAllowingSilentPeriods(const std::vector<int32_t>& captured, size_t offset,
                                               const std::vector<int32_t>& expected, size_t periodSamples);

// Frequency from the interpolated rising zero crossings of samples [begin, end); 0 with fewer
// than two crossings.
double RisingCrossingFrequency(const std::vector<double>& samples, size_t begin, size_t end, double rate);

struct ToneFigures
{
    double dfFrequency = 0.0;   // Hz, from the left channel's rising zero crossings
    double dfPeakLevelDb = 0.0; // dB of full scale (2^31 - 1), largest magnitude of both channels
};

// Measures `frames` interleaved stereo frames from frame `first` on.
ToneFigures MeasureTone(const std::vector<int32_t>& samples, size_t first, size_t frames, double rate);
