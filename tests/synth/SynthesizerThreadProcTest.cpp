#include "synth/SynthesizerThreadProc.h"

#include "runtime/CMultimediaTimer.h"
#include "runtime/CWorkerThread.h"
#include "stream/CSoundStreamBuffer.h"
#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"
#include "synth/SynthesizerInputs.h"
#include "tests/stream/StreamTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace
{
constexpr double kRate = 48000.0;
constexpr uint64_t kSynthFrames = 720; // 15 ms
constexpr uint64_t kBlockFrames = 480; // 10 ms
// Seven blocks, which the synthesizer's writes do not fill evenly.
constexpr uint64_t kQueueLimit = 7 * kBlockFrames;
constexpr uint64_t kValuesPerFrame = 2;

using Clock = std::chrono::steady_clock;

// Polls until the synthesizer has filled the queue and is pausing: the fill level is above zero
// and stays put for a while.
bool WaitUntilFull(CSoundStreamBuffer& buffer)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    uint64_t previous = 0;
    int steady = 0;
    while (Clock::now() < deadline)
    {
        Sleep(5);
        const uint64_t fill = buffer.GetQueueStatus().uiFillLevel;
        steady = (fill != 0 && fill == previous) ? steady + 1 : 0;
        previous = fill;
        if (steady == 6)
            return true;
    }
    return false;
}

// Polls until a whole block can be read without an underrun.
bool WaitForBlock(CSoundStreamBuffer& buffer)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline)
    {
        const FrameQueueStatus status = buffer.GetQueueStatus();
        if (status.bRefill == 0 && status.uiFillLevel >= kBlockFrames && status.uiFillLevel >= status.uiLowWatermark)
            return true;
        Sleep(1);
    }
    return false;
}

// Index of the first value where the two differ over their common length, or -1.
long long FirstDifference(const double* a, const double* b, size_t values)
{
    for (size_t i = 0; i < values; ++i)
    {
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0)
            return static_cast<long long>(i);
    }
    return -1;
}

class SynthesizerThreadProcTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CParameterRamp** published[] = {&pLevelRamp,       &pFrequencyRamp,   &pPhaseRamp,
                                        &pAMFrequencyRamp, &pFMFrequencyRamp, &pFMBandwidthRamp};
        const double values[] = {0.5, 1000.0, 0.0, 0.0, 0.0, 0.0};
        for (int i = 0; i < 6; ++i)
        {
            m_Ramps[i].Initialize(values[i]);
            *published[i] = &m_Ramps[i];
        }
        SetFlags(0);
        dfSamplingRate = kRate;
        dfAMPhase = 0.0;
        dfFMPhase = 0.0;
        m_uiFrames = kSynthFrames;
    }

    void TearDown() override
    {
        pLevelRamp = pFrequencyRamp = pPhaseRamp = nullptr;
        pAMFrequencyRamp = pFMFrequencyRamp = pFMBandwidthRamp = nullptr;
        SetFlags(0);
        dfSamplingRate = 0.0;
    }

    static void SetFlags(uint32_t noise)
    {
        bNoise = noise;
        bAM = 0;
        bFM = 0;
        bTrigger = 0;
        bInvertTrigger = 0;
    }

    static void SetUpBuffer(CSoundStreamBuffer& buffer)
    {
        double duration = 0.01;
        ASSERT_EQ(1, buffer.Initialize(kRate, &duration));
        ASSERT_EQ(kBlockFrames, buffer.GetBlockFrames());
        ASSERT_EQ(1, buffer.LimitCapacity(kQueueLimit));
    }

    void Publish(CWorkerThread& worker, CSoundStreamBuffer& buffer)
    {
        ASSERT_EQ(3, PublishSynthesizerInputs(worker, &buffer, &m_Timer, &m_uiFrames));
        ASSERT_EQ(3, worker.AllocateMultichannelBuffer(m_uiFrames * kValuesPerFrame * sizeof(double)));
    }

    // The starter's calling order: parameters, block buffer, one thread, time-critical, start.
    void StartSynthesizer(CWorkerThread& worker, CSoundStreamBuffer& buffer)
    {
        Publish(worker, buffer);
        ASSERT_EQ(1, worker.Prepare(1));
        ASSERT_EQ(1, worker.SetTimeCritical());
        ASSERT_EQ(1, worker.Start(&SynthesizerThreadProc));
    }

    static int64_t StopAndJoin(CWorkerThread& worker)
    {
        worker.RequestStop();
        EXPECT_EQ(1, worker.Join());
        const int64_t result = worker.GetResult(0);
        EXPECT_EQ(1, worker.Release());
        return result;
    }

    // What a fresh synthesizer produces: FillBlock run directly, block by block, from a fresh
    // carrier phase and generator.
    std::vector<double> Expected(uint64_t frames)
    {
        dfAMPhase = 0.0;
        dfFMPhase = 0.0;
        const uint64_t blocks = (frames + kSynthFrames - 1) / kSynthFrames;
        std::vector<double> signal(blocks * kSynthFrames * kValuesPerFrame);
        CRandomMT generator;
        double carrierPhase = 0.0;
        for (uint64_t b = 0; b < blocks; ++b)
            FillBlock(&signal[b * kSynthFrames * kValuesPerFrame], kSynthFrames, &carrierPhase, &generator);
        signal.resize(frames * kValuesPerFrame);
        return signal;
    }

    // What the stream buffer outputs of signal: its first block faded in.
    static std::vector<double> FadedIn(std::vector<double> signal)
    {
        const std::vector<double> ramp = ExpectedFadeRamp(kBlockFrames);
        for (uint64_t j = 0; j < kBlockFrames && j * kValuesPerFrame < signal.size(); ++j)
            for (uint64_t c = 0; c < kValuesPerFrame; ++c)
                signal[j * kValuesPerFrame + c] = ramp[j] * signal[j * kValuesPerFrame + c];
        return signal;
    }

    // Stops the buffer and reads out what the synthesizer queued, one block at a time.
    static std::vector<double> Drain(CSoundStreamBuffer& buffer, uint64_t blocks)
    {
        EXPECT_EQ(1, buffer.RequestStop());
        std::vector<double> output(blocks * kBlockFrames * kValuesPerFrame);
        for (uint64_t b = 0; b < blocks; ++b)
            EXPECT_EQ(1, buffer.Read(&output[b * kBlockFrames * kValuesPerFrame]));
        return output;
    }

    CParameterRamp m_Ramps[6];
    CMultimediaTimer m_Timer;
    uint64_t m_uiFrames = 0;
};
}

