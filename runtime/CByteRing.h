#pragma once

#include <cstdint>

// A fixed-capacity byte FIFO with all-or-nothing writes and reads. No lock: one thread at a
// time uses it. A transfer that finds the ring's positions corrupted sounds the system beep
// (runtime/SystemBeep.h) and is refused with -1, the ring unchanged.
class CByteRing
{
public:
    CByteRing() = default;
    ~CByteRing() { Free(); }
    CByteRing(const CByteRing&) = delete;
    CByteRing& operator=(const CByteRing&) = delete;

    // Storage of 2 × (a + b) bytes, zeroed. 1; -4 a or b is 0; -1 a + b overflows;
    // -5 2 × (a + b) overflows; -2 the storage cannot be allocated. Always frees the old storage.
    int32_t Allocate(uint64_t a, uint64_t b);
    // 1 all stored; 0 length 0; -1 no storage, not enough room or positions corrupted; -4 null.
    int32_t Write(const uint8_t* source, uint64_t length);
    // 1 all delivered (or length 0); 0 fewer bytes held (nothing read); -1 no storage or
    // positions corrupted; -4 null.
    int32_t Read(uint8_t* destination, uint64_t length);
    void Free();
    uint64_t GetCapacity() const { return m_uiCapacity; }
    uint64_t GetFill() const { return m_uiFill; }

private:
    friend struct CByteRingTestAccess;

    bool CheckConsistency() const;

    uint8_t* m_pStorage = nullptr;
    uint64_t m_uiCapacity = 0;
    uint64_t m_uiFill = 0;
    uint64_t m_uiWritePosition = 0;
    uint64_t m_uiReadPosition = 0;
};
