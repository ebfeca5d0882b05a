#pragma once

#include "stream/CQuantizer.h"

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

// A steady tone as the signal generator makes it from its first sample on: `frames` stereo
// frames at `rate` of a sine of `level` (linear), `frequency` (Hz) and `phase` (rad), without
// modulation. A level set while nothing played glides there over one step: the first sample
// still has `levelBefore`. Uses the process-wide ramps while it runs.
std::vector<double> GenerateSteadyTone(double rate, double levelBefore, double level, double frequency, double phase,
                                       uint64_t frames);

// How a played tone compares with what it must be: the stream buffer fades its first block in;
// at the stop it fades the last `block` frames of audio out, over frames [end - block, end),
// then nothing follows; a quantizer set up as the player's turns that into the device's samples.
struct PlayComparison
{
    bool bExact = false;  // the whole capture is the tone, faded in, played on and faded out
    size_t uiMatched = 0; // frames of the tone matched from its first before the first difference
    uint64_t uiEnd = 0;   // when exact: the frame of the tone where the fade at the stop ended
    size_t uiOffset = 0;  // the capture's sample where the tone's first sample lies
};

// Compares captured samples (left-aligned into 32 bits, as WavFile::Samples32 gives them) with
// `tone` (interleaved stereo) played through blocks of `block` frames and `quantizer`, from the
// capture's first non-zero sample to its end.
PlayComparison ComparePlayedTone(const std::vector<int32_t>& captured, const std::vector<double>& tone, uint64_t block,
                                 const CQuantizer& quantizer, uint32_t containerBits);

// Frequency from the interpolated rising zero crossings of samples [begin, end); 0 with fewer
// than two crossings.
double RisingCrossingFrequency(const std::vector<double>& samples, size_t begin, size_t end, double rate);