TEST_F(SynthesizerThreadProcTest, ReaderOnAnotherThreadGetsTheToneWithoutGaps)
{
    CSoundStreamBuffer buffer;
    SetUpBuffer(buffer);
    CWorkerThread worker;
    StartSynthesizer(worker, buffer);

    // 40 blocks of 10 ms: the synthesizer's 15 ms blocks do not fit the queue's limit evenly, so
    // many of its writes are taken only in part and must go on from the first frame not taken.
    const uint64_t blocks = 40;
    std::vector<double> output(blocks * kBlockFrames * kValuesPerFrame, -9.0);
    bool underrun = false;
    std::thread reader([&] {
        for (uint64_t b = 0; b < blocks; ++b)
        {
            underrun = underrun || !WaitForBlock(buffer);
            buffer.Read(&output[b * kBlockFrames * kValuesPerFrame]);
        }
    });
    reader.join();
    EXPECT_EQ(1, StopAndJoin(worker));
    ASSERT_FALSE(underrun);

    // Output runs one block behind: the first block is the initial silence, then the tone
    // fades in.
    const std::vector<double> silence(kBlockFrames * kValuesPerFrame, 0.0);
    EXPECT_EQ(-1, FirstDifference(output.data(), silence.data(), silence.size()));
    const std::vector<double> expected = Expected((blocks - 1) * kBlockFrames);
    const std::vector<double> played = FadedIn(expected);
    EXPECT_EQ(-1, FirstDifference(output.data() + silence.size(), played.data(), played.size()));
    // It is really the tone: 1 kHz at level 0.5, the carrier phase advanced before each sample.
    for (size_t i = 0; i < 100; ++i)
    {
        const double tone = 0.5 * std::sin(static_cast<double>(i + 1) * 6.283185307179586 * 1000.0 / kRate);
        ASSERT_NEAR(tone, expected[2 * i], 1e-9) << "frame " << i;
        ASSERT_EQ(expected[2 * i], expected[2 * i + 1]) << "frame " << i;
    }
}

// The thread pausing for room sees the stop after its pause: it ends with nothing read from the
// full buffer, and writes nothing more. (Were the stop missed, it would wait for room for ever.)
TEST_F(SynthesizerThreadProcTest, StopWhileTheBufferIsFullEndsTheThreadBeforeAnyRoomIsMade)
{
    CSoundStreamBuffer buffer;
    SetUpBuffer(buffer);
    CWorkerThread worker;
    StartSynthesizer(worker, buffer);
    ASSERT_TRUE(WaitUntilFull(buffer));
    const uint64_t fill = buffer.GetQueueStatus().uiFillLevel;
    EXPECT_EQ(1, StopAndJoin(worker));
    EXPECT_EQ(fill, buffer.GetQueueStatus().uiFillLevel);
}

