#include "runtime/Status.h"
#include "stream/CSoundStreamBuffer.h"

#include "StreamTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr double kRate = 384000.0;
// Ten seconds of audio and a little more, so that the drained end is a short block.
constexpr uint64_t kTotalFrames = 384000 * 10 + 1234;
constexpr uint64_t kProducerBlock = 5760; // 15 ms
constexpr uint64_t kBlock = 3840;         // 10 ms

// Frame k carries (k, 1.0): after a gain g it reads (k g, g), so both the gain and the frame
// index can be recovered from the output.
void FillFrames(std::vector<double>& block, uint64_t first, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i)
    {
        block[2 * i] = static_cast<double>(first + i);
        block[2 * i + 1] = 1.0;
    }
}

// Runs far faster than real time, pausing now and then for up to two milliseconds.
void Pace(std::mt19937& random)
{
    const auto pause = random() % 8 == 0 ? random() % 2000 : 50;
    std::this_thread::sleep_for(std::chrono::microseconds(pause));
}

// Now and then the producer stalls until the consumer has run the queue dry and read again
// while it refills, so that underruns happen however the threads happen to be scheduled.
void MaybeStallUntilUnderrun(std::mt19937& random, CSoundStreamBuffer& buffer, const std::atomic<uint64_t>& reads)
{
    if (random() % 16 != 0)
        return;
    while (buffer.GetQueueStatus().bRefill == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    const uint64_t until = reads.load() + 2;
    while (reads.load() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

int32_t Produce(CSoundStreamBuffer& buffer, const std::atomic<uint64_t>& reads)
{
    std::mt19937 random(1);
    std::vector<double> block(kProducerBlock * 2);
    for (uint64_t first = 0; first < kTotalFrames;)
    {
        const uint64_t count = std::min(kProducerBlock, kTotalFrames - first);
        FillFrames(block, first, count);
        for (uint64_t done = 0; done < count;)
        {
            uint64_t accepted = count - done;
            const int32_t status = buffer.Write(block.data() + 2 * done, &accepted);
            if (status != kStatusSuccess)
                return status;
            done += accepted;
            if (done < count)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        first += count;
        Pace(random);
        MaybeStallUntilUnderrun(random, buffer, reads);
    }
    return kStatusSuccess;
}

// Checks the output frame by frame: it must consist of runs of audio separated by silence; each
// run is a stretch of consecutive producer frames, later than every earlier run, faded in over
// its first block and out over its last block with exactly the buffer's ramp. Keeps only the
// last block of gains of the current run, whose fade-out is known once the run ends.
class OutputChecker
{
public:
    explicit OutputChecker(uint64_t block) : m_Ramp(ExpectedFadeRamp(block)) {}

    void Frame(double value, double gain)
    {
        if (gain == 0.0)
        {
            Check(value == 0.0, "silent frame with a value");
            EndRun();
            return;
        }
        const uint64_t frame = static_cast<uint64_t>(std::llround(value / gain));
        if (!m_bInRun)
        {
            Check(frame >= m_uiNextFrame, "a run repeats or reorders frames");
            m_bInRun = true;
            m_uiRunStart = frame;
            m_uiRunLength = 0;
        }
        Check(frame == m_uiRunStart + m_uiRunLength, "frames within a run are not consecutive");
        m_Tail.push_back(gain);
        ++m_uiRunLength;
        if (m_Tail.size() > m_Ramp.size())
        {
            // At least one block follows this frame: only the fade-in can apply.
            const uint64_t position = m_uiRunLength - m_Tail.size();
            Check(m_Tail.front() == ExpectedGain(position, UINT64_MAX), "gain inside a run");
            m_Tail.pop_front();
        }
    }

    void EndRun()
    {
        if (!m_bInRun)
            return;
        Check(m_uiRunLength >= m_Ramp.size(), "a run shorter than its fade-in");
        for (size_t i = 0; i < m_Tail.size(); ++i)
            Check(m_Tail[i] == ExpectedGain(m_uiRunLength - m_Tail.size() + i, m_uiRunLength), "fade-out shape");
        m_Tail.clear();
        m_bInRun = false;
        m_uiNextFrame = m_uiRunStart + m_uiRunLength;
        m_uiDelivered += m_uiRunLength;
        ++m_uiRuns;
    }

    std::string m_Error;
    uint64_t m_uiRuns = 0;
    uint64_t m_uiDelivered = 0;
    uint64_t m_uiNextFrame = 0;

private:
    // Gain at `position` of a run of `length` frames.
    double ExpectedGain(uint64_t position, uint64_t length) const
    {
        const uint64_t block = m_Ramp.size();
        const double in = position < block ? m_Ramp[position] : 1.0;
        const uint64_t fromEnd = length - 1 - position;
        return fromEnd < block ? in * m_Ramp[fromEnd] : in;
    }

    void Check(bool ok, const char* what)
    {
        if (ok || !m_Error.empty())
            return;
        m_Error = std::string(what) + " (run starting at frame " + std::to_string(m_uiRunStart) + ", position " +
                  std::to_string(m_uiRunLength) + ")";
    }

    std::vector<double> m_Ramp;
    std::deque<double> m_Tail;
    bool m_bInRun = false;
    uint64_t m_uiRunStart = 0;
    uint64_t m_uiRunLength = 0;
};

struct StreamRun
{
    int32_t iWriteStatus = kStatusNothingDone;
    int32_t iReadStatus = kStatusSuccess;
    uint64_t uiFinalCapacity = 0;
};

// One producer writing 15 ms blocks and one consumer reading 10 ms blocks at 384 kHz, the queue
// limited to `limitSeconds`, until every frame is written and the drained output falls silent.
StreamRun RunProducerAndConsumer(double limitSeconds, OutputChecker& checker)
{
    StreamRun run;
    CSoundStreamBuffer buffer;
    double duration = 0.01;
    if (buffer.Initialize(kRate, &duration) != kStatusSuccess || buffer.GetBlockFrames() != kBlock ||
        buffer.LimitCapacity(static_cast<uint64_t>(kRate * limitSeconds)) != kStatusSuccess)
        return run;

    std::atomic<uint64_t> reads{0};
    std::atomic<bool> stopRequested{false};
    std::thread consumer([&] {
        std::mt19937 random(2);
        std::vector<double> destination(kBlock * 2);
        for (int silentAfterStop = 0; silentAfterStop < 3;)
        {
            const bool stopping = stopRequested.load();
            run.iReadStatus = buffer.Read(destination.data());
            ++reads;
            if (run.iReadStatus != kStatusSuccess)
                return;
            bool silent = true;
            for (uint64_t j = 0; j < kBlock; ++j)
            {
                checker.Frame(destination[2 * j], destination[2 * j + 1]);
                silent = silent && destination[2 * j + 1] == 0.0;
            }
            silentAfterStop = stopping && silent ? silentAfterStop + 1 : 0;
            Pace(random);
        }
        checker.EndRun();
    });
    // The consumer starts on an empty queue, so the first audio is faded in like every later run.
    while (reads.load() == 0)
        std::this_thread::yield();
    std::thread producer([&] { run.iWriteStatus = Produce(buffer, reads); });
    producer.join();
    run.uiFinalCapacity = buffer.GetQueueStatus().uiCapacity;
    buffer.RequestStop();
    stopRequested = true;
    consumer.join();
    return run;
}

} // namespace

// A tight limit keeps the queue at its first growth; a looser one lets every underrun grow it by
// a step, moving what it holds.
TEST(StreamConcurrency, EveryFrameComesOutOnceInOrderWithExactFades)
{
    struct Case
    {
        double limitSeconds;
        uint64_t uiCapacityAbove;
    };
    for (const Case& c : {Case{0.07, 0}, Case{0.3, 4 * 2 * kBlock}})
    {
        SCOPED_TRACE(c.limitSeconds);
        OutputChecker checker(kBlock);
        const StreamRun run = RunProducerAndConsumer(c.limitSeconds, checker);
        EXPECT_EQ(kStatusSuccess, run.iWriteStatus);
        EXPECT_EQ(kStatusSuccess, run.iReadStatus);
        EXPECT_EQ("", checker.m_Error);
        // Frames go missing only at underruns: a faded-out output drops a short block rather
        // than play it, so at most the last block can be missing at the end; most frames come
        // through.
        EXPECT_LE(checker.m_uiNextFrame, kTotalFrames);
        EXPECT_LT(kTotalFrames - checker.m_uiNextFrame, kBlock);
        EXPECT_GT(checker.m_uiDelivered, kTotalFrames / 2);
        EXPECT_GT(checker.m_uiRuns, 1u) << "no underrun happened: the fades went untested";
        EXPECT_GT(run.uiFinalCapacity, c.uiCapacityAbove);
        EXPECT_LE(run.uiFinalCapacity, static_cast<uint64_t>(kRate * c.limitSeconds));
    }
}
