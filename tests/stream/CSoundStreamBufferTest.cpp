#include "stream/CSoundStreamBuffer.h"

#include "StreamTestSupport.h"
#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace
{
constexpr uint64_t B = 8; // block frames at 800 Hz and 10 ms

// Frame k is (k + 1, -(k + 1)), so that audio never looks like silence.
std::vector<double> Frames(uint64_t first, uint64_t count)
{
    std::vector<double> frames;
    for (uint64_t k = first; k < first + count; ++k)
    {
        frames.push_back(static_cast<double>(k + 1));
        frames.push_back(-static_cast<double>(k + 1));
    }
    return frames;
}

class SoundStreamBufferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        double duration = 0.01;
        ASSERT_EQ(kStatusSuccess, buffer.Initialize(800.0, &duration));
        ASSERT_EQ(B, buffer.GetBlockFrames());
        // The initial capacity as the maximum keeps the watermarks fixed: low 4, middle 8.
        ASSERT_EQ(kStatusSuccess, buffer.LimitCapacity(2 * B));
    }

    void Write(uint64_t first, uint64_t count)
    {
        std::vector<double> frames = Frames(first, count);
        uint64_t accepted = count;
        ASSERT_EQ(kStatusSuccess, buffer.Write(frames.data(), &accepted));
        ASSERT_EQ(count, accepted);
    }

    // Reads one block: frames first, first + 1, ... of the input scaled by `gains`, then silence.
    void ExpectRead(uint64_t first, const std::vector<double>& gains)
    {
        std::vector<double> out(B * 2, -99.0);
        ASSERT_EQ(kStatusSuccess, buffer.Read(out.data()));
        for (uint64_t j = 0; j < B; ++j)
        {
            const double value = j < gains.size() ? static_cast<double>(first + j + 1) * gains[j] : 0.0;
            EXPECT_EQ(value, out[j * 2]) << "frame " << j;
            EXPECT_EQ(-value, out[j * 2 + 1]) << "frame " << j;
        }
    }

    void ExpectSilentRead() { ExpectRead(0, {}); }

    // Brings the output to running: the empty start fades out, 16 frames arrive, the first
    // block is faded in and output; frames 8..15 are held, the queue is empty and refilling.
    void StartRunning()
    {
        ExpectSilentRead();
        Write(0, 16);
        ExpectSilentRead();
        ExpectRead(0, ramp);
    }

    CSoundStreamBuffer buffer;
    const std::vector<double> ramp = ExpectedFadeRamp(B);
    const std::vector<double> fadeOut{ramp.rbegin(), ramp.rend()};
};
} // namespace

TEST(CSoundStreamBufferInitialize, SizesTheBlockFromRateAndDuration)
{
    CSoundStreamBuffer buffer;
    double duration = 0.01;
    ASSERT_EQ(kStatusSuccess, buffer.Initialize(44100.0, &duration));
    EXPECT_EQ(441u, buffer.GetBlockFrames());
    EXPECT_EQ(0.01, duration);
    EXPECT_EQ(2u, buffer.GetChannels());
    // One block plus the middle watermark (441 of 882) of the queue.
    EXPECT_DOUBLE_EQ(0.02, buffer.GetLatency());

    duration = 0.01;
    ASSERT_EQ(kStatusSuccess, buffer.Initialize(22050.0, &duration));
    EXPECT_EQ(221u, buffer.GetBlockFrames());
    EXPECT_EQ(221.0 / 22050.0, duration);
}

TEST(CSoundStreamBufferInitialize, RejectsImpossibleSettingsAndStaysReleased)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        double rate, duration;
        int32_t status;
    };
    for (const Case& c : {Case{100.0, 0.01, kStatusInvalidArgument}, Case{0.0, 0.01, kStatusInvalidArgument},
                          Case{-44100.0, 0.01, kStatusInvalidArgument}, Case{nan, 0.01, kStatusInvalidArgument},
                          Case{44100.0, 0.0, kStatusInvalidArgument}, Case{44100.0, nan, kStatusInvalidArgument},
                          Case{1e-300, 1e-300, kStatusFailure}, Case{1e300, 1e300, kStatusOverflow},
                          Case{9.3e18, 1.0, kStatusOverflow}, Case{4.7e18, 1.0, kStatusNotCreated}})
    {
        CSoundStreamBuffer buffer;
        double duration = 0.01;
        ASSERT_EQ(kStatusSuccess, buffer.Initialize(44100.0, &duration));
        duration = c.duration;
        EXPECT_EQ(c.status, buffer.Initialize(c.rate, &duration)) << c.rate << " " << c.duration;
        EXPECT_EQ(0u, buffer.GetBlockFrames());
        EXPECT_EQ(0.0, buffer.GetLatency());
        EXPECT_EQ(kStatusFailure, buffer.Read(nullptr));
        EXPECT_EQ(kStatusNothingDone, buffer.RequestStop());
        EXPECT_EQ(kStatusFailure, buffer.LimitCapacity(100));
    }
    CSoundStreamBuffer buffer;
    EXPECT_EQ(kStatusInvalidArgument, buffer.Initialize(44100.0, nullptr));
}

