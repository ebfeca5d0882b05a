#include "stream/CFrameQueue.h"
#include "runtime/Status.h"
#include "stream/CRingBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <new>
#include <thread>
#include <vector>

// Run once by the next allocation of a ring's storage, on the allocating thread.
std::function<void()> g_WhileAllocating;

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    std::function<void()> action;
    action.swap(g_WhileAllocating);
    if (action)
        action();
    try
    {
        return ::operator new[](size);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

namespace
{
// Frames whose values identify them: left = index, right = -index.
std::vector<double> NumberedFrames(uint64_t first, uint64_t count)
{
    std::vector<double> frames;
    for (uint64_t i = 0; i < count; ++i)
    {
        frames.push_back(static_cast<double>(first + i));
        frames.push_back(-static_cast<double>(first + i));
    }
    return frames;
}

uint64_t WriteFrames(CFrameQueue& queue, uint64_t first, uint64_t count, int32_t expectedStatus = kStatusSuccess)
{
    std::vector<double> frames = NumberedFrames(first, count);
    uint64_t accepted = count;
    EXPECT_EQ(expectedStatus, queue.Write(frames.data(), &accepted));
    return accepted;
}

void ExpectFramesInOrder(CFrameQueue& queue, uint64_t first, uint64_t count)
{
    std::vector<double> out(count * 2, -1.0);
    ASSERT_EQ(count, queue.Read(out.data(), count));
    EXPECT_EQ(NumberedFrames(first, count), out);
}
} // namespace

TEST(CRingBuffer, WrapsPartialWritesAroundTheEnd)
{
    CRingBuffer ring;
    ASSERT_EQ(kStatusSuccess, ring.Allocate(8));
    double in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    double out[8] = {};
    uint64_t n = 6;
    ASSERT_EQ(kStatusSuccess, ring.Write(in, &n));
    n = 4;
    ASSERT_EQ(kStatusSuccess, ring.Read(out, &n));
    // Write index 6, 2 values stored: 6 of the 8 offered fit, 2 at the end and 4 at the start.
    n = 8;
    ASSERT_EQ(kStatusSuccess, ring.Write(in, &n));
    EXPECT_EQ(6u, n);
    EXPECT_EQ(8u, ring.GetCount());
    n = 8;
    ASSERT_EQ(kStatusSuccess, ring.Read(out, &n));
    ASSERT_EQ(8u, n);
    const double expected[8] = {5, 6, 1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(expected[i], out[i]) << i;
}

TEST(CRingBuffer, RefusesNullAndUnallocatedTransfers)
{
    CRingBuffer ring;
    double value = 1.0;
    uint64_t n = 1;
    EXPECT_EQ(kStatusFailure, ring.Write(&value, &n));
    EXPECT_EQ(0u, n);
    ASSERT_EQ(kStatusSuccess, ring.Allocate(4));
    n = 1;
    EXPECT_EQ(kStatusInvalidArgument, ring.Write(nullptr, &n));
    EXPECT_EQ(0u, n);
    n = 1;
    EXPECT_EQ(kStatusInvalidArgument, ring.Read(nullptr, &n));
    EXPECT_EQ(kStatusInvalidArgument, ring.Write(&value, nullptr));
    EXPECT_EQ(kStatusInvalidArgument, ring.Read(&value, nullptr));
    EXPECT_EQ(kStatusSuccess, ring.Free());
    EXPECT_EQ(kStatusNothingDone, ring.Free());
}

TEST(ComputeWatermarks, FollowsTheCapacityAndGrowthStep)
{
    struct Case
    {
        uint64_t capacity, low, middle, high;
    };
    for (const Case& c :
         {Case{882, 220, 441, 661}, Case{1764, 441, 882, 1323}, Case{2646, 661, 882, 1543}, Case{4, 1, 2, 3}})
    {
        FrameQueueWatermarks marks = ComputeWatermarks(c.capacity, c.capacity == 4 ? 4 : 882);
        EXPECT_EQ(c.low, marks.uiLow) << c.capacity;
        EXPECT_EQ(c.middle, marks.uiMiddle) << c.capacity;
        EXPECT_EQ(c.high, marks.uiHigh) << c.capacity;
    }
}

TEST(CFrameQueue, InitializeChecksRateAndCapacity)
{
    CFrameQueue queue;
    EXPECT_EQ(kStatusInvalidArgument, queue.Initialize(44100.0, 3));
    EXPECT_EQ(kStatusInvalidArgument, queue.Initialize(0.0, 882));
    EXPECT_EQ(kStatusInvalidArgument, queue.Initialize(std::numeric_limits<double>::quiet_NaN(), 882));
    EXPECT_EQ(kStatusOverflow, queue.Initialize(44100.0, std::numeric_limits<uint64_t>::max() / 2 + 1));
    EXPECT_EQ(0, queue.GetStatus().iState);
    ASSERT_EQ(kStatusSuccess, queue.Initialize(44100.0, 4));
    FrameQueueStatus status = queue.GetStatus();
    EXPECT_EQ(1, status.iState);
    EXPECT_EQ(1, status.bGrowth);
    EXPECT_EQ(4u, status.uiCapacity);
}

TEST(CFrameQueue, WriteAheadGrowsToTheFirstFittingCandidateWithinTheMaximum)
{
    CFrameQueue queue;
    ASSERT_EQ(kStatusSuccess, queue.Initialize(44100.0, 882));
    ASSERT_EQ(kStatusSuccess, queue.SetMaximumCapacity(2646));
    // 661 does not pass the high watermark 661; write-ahead needs 441 + 1322 < K: 2646, which
    // the maximum allows.
    EXPECT_EQ(661u, WriteFrames(queue, 0, 661));
    FrameQueueStatus status = queue.GetStatus();
    EXPECT_EQ(2646u, status.uiCapacity);
    EXPECT_EQ(661u, status.uiFillLevel);
    EXPECT_EQ(661u, status.uiLowWatermark);
    EXPECT_EQ(882u, status.uiMiddleWatermark);
    EXPECT_EQ(1543u, status.uiHighWatermark);
    ExpectFramesInOrder(queue, 0, 661);
}

// The device thread takes the lock between reading the padding and releasing the buffer: a
// write allocates its new ring without holding it, and heeds what changed meanwhile.
TEST(CFrameQueue, GrowthAllocatesOutsideTheLockAndHeedsAMaximumSetMeanwhile)
{
    CFrameQueue queue;
    ASSERT_EQ(kStatusSuccess, queue.Initialize(44100.0, 882));
    std::atomic<bool> limited{false};
    bool limitedInTime = false;
    std::thread other;
    g_WhileAllocating = [&] {
        other = std::thread([&] { limited = queue.SetMaximumCapacity(1000) == kStatusSuccess; });
        for (int ms = 0; ms < 2000 && !limited; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        limitedInTime = limited;
    };
    // 1000 frames would grow the ring to 3528 frames; under the new maximum it stays and takes
    // what fits, and the next write waits for the reader.
    EXPECT_EQ(882u, WriteFrames(queue, 0, 1000));
    other.join();
    EXPECT_TRUE(limitedInTime) << "the queue was locked while its new ring was allocated";
    EXPECT_EQ(882u, queue.GetStatus().uiCapacity);
    EXPECT_EQ(0u, WriteFrames(queue, 882, 10));
    ExpectFramesInOrder(queue, 0, 882);
}

TEST(CFrameQueue, KeepsOrderAcrossGrowthWhenTheOldRingWrapped)
{
    CFrameQueue queue;
    ASSERT_EQ(kStatusSuccess, queue.Initialize(1000.0, 8)); // low 2, middle 4, high 6
    for (uint64_t i = 0; i < 6; ++i)
        ASSERT_EQ(1u, WriteFrames(queue, i, 1));
    ExpectFramesInOrder(queue, 0, 3);
    // Frames 6 and 7 fill the end of the ring, frame 8 wraps to its first slot.
    for (uint64_t i = 6; i < 9; ++i)
        ASSERT_EQ(1u, WriteFrames(queue, i, 1));
    ASSERT_EQ(8u, queue.GetStatus().uiCapacity);
    // Passing the high watermark grows the ring; the wrapped contents move in order.
    ASSERT_EQ(1u, WriteFrames(queue, 9, 1));
    EXPECT_EQ(16u, queue.GetStatus().uiCapacity);
    ExpectFramesInOrder(queue, 3, 7);
}

// The reader runs where nothing may allocate: the ring grows on the next write instead.
TEST(CFrameQueue, UnderrunGrowsByOneStepAtTheNextWriteWithoutAMaximum)
{
    CFrameQueue queue;
    ASSERT_EQ(kStatusSuccess, queue.Initialize(44100.0, 882));
    ASSERT_EQ(kStatusSuccess, queue.ClearGrowthFlag());
    ASSERT_EQ(200u, WriteFrames(queue, 0, 200));
    ASSERT_EQ(882u, queue.GetStatus().uiCapacity);
    std::vector<double> out(200);
    ASSERT_EQ(100u, queue.Read(out.data(), 100));
    FrameQueueStatus status = queue.GetStatus();
    EXPECT_EQ(1, status.bRefill);
    EXPECT_EQ(882u, status.uiCapacity);
    ASSERT_EQ(1u, WriteFrames(queue, 200, 1));
    EXPECT_EQ(1764u, queue.GetStatus().uiCapacity);
    ExpectFramesInOrder(queue, 100, 101);
}

TEST(CFrameQueue, AbsurdOffersFinishPromptly)
{
    CFrameQueue queue;
    ASSERT_EQ(kStatusSuccess, queue.Initialize(44100.0, 882));
    ASSERT_EQ(kStatusSuccess, queue.SetMaximumCapacity(882));
    std::vector<double> frames = NumberedFrames(0, 882);
    uint64_t count = uint64_t{1} << 40;
    EXPECT_EQ(kStatusSuccess, queue.Write(frames.data(), &count));
    EXPECT_EQ(882u, count);
    count = std::numeric_limits<uint64_t>::max();
    EXPECT_EQ(kStatusOverflow, queue.Write(frames.data(), &count));
    EXPECT_EQ(0u, count);
    ExpectFramesInOrder(queue, 0, 882);
}

TEST(CFrameQueue, RejectsNullAndUnreadyUse)
{
    CFrameQueue queue;
    double frame[2] = {0.0, 0.0};
    uint64_t count = 1;
    EXPECT_EQ(kStatusInvalidArgument, queue.Write(nullptr, &count));
    EXPECT_EQ(0u, count);
    count = 1;
    EXPECT_EQ(kStatusFailure, queue.Write(frame, &count));
    EXPECT_EQ(0u, queue.Read(frame, 1));
    EXPECT_EQ(kStatusFailure, queue.SetStopFlag());
    ASSERT_EQ(kStatusSuccess, queue.Initialize(44100.0, 8));
    EXPECT_EQ(kStatusInvalidArgument, queue.Write(frame, nullptr));
    EXPECT_EQ(0u, queue.Read(nullptr, 1));
    EXPECT_EQ(kStatusSuccess, queue.Reset());
    FrameQueueStatus status = queue.GetStatus();
    EXPECT_EQ(0, status.iState);
    EXPECT_EQ(1, status.bGrowth);
    EXPECT_EQ(0u, status.uiCapacity);
}
