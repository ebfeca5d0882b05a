#include "synth/SynthesizerThreadProc.h"

#include "runtime/CMultimediaTimer.h"
#include "runtime/CWorkerThread.h"
#include "runtime/Status.h"
#include "stream/CSoundStreamBuffer.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"
#include "synth/SynthesizerInputs.h"
#include "tests/stream/StreamTestSupport.h"
#include "tests/synth/SynthStateFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
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

class SynthesizerThreadProcTest : public SynthStateFixture
{
protected:
    static void SetUpBuffer(CSoundStreamBuffer& buffer)
    {
        double duration = 0.01;
        ASSERT_EQ(kStatusSuccess, buffer.Initialize(kRate, &duration));
        ASSERT_EQ(kBlockFrames, buffer.GetBlockFrames());
        ASSERT_EQ(kStatusSuccess, buffer.LimitCapacity(kQueueLimit));
    }

    void Publish(CWorkerThread& worker, CSoundStreamBuffer& buffer)
    {
        ASSERT_EQ(kStatusAdded, PublishSynthesizerInputs(worker, &buffer, &m_Timer, &m_uiFrames));
        ASSERT_EQ(kStatusAdded, worker.AllocateMultichannelBuffer(m_uiFrames * kValuesPerFrame * sizeof(double)));
    }

    // The starter's calling order: parameters, block buffer, one thread, time-critical, start.
    void StartSynthesizer(CWorkerThread& worker, CSoundStreamBuffer& buffer)
    {
        Publish(worker, buffer);
        ASSERT_EQ(kStatusSuccess, worker.Prepare(1));
        ASSERT_EQ(kStatusSuccess, worker.SetTimeCritical());
        ASSERT_EQ(kStatusSuccess, worker.Start(&SynthesizerThreadProc));
    }

    static int64_t StopAndJoin(CWorkerThread& worker)
    {
        worker.RequestStop();
        EXPECT_EQ(kStatusSuccess, worker.Join());
        const int64_t result = worker.GetResult(0);
        EXPECT_EQ(kStatusSuccess, worker.Release());
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
        EXPECT_EQ(kStatusSuccess, buffer.RequestStop());
        std::vector<double> output(blocks * kBlockFrames * kValuesPerFrame);
        for (uint64_t b = 0; b < blocks; ++b)
            EXPECT_EQ(kStatusSuccess, buffer.Read(&output[b * kBlockFrames * kValuesPerFrame]));
        return output;
    }

    CMultimediaTimer m_Timer;
    uint64_t m_uiFrames = kSynthFrames;
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
    for (uint64_t b = 0; b < blocks; ++b)
    {
        underrun = underrun || !WaitForBlock(buffer);
        buffer.Read(&output[b * kBlockFrames * kValuesPerFrame]);
    }
    EXPECT_EQ(1, StopAndJoin(worker));
    ASSERT_FALSE(underrun);

    // Output runs one block behind: the first block is the initial silence, then the tone
    // fades in.
    const std::vector<double> silence(kBlockFrames * kValuesPerFrame, 0.0);
    EXPECT_EQ(-1, FirstDifference(output.data(), silence.data(), silence.size()));
    const std::vector<double> expected = Expected((blocks - 1) * kBlockFrames);
    const std::vector<double> played = FadedIn(expected);
    EXPECT_EQ(-1, FirstDifference(output.data() + silence.size(), played.data(), played.size()));
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
    ASSERT_EQ(kStatusSuccess, buffer.RequestStop());
    Sleep(5);
    while (buffer.GetQueueStatus().uiFillLevel != 0)
        ASSERT_EQ(kStatusSuccess, buffer.Read(nullptr));
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
    ASSERT_EQ(kStatusSuccess, worker.Join());
    EXPECT_EQ(-1, worker.GetResult(0));
    EXPECT_EQ(kStatusSuccess, worker.Release());
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
    bNoise = 1;
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
    const std::vector<double> played = FadedIn(Expected(blocks * kBlockFrames));
    for (const std::vector<double>& run : runs)
        EXPECT_EQ(-1, FirstDifference(run.data() + blockValues, played.data(), played.size()));
}
