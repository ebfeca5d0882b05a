#include "stream/CRingBuffer.h"

#include "runtime/CLockGuard.h"
#include "runtime/Status.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

CRingBuffer::CRingBuffer()
    : m_iState(0), m_pdfStorage(nullptr), m_uiCapacity(0), m_uiCount(0), m_uiWriteIndex(0), m_uiReadIndex(0)
{
}

CRingBuffer::~CRingBuffer()
{
    Free();
    m_Lock.Destroy();
}

int32_t CRingBuffer::Allocate(uint64_t values)
{
    CLockGuard guard(m_Lock);
    Free();
    if (values == 0)
        return kStatusInvalidArgument;
    if (values > SIZE_MAX / sizeof(double))
        return kStatusOverflow;
    m_pdfStorage = new (std::nothrow) double[static_cast<size_t>(values)]();
    if (m_pdfStorage == nullptr)
        return kStatusNotCreated;
    m_uiCapacity = values;
    m_iState = 1;
    return kStatusSuccess;
}

int32_t CRingBuffer::Free()
{
    CLockGuard guard(m_Lock);
    if (m_iState != 1)
        return kStatusNothingDone;
    delete[] m_pdfStorage;
    m_pdfStorage = nullptr;
    m_uiCapacity = m_uiCount = m_uiWriteIndex = m_uiReadIndex = 0;
    m_iState = 0;
    return kStatusSuccess;
}

// Advances an index by n slots (n never exceeds the capacity), wrapping at the end.
static uint64_t Advance(uint64_t index, uint64_t n, uint64_t capacity)
{
    uint64_t room = capacity - index;
    return n >= room ? n - room : index + n;
}

void CRingBuffer::CopyIn(const double* source, uint64_t values)
{
    uint64_t first = std::min(values, m_uiCapacity - m_uiWriteIndex);
    std::memcpy(m_pdfStorage + m_uiWriteIndex, source, static_cast<size_t>(first) * sizeof(double));
    std::memcpy(m_pdfStorage, source + first, static_cast<size_t>(values - first) * sizeof(double));
    m_uiWriteIndex = Advance(m_uiWriteIndex, values, m_uiCapacity);
    m_uiCount += values;
}

void CRingBuffer::CopyOut(double* destination, uint64_t values)
{
    uint64_t first = std::min(values, m_uiCapacity - m_uiReadIndex);
    std::memcpy(destination, m_pdfStorage + m_uiReadIndex, static_cast<size_t>(first) * sizeof(double));
    std::memcpy(destination + first, m_pdfStorage, static_cast<size_t>(values - first) * sizeof(double));
    m_uiReadIndex = Advance(m_uiReadIndex, values, m_uiCapacity);
    m_uiCount -= values;
}

int32_t CRingBuffer::Write(const double* source, uint64_t* count)
{
    if (count == nullptr)
        return kStatusInvalidArgument;
    CLockGuard guard(m_Lock);
    uint64_t offered = *count;
    *count = 0;
    if (source == nullptr)
        return kStatusInvalidArgument;
    if (m_iState != 1)
        return kStatusFailure;
    uint64_t n = std::min(offered, m_uiCapacity - m_uiCount);
    CopyIn(source, n);
    *count = n;
    return kStatusSuccess;
}

int32_t CRingBuffer::Read(double* destination, uint64_t* count)
{
    if (count == nullptr)
        return kStatusInvalidArgument;
    CLockGuard guard(m_Lock);
    uint64_t wanted = *count;
    *count = 0;
    if (destination == nullptr)
        return kStatusInvalidArgument;
    if (m_iState != 1)
        return kStatusFailure;
    uint64_t n = std::min(wanted, m_uiCount);
    CopyOut(destination, n);
    *count = n;
    return kStatusSuccess;
}

void CRingBuffer::TakeContentsOf(CRingBuffer& source)
{
    // Lock order while the queue grows: the new ring first, then the old one.
    CLockGuard guard(m_Lock);
    double chunk[64];
    for (;;)
    {
        uint64_t moved = 64;
        if (source.Read(chunk, &moved) != kStatusSuccess || moved == 0)
            return;
        if (Write(chunk, &moved) != kStatusSuccess)
            return;
    }
}

uint64_t CRingBuffer::GetCount()
{
    CLockGuard guard(m_Lock);
    return m_uiCount;
}
