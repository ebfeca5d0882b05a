#include "runtime/CByteRing.h"

#include "runtime/Status.h"
#include "runtime/SystemBeep.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

namespace
{
// Advances a position by `length` bytes (at most the capacity), wrapping at the end.
uint64_t Advance(uint64_t position, uint64_t length, uint64_t capacity)
{
    const uint64_t room = capacity - position;
    return length >= room ? length - room : position + length;
}

uint64_t FirstPart(uint64_t position, uint64_t length, uint64_t capacity)
{
    const uint64_t room = capacity - position;
    return length < room ? length : room;
}
} // namespace

int32_t CByteRing::Allocate(uint64_t a, uint64_t b)
{
    Free();
    if (a == 0 || b == 0)
        return kStatusInvalidArgument;
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    if (a > max - b)
        return kStatusFailure;
    if (a + b > max / 2)
        return kStatusOverflow;
    const uint64_t capacity = 2 * (a + b);
    if (capacity > SIZE_MAX)
        return kStatusOverflow;
    m_pStorage = new (std::nothrow) uint8_t[static_cast<size_t>(capacity)]();
    if (m_pStorage == nullptr)
        return kStatusNotCreated;
    m_uiCapacity = capacity;
    return kStatusSuccess;
}

void CByteRing::Free()
{
    delete[] m_pStorage;
    m_pStorage = nullptr;
    m_uiCapacity = m_uiFill = m_uiWritePosition = m_uiReadPosition = 0;
}

// Positions outside the storage, or a fill that does not lead from the read position to the
// write position, can only come from corruption; a transfer must then not copy at all, and the
// alarm makes the state audible.
bool CByteRing::CheckConsistency() const
{
    const bool inside = m_uiFill <= m_uiCapacity && m_uiWritePosition < m_uiCapacity && m_uiReadPosition < m_uiCapacity;
    if (inside && (m_uiReadPosition + m_uiFill) % m_uiCapacity == m_uiWritePosition)
        return true;
    SoundSystemBeep();
    return false;
}

int32_t CByteRing::Write(const uint8_t* source, uint64_t length)
{
    if (m_pStorage == nullptr)
        return kStatusFailure;
    if (length == 0)
        return kStatusNothingDone;
    if (source == nullptr)
        return kStatusInvalidArgument;
    if (!CheckConsistency())
        return kStatusFailure;
    if (length > m_uiCapacity - m_uiFill)
        return kStatusFailure;
    const uint64_t first = FirstPart(m_uiWritePosition, length, m_uiCapacity);
    std::memcpy(m_pStorage + m_uiWritePosition, source, static_cast<size_t>(first));
    std::memcpy(m_pStorage, source + first, static_cast<size_t>(length - first));
    m_uiWritePosition = Advance(m_uiWritePosition, length, m_uiCapacity);
    m_uiFill += length;
    return kStatusSuccess;
}

int32_t CByteRing::Read(uint8_t* destination, uint64_t length)
{
    if (m_pStorage == nullptr)
        return kStatusFailure;
    if (destination == nullptr)
        return kStatusInvalidArgument;
    if (!CheckConsistency())
        return kStatusFailure;
    if (length > m_uiFill)
        return kStatusNothingDone;
    const uint64_t first = FirstPart(m_uiReadPosition, length, m_uiCapacity);
    std::memcpy(destination, m_pStorage + m_uiReadPosition, static_cast<size_t>(first));
    std::memcpy(destination + first, m_pStorage, static_cast<size_t>(length - first));
    m_uiReadPosition = Advance(m_uiReadPosition, length, m_uiCapacity);
    m_uiFill -= length;
    return kStatusSuccess;
}
