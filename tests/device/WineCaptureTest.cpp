// End to end through Wine's own WASAPI: the tone generator fills the stream buffer, the buffer
// callback and the render thread carry it to the default endpoint, and ALSA's file plugin
// (ALSA_CONFIG_PATH, set by the test registration) writes what reaches the endpoint to the WAV
// file named by CORVANE_CAPTURE_WAV. The captured samples must be exactly what the quantizer
// makes of the generator's frames.
#include "tests/device/CapturedAudio.h"

#include "device/CSoundStreamWASAPI.h"
#include "runtime/CNamedValueList.h"
#include "stream/BufferCallbackFunction.h"
#include "stream/CSoundStreamBuffer.h"
#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t kRate = 96000;
constexpr uint64_t kToneFrames = kRate; // one second, a whole number of 10 ms blocks
constexpr double kFrequency = 1000.0;
constexpr double kLevelDb = -6.0;
constexpr uint32_t kEffectiveBits = 16;
// Wine's mixer plays whole device periods (10 ms) of silence when its own thread falls behind
// the ALSA sink; those are the only interruptions the comparison accepts.
constexpr size_t kWinePeriodFrames = kRate / 100;

// The six process-wide ramps for a steady, unmodulated tone.
class ToneSettings
{
public:
    ToneSettings()
    {
        level.Initialize(std::pow(10.0, kLevelDb / 20.0));
        frequency.Initialize(kFrequency);
        phase.Initialize(0.0);
        for (CParameterRamp* ramp : {&amFrequency, &fmFrequency, &fmBandwidth})
            ramp->Initialize(0.0);
        pLevelRamp = &level;
        pFrequencyRamp = &frequency;
        pPhaseRamp = &phase;
        pAMFrequencyRamp = &amFrequency;
        pFMFrequencyRamp = &fmFrequency;
        pFMBandwidthRamp = &fmBandwidth;
        dfSamplingRate = kRate;
        dfAMPhase = 0.0;
        dfFMPhase = 0.0;
    }
    ~ToneSettings()
    {
        for (CParameterRamp** ramp : {&pLevelRamp, &pFrequencyRamp, &pPhaseRamp, &pAMFrequencyRamp,
                                      &pFMFrequencyRamp, &pFMBandwidthRamp})
            *ramp = nullptr;
    }

private:
    CParameterRamp level, frequency, phase, amFrequency, fmFrequency, fmBandwidth;
};

std::vector<double> GenerateTone(uint64_t frames)
{
    std::vector<double> values(frames * 2);
    double carrierPhase = 0.0;
    CRandomMT generator;
    FillBlock(values.data(), frames, &carrierPhase, &generator);
    return values;
}

// Queues the whole tone at once and marks the stream buffer as stopping, so that it drains the
// tone block by block regardless of its watermarks: what reaches the endpoint then does not
// depend on how a loaded machine schedules a producer thread.
void QueueWholeTone(CSoundStreamBuffer& buffer, const std::vector<double>& tone)
{
    uint64_t count = tone.size() / 2;
    ASSERT_EQ(buffer.Write(tone.data(), &count), 1);
    ASSERT_EQ(count, tone.size() / 2);
    ASSERT_EQ(buffer.RequestStop(), 1);
}

// What the endpoint must receive after the stream buffer's held (silent) first block: the
// quantized tone, its first block faded in, its last block faded out as the queue runs dry at
// a block boundary, then silence.
std::vector<int32_t> ExpectedSamples(const std::vector<double>& tone, uint64_t blockFrames)
{
    constexpr double kPi = 3.141592653589793;
    std::vector<double> shaped = tone;
    const uint64_t frames = tone.size() / 2;
    const double n = static_cast<double>(blockFrames);
    for (uint64_t k = 0; k < blockFrames; ++k)
    {
        const double fadeIn = 0.5 - std::cos(static_cast<double>(k + 1) / n * kPi) * 0.5;
        const double fadeOut = 0.5 - std::cos(static_cast<double>(blockFrames - k) / n * kPi) * 0.5;
        for (int c = 0; c < 2; ++c)
        {
            shaped[k * 2 + c] *= fadeIn;
            shaped[(frames - blockFrames + k) * 2 + c] *= fadeOut;
        }
    }
    CQuantizer quantizer;
    quantizer.Initialize(kEffectiveBits, 32, 0);
    std::vector<int32_t> samples(shaped.size());
    quantizer.Convert(shaped.data(), frames, reinterpret_cast<uint8_t*>(samples.data()));
    return samples;
}

template <class Condition>
bool WaitUntil(Condition condition)
{
    for (int i = 0; i < 10000 && !condition(); ++i)
        Sleep(1);
    return condition();
}

// Index just past the last non-zero sample, 0 when all are zero.
size_t EndOfSound(const std::vector<int32_t>& samples)
{
    size_t end = samples.size();
    while (end > 0 && samples[end - 1] == 0)
        --end;
    return end;
}

// True when the capture file holds at least `soundSamples` from its first to its last non-zero
// sample, followed by at least `silenceSamples` zeros: the tone and its fade have all arrived.
bool CaptureHoldsSoundThenSilence(const std::wstring& path, size_t soundSamples, size_t silenceSamples)
{
    WavFile wav;
    if (!wav.Load(path))
        return false;
    const std::vector<int32_t> samples = wav.Samples32();
    const size_t end = EndOfSound(samples);
    return end > 0 && end - FirstNonZero(samples) >= soundSamples && samples.size() - end >= silenceSamples;
}

