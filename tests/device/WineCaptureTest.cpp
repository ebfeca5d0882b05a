// End to end through Wine's own WASAPI: the tone generator fills the stream buffer, the buffer
// callback and the render thread carry it to the default endpoint, and ALSA's file plugin
// (ALSA_CONFIG_PATH, set by the test registration) writes what reaches the endpoint to the WAV
// file named by CORVANE_CAPTURE_WAV, through a test card that drains at the real rate. The
// captured samples must be exactly what the quantizer makes of the generator's frames, none
// missing.
#include "runtime/Status.h"
#include "tests/device/CapturedAudio.h"

#include "device/CSoundStreamWASAPI.h"
#include "runtime/CNamedValueList.h"
#include "stream/BufferCallbackFunction.h"
#include "stream/CSoundStreamBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
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

// Polls every `periodMs` for up to `tries` times: Wine's mixer carries what the endpoint holds
// to the file at its own pace, slower still on a loaded machine.
template <class Condition>
bool WaitUntil(Condition condition, DWORD periodMs, int tries)
{
    for (int i = 0; i < tries && !condition(); ++i)
        Sleep(periodMs);
    return condition();
}

// True when the capture file holds at least `soundSamples` from its first to its last non-zero
// sample, followed by at least `silenceSamples` zeros: the tone and its fade have all arrived.
bool CaptureHoldsSoundThenSilence(const std::wstring& path, size_t soundSamples, size_t silenceSamples)
{
    WavFile wav;
    if (!wav.Load(path))
        return false;
    const std::vector<int32_t> samples = wav.Samples32();
    size_t end = samples.size();
    while (end > 0 && samples[end - 1] == 0)
        --end;
    return end > 0 && end - FirstNonZero(samples) >= soundSamples && samples.size() - end >= silenceSamples;
}

// The file ctest names, as a Windows path through Wine's Z: drive, deleted before the test.
std::wstring FreshCapturePath()
{
    const char* wav = std::getenv("CORVANE_CAPTURE_WAV");
    std::wstring path = L"Z:";
    for (const char* c = wav != nullptr ? wav : ""; *c != '\0'; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    DeleteFileW(path.c_str());
    return path;
}
}

TEST(WineCaptureTest, ToneReachesTheEndpointExactlyAsQuantized)
{
    ASSERT_NE(std::getenv("CORVANE_CAPTURE_WAV"), nullptr) << "run through ctest, which sets the capture file";
    const std::wstring capturePath = FreshCapturePath();
    const double level = std::pow(10.0, kLevelDb / 20.0);
    const std::vector<double> tone = GenerateSteadyTone(kRate, level, level, kFrequency, 0.0, kToneFrames);

    CSoundStreamBuffer buffer;
    double blockDuration = 0.01;
    ASSERT_EQ(buffer.Initialize(kRate, &blockDuration), kStatusSuccess);
    const uint64_t blockFrames = buffer.GetBlockFrames();
    ASSERT_EQ(kToneFrames % blockFrames, 0u);
    // Queued at once, with the stop requested, the tone drains block by block whatever the
    // watermarks: what reaches the endpoint does not depend on how a producer thread is scheduled.
    uint64_t count = kToneFrames;
    ASSERT_EQ(buffer.Write(tone.data(), &count), kStatusSuccess);
    ASSERT_EQ(count, kToneFrames);
    ASSERT_EQ(buffer.RequestStop(), kStatusSuccess);
    pSoundBuffer = &buffer;
    std::vector<double> packetBuffer(blockFrames * 2, 0.0);
    CNamedValueList list;
    ASSERT_EQ(list.SetPacketBuffer(reinterpret_cast<uintptr_t>(packetBuffer.data())), kStatusSuccess);

    // Shared mode, which the program's own runs reach only where exclusive mode is refused.
    CSoundStreamWASAPI stream;
    stream.bSharedMode = 1;
    stream.uiMaxBitCount = kEffectiveBits;
    stream.bResolutionEnhancer = 0;
    stream.uiPacketFrames = blockFrames;
    double deviceDuration = 0.0;
    ASSERT_EQ(stream.OpenRenderDevice(kRate, &deviceDuration, nullptr), kStatusSuccess);
    ASSERT_EQ(stream.uiBitCount, 32u) << "Wine takes the deepest container in shared mode";
    ASSERT_EQ(stream.StartRender(BufferCallbackFunction, &list), kStatusSuccess);
    ASSERT_EQ(stream.Start(), kStatusSuccess);
    EXPECT_TRUE(WaitUntil([&] { return buffer.GetQueueStatus().uiFillLevel == 0; }, 1, 10000))
        << "the tone was not drained";
    EXPECT_TRUE(WaitUntil(
        [&] { return CaptureHoldsSoundThenSilence(capturePath, (kToneFrames - 2 * blockFrames) * 2, kRate / 10 * 2); },
        50, 600))
        << "the tone and 100 ms of silence after it did not reach the capture file";
    EXPECT_EQ(stream.Stop(), kStatusSuccess);
    pSoundBuffer = nullptr;

    WavFile wav;
    ASSERT_TRUE(wav.Load(capturePath)) << "no capture file";
    EXPECT_EQ(wav.uiSampleRate, kRate);
    EXPECT_EQ(wav.uiBitsPerSample, 32u);
    // Exactly the tone quantized to 16 bits, faded in over its first block and out over its last
    // as the queue runs dry, with nothing missing: not one silent period within it.
    CQuantizer quantizer;
    ASSERT_EQ(quantizer.Initialize(kEffectiveBits, 32, 0), kStatusSuccess);
    const PlayComparison comparison = ComparePlayedTone(wav.Samples32(), tone, blockFrames, quantizer, 32);
    EXPECT_TRUE(comparison.bExact) << "the capture departs from the tone at frame " << comparison.uiMatched;
    EXPECT_EQ(comparison.uiEnd, kToneFrames) << "the tone ends faded out at its last frame";
    EXPECT_GE(comparison.uiOffset, blockFrames * 2) << "the held silent block comes first";
}
