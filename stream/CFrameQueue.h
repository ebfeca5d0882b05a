#pragma once

#include "runtime/CLock.h"

#include <cstdint>
#include <memory>

class CRingBuffer;

// Watermarks of a queue of capacity C frames that grows in steps of S frames.
struct FrameQueueWatermarks
{
    uint64_t uiLow;
    uint64_t uiMiddle;
    uint64_t uiHigh;
};
FrameQueueWatermarks ComputeWatermarks(uint64_t capacity, uint64_t growthStep);

// A consistent copy of the queue's fields, taken under its lock.
struct FrameQueueStatus
{
    int32_t iState;
    int32_t bStop;
    int32_t bGrowth;
    int32_t bRefill;
    uint64_t uiCapacity;
    uint64_t uiMaximumCapacity;
    uint64_t uiFillLevel;
    uint64_t uiLowWatermark;
    uint64_t uiMiddleWatermark;
    uint64_t uiHighWatermark;
};

// The adaptive stereo frame queue between the synthesizer and the device thread. It counts in
// frames, grows its ring in steps when the writer runs ahead or the reader runs dry (never
// beyond an optional maximum; only Write allocates, and not under the lock), pauses reading after
// an underrun until it has refilled to the middle watermark, and carries the stream's stop flag.
class CFrameQueue
{
public:
    CFrameQueue();
    ~CFrameQueue();
    CFrameQueue(const CFrameQueue&) = delete;
    CFrameQueue& operator=(const CFrameQueue&) = delete;

    // 1; -4 for a rate that is not positive or a capacity below 4 frames; -5 on overflow;
    // -2 when the ring cannot be created.
    int32_t Initialize(double rate, uint64_t capacity);
    // `count` holds the frames offered and receives the frames accepted; -4 for a null
    // pointer.
    int32_t Write(const double* frames, uint64_t* count);
    // Returns the frames delivered (up to `frames`). Never allocates: the growth an underrun
    // asks for waits for the next Write.
    uint64_t Read(double* destination, uint64_t frames);
    int32_t Reset();

    // The stream buffer's view of the queue; each takes the queue's lock.
    FrameQueueStatus GetStatus();
    // 1 when the queue is ready and the flag was changed, else -1.
    int32_t SetStopFlag();
    int32_t ClearGrowthFlag();
    int32_t SetMaximumCapacity(uint64_t frames);

private:
    int32_t PlanGrowth(uint64_t frames, uint64_t* capacity) const;
    int32_t FindGrowthCandidate(uint64_t capacity, uint64_t floor, bool (*fits)(uint64_t, uint64_t, uint64_t),
                                uint64_t frames, uint64_t* candidate) const;
    int32_t AdmitCapacity(uint64_t capacity) const;
    int32_t GrowTo(int32_t found, uint64_t candidate, uint64_t* capacity) const;
    static int32_t CreateRing(uint64_t frames, std::unique_ptr<CRingBuffer>& ring);
    void Grow(std::unique_ptr<CRingBuffer>& ring, uint64_t capacity);
    int32_t Store(const double* frames, uint64_t offered, uint64_t* count);
    void SetCapacity(uint64_t capacity);
    int32_t SetFlagWhenReady(int32_t* flag, int32_t value);

    std::unique_ptr<CRingBuffer> m_pRing;
    int32_t m_iState;
    int32_t m_bStop;
    int32_t m_bGrowth;
    double m_dfRate;
    uint64_t m_uiChannels;
    uint64_t m_uiGrowthStep;
    uint64_t m_uiMaximumCapacity;
    uint64_t m_uiCapacity;
    uint64_t m_uiFillLevel;
    uint64_t m_uiLowWatermark;
    uint64_t m_uiMiddleWatermark;
    uint64_t m_uiHighWatermark;
    int32_t m_bRefill;
    // Capacity an underrun asked for, granted by the next Write (0: none).
    uint64_t m_uiPendingCapacity;
    CLock m_Lock;
};
