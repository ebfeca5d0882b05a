#include "runtime/STimer.h"

#include "runtime/Status.h"

STimer::~STimer()
{
    m_bRunning = 0;
    m_bMeasured = 0;
    m_uiStartCount = 0;
    m_uiStopCount = 0;
}

int32_t STimer::Start()
{
    uint64_t count = 0;
    const int32_t status = GetCounter(&count);
    if (status < 0)
        return status;
    m_uiStartCount = count;
    m_bRunning = 1;
    m_bMeasured = 0;
    return kStatusSuccess;
}

int32_t STimer::Stop()
{
    if (m_bRunning == 0)
        return kStatusFailure;
    GetCounter(&m_uiStopCount);
    m_bRunning = 0;
    m_bMeasured = 1;
    return kStatusSuccess;
}