// Wine's mixer carries what the endpoint holds to the file at its own pace, slower still on a
// loaded machine: poll the file rather than guess a time.
bool WaitForCapturedSound(const std::wstring& path, size_t soundSamples, size_t silenceSamples)
{
    constexpr ULONGLONG kTimeoutMs = 30000;
    const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
    while (!CaptureHoldsSoundThenSilence(path, soundSamples, silenceSamples))
    {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
    return true;
}

std::wstring WindowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != '\0'; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return path;
}

class WineCaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* wav = std::getenv("CORVANE_CAPTURE_WAV");
        ASSERT_NE(wav, nullptr) << "run through ctest, which sets the capture file";
        capturePath = WindowsPath(wav);
        DeleteFileW(capturePath.c_str());
    }

    std::wstring capturePath;
};
}

TEST_F(WineCaptureTest, ToneReachesTheEndpointExactlyAsQuantized)
{
    ToneSettings settings;
    const std::vector<double> tone = GenerateTone(kToneFrames);

    CSoundStreamBuffer buffer;
    double blockDuration = 0.01;
    ASSERT_EQ(buffer.Initialize(kRate, &blockDuration), 1);
    const uint64_t blockFrames = buffer.GetBlockFrames();
    ASSERT_EQ(kToneFrames % blockFrames, 0u);
    QueueWholeTone(buffer, tone);
    pSoundBuffer = &buffer;
    std::vector<double> packetBuffer(blockFrames * 2, 0.0);
    CNamedValueList list;
    ASSERT_EQ(list.SetPacketBuffer(reinterpret_cast<uintptr_t>(packetBuffer.data())), 1);

    CSoundStreamWASAPI stream;
    stream.bSharedMode = 1;
    stream.uiMaxBitCount = kEffectiveBits;
    stream.bResolutionEnhancer = 0;
    stream.uiPacketFrames = blockFrames;
    // A generous endpoint buffer: Wine plays silence whenever it runs dry, and on a loaded
    // machine the render thread may wait longer than one default period for the processor.
    double deviceDuration = 0.2;
    ASSERT_EQ(stream.OpenRenderDevice(kRate, &deviceDuration, nullptr), 1);
    ASSERT_EQ(stream.uiBitCount, 32u) << "Wine takes the deepest container in shared mode";
    ASSERT_EQ(stream.StartRender(BufferCallbackFunction, &list), 1);
    ASSERT_EQ(stream.Start(), 1);
    EXPECT_TRUE(WaitUntil([&] { return buffer.GetQueueStatus().uiFillLevel == 0; })) << "the tone was not drained";
    const std::vector<int32_t> expected = ExpectedSamples(tone, blockFrames);
    const size_t firstExpected = FirstNonZero(expected);
    EXPECT_TRUE(WaitForCapturedSound(capturePath, EndOfSound(expected) - firstExpected, kRate / 10 * 2))
        << "the tone and 100 ms of silence after it did not reach the capture file";
    EXPECT_EQ(stream.Stop(), 1);
    pSoundBuffer = nullptr;

    WavFile wav;
    ASSERT_TRUE(wav.Load(capturePath)) << "no capture file";
    EXPECT_EQ(wav.uiSampleRate, kRate);
    EXPECT_EQ(wav.uiChannels, 2u);
    EXPECT_EQ(wav.uiBitsPerSample, 32u);
    const std::vector<int32_t> captured = wav.Samples32();
    ASSERT_FALSE(captured.empty());
    for (size_t i = 0; i < captured.size(); ++i)
        ASSERT_EQ(captured[i] & 0xFFFF, 0) << "sample " << i << " uses more than 16 bits";

    const size_t firstCaptured = FirstNonZero(captured);
    ASSERT_LT(firstCaptured, captured.size()) << "nothing but silence was captured";
    ASSERT_GE(firstCaptured, firstExpected + blockFrames * 2) << "the held silent block comes first";
    const size_t offset = firstCaptured - firstExpected;
    EXPECT_EQ(offset % 2, 0u) << "frames stay aligned";
    const CaptureComparison comparison = CompareAllowingSilentPeriods(captured, offset, expected, kWinePeriodFrames * 2);
    EXPECT_EQ(comparison.uiMismatch, expected.size())
        << "sample " << comparison.uiMismatch << " of the tone differs or is missing";
    EXPECT_EQ(FirstNonZero(std::vector<int32_t>(captured.begin() + static_cast<std::ptrdiff_t>(comparison.uiEnd),
                                                captured.end())),
              captured.size() - comparison.uiEnd)
        << "silence after the tone";
    RecordProperty("WineSilentPeriods", static_cast<int>(comparison.uiSilentPeriods));
    std::printf("Wine played %zu silent period(s) within the tone\n", comparison.uiSilentPeriods);

    // Measured on the captured tone without Wine's silent periods.
    const ToneFigures figures = MeasureTone(comparison.Matched, 0, kToneFrames - blockFrames, kRate);
    EXPECT_NEAR(figures.dfFrequency, kFrequency, 0.05);
    EXPECT_NEAR(figures.dfPeakLevelDb, kLevelDb, 0.01);
}
