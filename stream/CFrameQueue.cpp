#include "stream/CFrameQueue.h"

#include "runtime/CLockGuard.h"
#include "stream/CRingBuffer.h"
#include "stream/ChannelCount.h"

#include <limits>
#include <new>
#include <utility>

namespace
{
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// Rule 1: the queued frames plus the offered ones stay below the high watermark.
bool StaysBelowHigh(uint64_t candidate, uint64_t step, uint64_t queuedAndOffered)
{
    return queuedAndOffered < ComputeWatermarks(candidate, step).uiHigh;
}

// Rule 2: twice the offered frames fit above the middle watermark.
bool LeavesRoomToWriteAhead(uint64_t candidate, uint64_t step, uint64_t offered)
{
    return 2 * offered < candidate - ComputeWatermarks(candidate, step).uiMiddle;
}
} // namespace

FrameQueueWatermarks ComputeWatermarks(uint64_t capacity, uint64_t growthStep)
{
    FrameQueueWatermarks marks{};
    marks.uiLow = capacity / 4;
    uint64_t half = capacity / 2;
    uint64_t halfStep = growthStep / 2;
    marks.uiMiddle = half;
    if (half > halfStep && half - halfStep > marks.uiLow)
        marks.uiMiddle = half - halfStep;
    marks.uiHigh = marks.uiLow + marks.uiMiddle;
    return marks;
}

CFrameQueue::CFrameQueue()
    : m_pRing(), m_iState(0), m_bStop(0), m_bGrowth(1), m_dfRate(0.0), m_uiChannels(0), m_uiGrowthStep(0),
      m_uiMaximumCapacity(0), m_uiCapacity(0), m_uiFillLevel(0), m_uiLowWatermark(0), m_uiMiddleWatermark(0),
      m_uiHighWatermark(0), m_bRefill(0), m_uiPendingCapacity(0)
{
}

CFrameQueue::~CFrameQueue()
{
    Reset();
    m_Lock.Destroy();
}

int32_t CFrameQueue::Initialize(double rate, uint64_t capacity)
{
    Reset();
    if (!(rate > 0.0) || capacity < 4)
        return -4;
    if (capacity > kMax / kChannels)
        return -5;
    std::unique_ptr<CRingBuffer> ring;
    const int32_t status = CreateRing(capacity, ring);
    if (status != 1)
        return status;
    CLockGuard guard(m_Lock);
    m_uiGrowthStep = capacity;
    m_dfRate = rate;
    m_uiChannels = kChannels;
    SetCapacity(capacity);
    m_pRing = std::move(ring);
    m_iState = 1;
    return 1;
}

void CFrameQueue::SetCapacity(uint64_t capacity)
{
    FrameQueueWatermarks marks = ComputeWatermarks(capacity, m_uiGrowthStep);
    m_uiCapacity = capacity;
    m_uiLowWatermark = marks.uiLow;
    m_uiMiddleWatermark = marks.uiMiddle;
    m_uiHighWatermark = marks.uiHigh;
}

// Finds the first capacity C + mS (m >= 1) that `fits`. Every candidate up to `floor` is known
// not to fit, so the search starts above it: the number of candidates tried stays small even for
// absurd offers. -5 when a candidate overflows.
int32_t CFrameQueue::FindGrowthCandidate(uint64_t floor, bool (*fits)(uint64_t, uint64_t, uint64_t), uint64_t frames,
                                         uint64_t* candidate) const
{
    const uint64_t step = m_uiGrowthStep;
    if (step == 0)
        return -5;
    uint64_t steps = floor >= m_uiCapacity ? (floor - m_uiCapacity) / step + 1 : 1;
    if (steps > (kMax - m_uiCapacity) / step)
        return -5;
    uint64_t k = m_uiCapacity + steps * step;
    while (!fits(k, step, frames))
    {
        if (k > kMax - step)
            return -5;
        k += step;
    }
    *candidate = k;
    return 1;
}

// The growth an underrun asked for; its result is ignored, as the maximum capacity may refuse it.
void CFrameQueue::GrowAfterUnderrun()
{
    if (m_uiPendingCapacity > m_uiCapacity)
        Grow(m_uiPendingCapacity);
    m_uiPendingCapacity = 0;
}

int32_t CFrameQueue::GrowForWrite(uint64_t frames)
{
    uint64_t candidate = 0;
    if (m_bGrowth != 0 || m_uiMaximumCapacity != 0)
    {
        if (frames > kMax - m_uiFillLevel)
            return -5;
        uint64_t total = m_uiFillLevel + frames;
        if (total > m_uiHighWatermark)
        {
            // high(K) never exceeds 3K/4, so no K up to 4/3 of the total can fit.
            if (total > kMax / 4 * 3)
                return -5;
            int32_t status = FindGrowthCandidate(total + total / 3, StaysBelowHigh, total, &candidate);
            if (status == 1)
                status = Grow(candidate);
            if (status < 0)
                return status;
        }
    }
    if (frames > kMax / 4)
        return -5;
    if (2 * frames >= m_uiCapacity - m_uiMiddleWatermark)
    {
        // The middle watermark never falls below K/2 - S/2, so no K up to 4n - 2(S/2) can fit.
        uint64_t halfStepTwice = (m_uiGrowthStep / 2) * 2;
        uint64_t floor = 4 * frames > halfStepTwice ? 4 * frames - halfStepTwice : 0;
        int32_t status = FindGrowthCandidate(floor, LeavesRoomToWriteAhead, frames, &candidate);
        if (status == 1)
            status = Grow(candidate);
        if (status < 0)
            return status;
    }
    return 1;
}

