#include "stream/CFrameQueue.h"

#include "runtime/CLockGuard.h"
#include "runtime/Status.h"
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
        return kStatusInvalidArgument;
    if (capacity > kMax / kChannels)
        return kStatusOverflow;
    std::unique_ptr<CRingBuffer> ring;
    const int32_t status = CreateRing(capacity, ring);
    if (status != kStatusSuccess)
        return status;
    CLockGuard guard(m_Lock);
    m_uiGrowthStep = capacity;
    m_dfRate = rate;
    m_uiChannels = kChannels;
    SetCapacity(capacity);
    m_pRing = std::move(ring);
    m_iState = 1;
    return kStatusSuccess;
}

void CFrameQueue::SetCapacity(uint64_t capacity)
{
    FrameQueueWatermarks marks = ComputeWatermarks(capacity, m_uiGrowthStep);
    m_uiCapacity = capacity;
    m_uiLowWatermark = marks.uiLow;
    m_uiMiddleWatermark = marks.uiMiddle;
    m_uiHighWatermark = marks.uiHigh;
}

// Finds the first capacity C + mS (m >= 1) above `capacity` C that `fits`. Every candidate up to
// `floor` is known not to fit, so the search starts above it: the number of candidates tried stays
// small even for absurd offers. -5 when a candidate overflows.
int32_t CFrameQueue::FindGrowthCandidate(uint64_t capacity, uint64_t floor, bool (*fits)(uint64_t, uint64_t, uint64_t),
                                         uint64_t frames, uint64_t* candidate) const
{
    const uint64_t step = m_uiGrowthStep;
    if (step == 0)
        return kStatusOverflow;
    uint64_t steps = floor >= capacity ? (floor - capacity) / step + 1 : 1;
    if (steps > (kMax - capacity) / step)
        return kStatusOverflow;
    uint64_t k = capacity + steps * step;
    while (!fits(k, step, frames))
    {
        if (k > kMax - step)
            return kStatusOverflow;
        k += step;
    }
    *candidate = k;
    return kStatusSuccess;
}

// Whether the queue may grow to capacity: 1, 0 refused by the maximum capacity, -5 too large.
int32_t CFrameQueue::AdmitCapacity(uint64_t capacity) const
{
    if (capacity > kMax / kChannels)
        return kStatusOverflow;
    if (m_uiMaximumCapacity != 0 && capacity > m_uiMaximumCapacity)
        return kStatusNothingDone;
    return kStatusSuccess;
}

// Takes candidate as the new *capacity when the queue may grow to it: 1, 0 refused by the
// maximum capacity, or found's failure or -5.
int32_t CFrameQueue::GrowTo(int32_t found, uint64_t candidate, uint64_t* capacity) const
{
    const int32_t status = found == kStatusSuccess ? AdmitCapacity(candidate) : found;
    if (status == kStatusSuccess)
        *capacity = candidate;
    return status;
}