TEST_F(SynthesizerThreadProcTest, StoppedStreamBufferKeepsTheThreadPausingUntilItsOwnStop)
{
    CSoundStreamBuffer buffer;
    SetUpBuffer(buffer);
    CWorkerThread worker;
    StartSynthesizer(worker, buffer);
    // The thread is writing; once the buffer is stopped, the room that draining makes must
    // stay empty. The short sleep lets a write that passed the stop check just before the
    // request finish while the queue is still full.
    ASSERT_TRUE(WaitUntilFull(buffer));
    ASSERT_EQ(1, buffer.RequestStop());
    Sleep(5);
    while (buffer.GetQueueStatus().uiFillLevel != 0)
        ASSERT_EQ(1, buffer.Read(nullptr));
    Sleep(50);
    EXPECT_EQ(0u, buffer.GetQueueStatus().uiFillLevel);
    // Still running: a thread that had ended would have stored its result.
    EXPECT_EQ(0, worker.GetResult(0));
    EXPECT_EQ(1, StopAndJoin(worker));
}

TEST_F(SynthesizerThreadProcTest, FailingWriteEndsTheThreadWithMinusOne)
{
    // Never set up: every Write is refused.
    CSoundStreamBuffer buffer;
    CWorkerThread worker;
    StartSynthesizer(worker, buffer);
    ASSERT_EQ(1, worker.Join());
    EXPECT_EQ(-1, worker.GetResult(0));
    EXPECT_EQ(1, worker.Release());
}

TEST_F(SynthesizerThreadProcTest, EachMissingOrUnusableInputIsNamedAndEndsTheThreadWithMinusOne)
{
    using namespace SynthesizerInput;
    CSoundStreamBuffer buffer;
    SetUpBuffer(buffer);
    const struct
    {
        const wchar_t* pszName;
        std::function<void(CWorkerThread&)> spoil;
    } rows[] = {
        {kSoundBuffer, [](CWorkerThread& worker) { worker.SetParameter(kSoundBuffer, 0); }},
        {kMultimediaTimer, [](CWorkerThread& worker) { worker.SetParameter(kMultimediaTimer, 0); }},
        {kBufferSizeToWrite, [](CWorkerThread& worker) { worker.SetParameter(kBufferSizeToWrite, 0); }},
        {kBufferSizeToWrite, [this](CWorkerThread&) { m_uiFrames = 0; }},
        {kMultiChannelBuffer,
         [this](CWorkerThread& worker) { worker.AllocateMultichannelBuffer(m_uiFrames * 16 - 1); }},
    };
    for (const auto& row : rows)
    {
        m_uiFrames = kSynthFrames;
        CWorkerThread worker;
        Publish(worker, buffer);
        row.spoil(worker);
        SynthesizerInputs inputs;
        ASSERT_STREQ(row.pszName, ReadSynthesizerInputs(worker, &inputs));
        CWorkerContext context{0, 1, &worker, 0};
        EXPECT_EQ(-1, SynthesizerThreadProc(&context)) << row.pszName;
    }
    EXPECT_EQ(0u, buffer.GetQueueStatus().uiFillLevel);
}

TEST_F(SynthesizerThreadProcTest, TwoRunsInNoiseModeGiveTheSameSamples)
{
    SetFlags(1);
    const uint64_t blocks = 5;
    std::vector<double> runs[2];
    for (std::vector<double>& run : runs)
    {
        CSoundStreamBuffer buffer;
        SetUpBuffer(buffer);
        CWorkerThread worker;
        StartSynthesizer(worker, buffer);
        ASSERT_TRUE(WaitUntilFull(buffer));
        EXPECT_EQ(1, StopAndJoin(worker));
        run = Drain(buffer, blocks + 1);
    }
    const size_t blockValues = kBlockFrames * kValuesPerFrame;
    const std::vector<double> expected = Expected(blocks * kBlockFrames);
    const std::vector<double> played = FadedIn(expected);
    for (const std::vector<double>& run : runs)
        EXPECT_EQ(-1, FirstDifference(run.data() + blockValues, played.data(), played.size()));
    EXPECT_EQ(-1, FirstDifference(runs[0].data(), runs[1].data(), runs[0].size()));
    // Noise, not silence: left equals right, and successive samples differ.
    EXPECT_EQ(expected[0], expected[1]);
    EXPECT_NE(expected[0], expected[2]);
}