int32_t CFrameQueue::Write(const double* frames, uint64_t* count)
{
    if (count == nullptr)
        return -4;
    CLockGuard guard(m_Lock);
    uint64_t offered = *count;
    *count = 0;
    if (frames == nullptr)
        return -4;
    if (m_iState != 1)
        return -1;
    GrowAfterUnderrun();
    int32_t status = GrowForWrite(offered);
    if (status < 0)
        return status;
    if (offered > kMax / m_uiChannels)
        return -1;
    uint64_t values = offered * m_uiChannels;
    status = m_pRing->Write(frames, &values);
    uint64_t accepted = values / m_uiChannels;
    if (values % m_uiChannels != 0)
        status = -99;
    *count = accepted;
    m_uiFillLevel += accepted;
    if (m_bRefill != 0 && m_uiFillLevel >= m_uiMiddleWatermark)
        m_bRefill = 0;
    return status;
}

uint64_t CFrameQueue::Read(double* destination, uint64_t frames)
{
    CLockGuard guard(m_Lock);
    if (m_iState != 1 || frames > kMax / m_uiChannels)
        return 0;
    uint64_t values = frames * m_uiChannels;
    if (m_pRing->Read(destination, &values) != 1)
        return 0;
    uint64_t obtained = values / m_uiChannels;
    if (m_uiFillLevel < obtained)
        return obtained;
    m_uiFillLevel -= obtained;
    if (m_bRefill == 0 && m_bStop == 0 && m_uiFillLevel < m_uiLowWatermark)
    {
        // Underrun: pause reading until refilled, and make room for a deeper cushion. The reader
        // runs between a device's padding query and its buffer release, where nothing may
        // allocate, so the next Write grows the ring.
        m_bRefill = 1;
        if (m_uiCapacity + m_uiGrowthStep > m_uiCapacity)
            m_uiPendingCapacity = m_uiCapacity + m_uiGrowthStep;
    }
    return obtained;
}

int32_t CFrameQueue::Grow(uint64_t capacity)
{
    CLockGuard guard(m_Lock);
    if (capacity < m_uiCapacity)
        return -1;
    if (capacity > kMax / kChannels)
        return -5;
    if (m_uiMaximumCapacity != 0 && capacity > m_uiMaximumCapacity)
        return 0;
    std::unique_ptr<CRingBuffer> ring;
    const int32_t status = CreateRing(capacity, ring);
    if (status != 1)
        return status;
    if (m_pRing != nullptr)
        ring->TakeContentsOf(*m_pRing);
    m_pRing = std::move(ring);
    SetCapacity(capacity);
    return 1;
}

int32_t CFrameQueue::CreateRing(uint64_t frames, std::unique_ptr<CRingBuffer>& ring)
{
    ring.reset(new (std::nothrow) CRingBuffer());
    if (ring == nullptr)
        return -2;
    const int32_t status = ring->Allocate(frames * kChannels);
    if (status != 1)
        ring.reset();
    return status;
}

int32_t CFrameQueue::Reset()
{
    CLockGuard guard(m_Lock);
    m_pRing.reset();
    m_iState = 0;
    m_bStop = 0;
    m_bGrowth = 1;
    m_dfRate = 0.0;
    m_uiChannels = 0;
    m_uiGrowthStep = 0;
    m_uiMaximumCapacity = 0;
    m_uiCapacity = 0;
    m_uiFillLevel = 0;
    m_uiLowWatermark = m_uiMiddleWatermark = m_uiHighWatermark = 0;
    m_bRefill = 0;
    m_uiPendingCapacity = 0;
    return 1;
}

FrameQueueStatus CFrameQueue::GetStatus()
{
    CLockGuard guard(m_Lock);
    FrameQueueStatus status{};
    status.iState = m_iState;
    status.bStop = m_bStop;
    status.bGrowth = m_bGrowth;
    status.bRefill = m_bRefill;
    status.uiCapacity = m_uiCapacity;
    status.uiMaximumCapacity = m_uiMaximumCapacity;
    status.uiFillLevel = m_uiFillLevel;
    status.uiLowWatermark = m_uiLowWatermark;
    status.uiMiddleWatermark = m_uiMiddleWatermark;
    status.uiHighWatermark = m_uiHighWatermark;
    return status;
}

int32_t CFrameQueue::SetFlagWhenReady(int32_t* flag, int32_t value)
{
    CLockGuard guard(m_Lock);
    if (m_iState != 1)
        return -1;
    *flag = value;
    return 1;
}

int32_t CFrameQueue::SetStopFlag()
{
    return SetFlagWhenReady(&m_bStop, 1);
}

int32_t CFrameQueue::ClearGrowthFlag()
{
    return SetFlagWhenReady(&m_bGrowth, 0);
}

int32_t CFrameQueue::SetMaximumCapacity(uint64_t frames)
{
    CLockGuard guard(m_Lock);
    if (m_iState != 1)
        return -1;
    m_uiMaximumCapacity = frames;
    return 1;
}