TEST(CSoundStreamBufferInitialize, WriteBeforeSetUpIsRefused)
{
    CSoundStreamBuffer buffer;
    double frame[2] = {0.5, 0.5};
    uint64_t count = 1;
    EXPECT_EQ(kStatusFailure, buffer.Write(frame, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(kStatusSuccess, buffer.Release());
    EXPECT_EQ(kStatusSuccess, buffer.Release());
}

TEST_F(SoundStreamBufferTest, AbsentFramesAreRefused)
{
    uint64_t count = 4;
    EXPECT_EQ(kStatusInvalidArgument, buffer.Write(nullptr, &count));
    EXPECT_EQ(0u, count);
    const double frame[2] = {0.5, 0.5};
    EXPECT_EQ(kStatusInvalidArgument, buffer.Write(frame, nullptr));
    EXPECT_EQ(0u, buffer.GetQueueStatus().uiFillLevel);
}

TEST_F(SoundStreamBufferTest, OutputsSilenceUntilTheLowWatermarkIsReached)
{
    ExpectSilentRead();
    Write(0, 3); // below the low watermark of 4
    ExpectSilentRead();
    ExpectSilentRead();
    EXPECT_EQ(3u, buffer.GetQueueStatus().uiFillLevel);
}

TEST_F(SoundStreamBufferTest, OutputRunsOneBlockBehindTheQueue)
{
    StartRunning();
    Write(16, 8); // fill 8 reaches the middle watermark: refill ends
    ExpectRead(8, std::vector<double>(B, 1.0));
}

TEST_F(SoundStreamBufferTest, ShortReadFadesTheLastBlockOfAudioContinuously)
{
    StartRunning();
    Write(16, 13);
    // A read without destination still advances: frames 8..15 go nowhere, 16..23 are held and
    // 5 frames are left (not below low).
    ASSERT_EQ(kStatusSuccess, buffer.Read(nullptr));
    // Only 5 frames come: the last 8 frames of audio (21..28) fade from ramp[7] to ramp[0].
    ExpectRead(16, {1, 1, 1, 1, 1, ramp[7], ramp[6], ramp[5]});
    ExpectRead(24, {ramp[4], ramp[3], ramp[2], ramp[1], ramp[0]});
    ExpectSilentRead();
}

TEST_F(SoundStreamBufferTest, UnderrunWhileRefillingFadesTheHeldBlock)
{
    StartRunning();
    Write(16, 5); // refilling: 5 < 8
    ExpectRead(8, fadeOut);
    ExpectSilentRead();
    EXPECT_EQ(5u, buffer.GetQueueStatus().uiFillLevel);
}

TEST_F(SoundStreamBufferTest, StopDrainsBelowTheWatermarksThenFallsSilent)
{
    StartRunning();
    Write(16, 3); // below the low watermark and refilling
    EXPECT_EQ(kStatusSuccess, buffer.RequestStop());
    std::vector<double> frames = Frames(19, 4);
    uint64_t count = 4;
    EXPECT_EQ(kStatusNothingDone, buffer.Write(frames.data(), &count));
    EXPECT_EQ(0u, count);
    ExpectRead(8, {1, 1, 1, ramp[7], ramp[6], ramp[5], ramp[4], ramp[3]});
    ExpectRead(16, {ramp[2], ramp[1], ramp[0]});
    ExpectSilentRead();
    EXPECT_EQ(0u, buffer.GetQueueStatus().uiFillLevel);
}

TEST_F(SoundStreamBufferTest, InitializeAgainStartsAfresh)
{
    StartRunning();
    ExpectRead(8, fadeOut); // now faded out
    ASSERT_EQ(kStatusSuccess, buffer.RequestStop());
    double duration = 0.01;
    ASSERT_EQ(kStatusSuccess, buffer.Initialize(800.0, &duration));
    FrameQueueStatus status = buffer.GetQueueStatus();
    EXPECT_EQ(0, status.bStop);
    EXPECT_EQ(0u, status.uiFillLevel);
    EXPECT_EQ(0u, status.uiMaximumCapacity);
    EXPECT_EQ(0, status.bGrowth);
    ASSERT_EQ(kStatusSuccess, buffer.LimitCapacity(2 * B));
    // Faded out from the start: a queue filled before the first read still fades in, so
    // playback never starts with a click.
    Write(0, 16);
    ExpectSilentRead();
    ExpectRead(0, ramp);
}
