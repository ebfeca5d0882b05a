#include "synth/CParameterRamp.h"

#include "runtime/CLockGuard.h"
#include "runtime/Status.h"

#include <cfloat>
#include <cmath>

namespace
{
constexpr double Pi = 3.141592653589793;

// Half the double range: the difference of two accepted values cannot overflow.
bool IsAcceptedValue(double value)
{
    return std::fabs(value) <= DBL_MAX * 0.5;
}
}

CParameterRamp::CParameterRamp()
    : m_uiState(0), m_uiDefaultLength(0), m_dfStart(0.0), m_dfTarget(0.0), m_dfQueuedTarget(0.0), m_dfCurrent(0.0),
      m_bRamping(0), m_bQueued(0), m_uiPosition(0), m_uiLength(0), m_uiQueuedLength(0), m_Lock(), m_pLockInUse(&m_Lock),
      m_bSteady(0), m_dfSteadyValue(0.0)
{
}

CParameterRamp::~CParameterRamp()
{
    m_pLockInUse = nullptr;
    m_Lock.Destroy();
}

void CParameterRamp::ClearGlides()
{
    m_dfStart = 0.0;
    m_dfTarget = 0.0;
    m_dfQueuedTarget = 0.0;
    m_dfCurrent = 0.0;
    m_bRamping = 0;
    m_bQueued = 0;
    m_uiPosition = 0;
    m_uiLength = 0;
    m_uiQueuedLength = 0;
}

int32_t CParameterRamp::Initialize(double value)
{
    CLockGuard guard(m_pLockInUse);
    m_uiState = 0;
    m_uiDefaultLength = 0;
    ClearGlides();
    if (!IsAcceptedValue(value))
    {
        Publish();
        return kStatusInvalidArgument;
    }
    m_dfStart = value;
    m_dfCurrent = value;
    m_uiDefaultLength = 1;
    m_uiState = 1;
    Publish();
    return kStatusSuccess;
}

int32_t CParameterRamp::SetTarget(double value)
{
    if (!IsAcceptedValue(value))
        return kStatusInvalidArgument;
    uint64_t length = 0;
    {
        CLockGuard guard(m_pLockInUse);
        if (m_uiState != 1)
            return kStatusFailure;
        length = m_uiDefaultLength;
    }
    return SetTargetWithLength(value, length);
}

int32_t CParameterRamp::SetTargetWithLength(double value, uint64_t length)
{
    CLockGuard guard(m_pLockInUse);
    if (!IsAcceptedValue(value) || length == 0)
        return kStatusInvalidArgument;
    if (m_uiState != 1)
        return kStatusFailure;
    if (m_bRamping != 0)
    {
        // At most one glide waits: a later target replaces it.
        m_dfQueuedTarget = value;
        m_uiQueuedLength = length;
        m_bQueued = 1;
        return kStatusNothingDone;
    }
    m_dfTarget = value;
    m_uiLength = length;
    m_uiPosition = 0;
    m_bRamping = 1;
    Publish();
    return kStatusSuccess;
}

void CParameterRamp::SetDefaultLength(uint64_t length)
{
    if (length == 0)
        return;
    CLockGuard guard(m_pLockInUse);
    if (m_uiState == 1)
        m_uiDefaultLength = length;
}

void CParameterRamp::Publish()
{
    if (m_uiState == 1 && m_bRamping == 0)
    {
        m_dfSteadyValue.store(m_dfCurrent, std::memory_order_relaxed);
        m_bSteady.store(1, std::memory_order_release);
    }
    else
    {
        m_bSteady.store(0, std::memory_order_release);
    }
}

int32_t CParameterRamp::GetNextUnderLock(double* out)
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    CLockGuard guard(m_pLockInUse);
    return Advance(out);
}

int32_t CParameterRamp::Advance(double* out)
{
    *out = 0.0;
    if (m_uiState != 1)
        return kStatusFailure;
    if (m_bRamping == 0)
    {
        *out = m_dfCurrent;
        return kStatusSuccess;
    }
    if (m_uiPosition >= m_uiLength)
    {
        // The last step lands exactly on the target (the curve's formula could miss it by
        // a rounding step, and the next glide starts from the target).
        m_dfCurrent = m_dfTarget;
    }
    else
    {
        const double x = static_cast<double>(m_uiPosition) / static_cast<double>(m_uiLength);
        const double w = 0.5 - std::cos(x * Pi) * 0.5;
        m_dfCurrent = (m_dfTarget - m_dfStart) * w + m_dfStart;
    }
    *out = m_dfCurrent;
    if (++m_uiPosition > m_uiLength)
    {
        EndGlide();
        Publish();
    }
    return kStatusSuccess;
}

void CParameterRamp::EndGlide()
{
    m_dfStart = m_dfTarget;
    m_bRamping = 0;
    m_uiPosition = 0;
    m_dfTarget = 0.0;
    m_uiLength = 0;
    if (m_bQueued == 0)
        return;
    m_dfTarget = m_dfQueuedTarget;
    m_uiLength = m_uiQueuedLength;
    m_dfQueuedTarget = 0.0;
    m_uiQueuedLength = 0;
    m_bQueued = 0;
    m_bRamping = 1;
}
