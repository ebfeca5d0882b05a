#pragma once

#include <cstdint>

// Elapsed-time counter with a start and a stop mark. Nobody deletes through it, hence the
// protected, non-virtual destructor.
class STimer
{
public:
    // Counts per second.
    virtual int32_t GetFrequency(uint64_t* out) = 0;
    virtual int32_t GetCounter(uint64_t* out) = 0;
    // Marks the start: 1, or the counter's failure status.
    virtual int32_t Start();
    // Marks the stop: 1, or -1 when not running.
    virtual int32_t Stop();

    uint32_t IsRunning() const { return m_bRunning; }
    uint32_t IsMeasured() const { return m_bMeasured; }
    uint64_t GetStartCount() const { return m_uiStartCount; }
    uint64_t GetStopCount() const { return m_uiStopCount; }

protected:
    STimer() = default;
    ~STimer();
    STimer(const STimer&) = delete;
    STimer& operator=(const STimer&) = delete;

    uint32_t m_bRunning = 0;
    uint32_t m_bMeasured = 0;
    uint64_t m_uiStartCount = 0;
    uint64_t m_uiStopCount = 0;
};