// The capacity a write of `frames` grows the queue to, decided without allocating: first the
// growth an underrun asked for (ignored when refused), then the two rules in turn. Negative when
// the write fails; *capacity then holds what the queue grew to before the failure.
int32_t CFrameQueue::PlanGrowth(uint64_t frames, uint64_t* capacity) const
{
    uint64_t k = m_uiCapacity;
    if (m_uiPendingCapacity > k && AdmitCapacity(m_uiPendingCapacity) == kStatusSuccess)
        k = m_uiPendingCapacity;
    *capacity = k;
    if (m_bGrowth != 0 || m_uiMaximumCapacity != 0)
    {
        if (frames > kMax - m_uiFillLevel)
            return kStatusOverflow;
        const uint64_t total = m_uiFillLevel + frames;
        if (total > ComputeWatermarks(k, m_uiGrowthStep).uiHigh)
        {
            // high(K) never exceeds 3K/4, so no K up to 4/3 of the total can fit.
            if (total > kMax / 4 * 3)
                return kStatusOverflow;
            uint64_t candidate = 0;
            const int32_t found = FindGrowthCandidate(k, total + total / 3, StaysBelowHigh, total, &candidate);
            const int32_t status = GrowTo(found, candidate, capacity);
            if (status < 0)
                return status;
            k = *capacity;
        }
    }
    if (frames > kMax / 4)
        return kStatusOverflow;
    if (2 * frames >= k - ComputeWatermarks(k, m_uiGrowthStep).uiMiddle)
    {
        // The middle watermark never falls below K/2 - S/2, so no K up to 4n - 2(S/2) can fit.
        const uint64_t halfStepTwice = (m_uiGrowthStep / 2) * 2;
        const uint64_t floor = 4 * frames > halfStepTwice ? 4 * frames - halfStepTwice : 0;
        uint64_t candidate = 0;
        const int32_t found = FindGrowthCandidate(k, floor, LeavesRoomToWriteAhead, frames, &candidate);
        const int32_t status = GrowTo(found, candidate, capacity);
        if (status < 0)
            return status;
    }
    return kStatusSuccess;
}

int32_t CFrameQueue::Write(const double* frames, uint64_t* count)
{
    if (count == nullptr)
        return kStatusInvalidArgument;
    const uint64_t offered = *count;
    *count = 0;
    if (frames == nullptr)
        return kStatusInvalidArgument;
    // A new ring is allocated outside the lock, which the device thread takes between reading
    // the padding and releasing the buffer. Another thread may change the queue meanwhile, so
    // the growth is decided again under the lock, and allocated again if it came out otherwise.
    std::unique_ptr<CRingBuffer> ring;
    uint64_t ringCapacity = 0;
    for (;;)
    {
        uint64_t capacity = 0;
        {
            CLockGuard guard(m_Lock);
            if (m_iState != 1)
                return kStatusFailure;
            const int32_t growth = PlanGrowth(offered, &capacity);
            if (capacity == m_uiCapacity || capacity == ringCapacity)
            {
                if (capacity != m_uiCapacity)
                    Grow(ring, capacity);
                m_uiPendingCapacity = 0;
                return growth < 0 ? growth : Store(frames, offered, count);
            }
        }
        const int32_t status = CreateRing(capacity, ring);
        if (status != kStatusSuccess)
            return status;
        ringCapacity = capacity;
    }
}

// Puts the offered frames into the ring, as many as it holds room for. Under the lock.
int32_t CFrameQueue::Store(const double* frames, uint64_t offered, uint64_t* count)
{
    if (offered > kMax / m_uiChannels)
        return kStatusFailure;
    uint64_t values = offered * m_uiChannels;
    int32_t status = m_pRing->Write(frames, &values);
    uint64_t accepted = values / m_uiChannels;
    if (values % m_uiChannels != 0)
        status = kStatusNotWholeFrames;
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
    if (m_pRing->Read(destination, &values) != kStatusSuccess)
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

// Moves the queued frames into ring, in order, and puts it in place; ring receives the old one,
// to be freed once the lock is left. Under the lock.
void CFrameQueue::Grow(std::unique_ptr<CRingBuffer>& ring, uint64_t capacity)
{
    if (m_pRing != nullptr)
        ring->TakeContentsOf(*m_pRing);
    m_pRing.swap(ring);
    SetCapacity(capacity);
}

int32_t CFrameQueue::CreateRing(uint64_t frames, std::unique_ptr<CRingBuffer>& ring)
{
    ring.reset(new (std::nothrow) CRingBuffer());
    if (ring == nullptr)
        return kStatusNotCreated;
    const int32_t status = ring->Allocate(frames * kChannels);
    if (status != kStatusSuccess)
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
    return kStatusSuccess;
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
        return kStatusFailure;
    *flag = value;
    return kStatusSuccess;
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
        return kStatusFailure;
    m_uiMaximumCapacity = frames;
    return kStatusSuccess;
}
