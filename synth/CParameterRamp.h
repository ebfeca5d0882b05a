#pragma once

#include "runtime/CLock.h"
#include "runtime/Status.h"

#include <atomic>
#include <cstdint>

// One control value of the signal, handed to the synthesizer a sample at a time. A new target
// does not jump: the value glides there along a raised-cosine curve over a number of steps.
// One further target that arrives during a glide waits and starts when the running glide ends.
//
// Statuses: 1 done, 0 queued, -1 the ramp holds no value yet, -4 invalid argument.
//
// While no glide runs, GetNext reads the value without the lock: every operation that changes
// what GetNext would return republishes it, under the lock, as its last step. The consumer then
// pays two plain loads per sample instead of a lock round trip; a concurrent change is seen
// either wholly before or wholly after the read.
//
// Values must be numbers within half the double range (so that the difference of any two is
// finite and a glide can never produce NaN); anything else is refused like NaN.
class CParameterRamp
{
public:
    CParameterRamp();
    ~CParameterRamp();
    CParameterRamp(const CParameterRamp&) = delete;
    CParameterRamp& operator=(const CParameterRamp&) = delete;

    // Jumps to value, discarding running and queued glides; an invalid value leaves the ramp
    // without a value.
    int32_t Initialize(double value);
    // Glides to value over the default length.
    int32_t SetTarget(double value);
    int32_t SetTargetWithLength(double value, uint64_t length);
    // Sets the length of glides started later; 0 is ignored.
    void SetDefaultLength(uint64_t length);
    // Stores the next value in out (0.0 and -1 while the ramp holds no value; -4 for a null out).
    int32_t GetNext(double* out)
    {
        // Defined here so that the synthesizer's per-sample reads of a steady ramp inline.
        if (out != nullptr && m_bSteady.load(std::memory_order_acquire) != 0)
        {
            *out = m_dfSteadyValue.load(std::memory_order_relaxed);
            return kStatusSuccess;
        }
        return GetNextUnderLock(out);
    }

private:
    void ClearGlides();
    void EndGlide();
    void Publish();
    int32_t GetNextUnderLock(double* out);
    int32_t Advance(double* out);

    uint32_t m_uiState;
    uint64_t m_uiDefaultLength;
    double m_dfStart;
    double m_dfTarget;
    double m_dfQueuedTarget;
    double m_dfCurrent;
    uint32_t m_bRamping;
    uint32_t m_bQueued;
    uint64_t m_uiPosition;
    uint64_t m_uiLength;
    uint64_t m_uiQueuedLength;
    CLock m_Lock;
    CLock* m_pLockInUse;
    // 1 while the ramp holds a value and no glide runs; m_dfSteadyValue is then that value.
    std::atomic<uint32_t> m_bSteady;
    std::atomic<double> m_dfSteadyValue;
};
