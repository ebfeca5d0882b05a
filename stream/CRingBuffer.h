#pragma once

#include "runtime/CLock.h"

#include <cstdint>

// A lock-protected circular FIFO of doubles with a fixed capacity. Writes and reads move as
// much as fits or as is held (partial transfers), wrapping around the end of the storage.
class CRingBuffer
{
public:
    CRingBuffer();
    ~CRingBuffer();
    CRingBuffer(const CRingBuffer&) = delete;
    CRingBuffer& operator=(const CRingBuffer&) = delete;

    // Zeroed storage for `values` doubles. 1; -4 for 0 values; -5 when the byte size overflows;
    // -2 when the storage cannot be allocated. Storage held before is freed first.
    int32_t Allocate(uint64_t values);
    // 1 when storage was freed, 0 when there was none.
    int32_t Free();
    // `count` holds the values offered and receives the values stored (as many as fit).
    // -4 for a null source or count.
    int32_t Write(const double* source, uint64_t* count);
    // `count` holds the values wanted and receives the values delivered (as many as held).
    int32_t Read(double* destination, uint64_t* count);
    // Moves everything `source` holds into this ring, in order, as far as it fits.
    void TakeContentsOf(CRingBuffer& source);

    uint64_t GetCount();

private:
    void CopyIn(const double* source, uint64_t values);
    void CopyOut(double* destination, uint64_t values);

    CLock m_Lock;
    int32_t m_iState;
    double* m_pdfStorage;
    uint64_t m_uiCapacity;
    uint64_t m_uiCount;
    uint64_t m_uiWriteIndex;
    uint64_t m_uiReadIndex;
};
