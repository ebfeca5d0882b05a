#include "runtime/CMemoryANSI.h"

#include <cstddef>
#include <cstdlib>
#include <limits>

int32_t CMemoryANSI::Allocate(void** out, uint64_t size)
{
    if (out == nullptr)
        return -4;
    *out = nullptr;
    // No object may be larger than PTRDIFF_MAX bytes: refuse such sizes before the heap sees them.
    if (size > static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max()))
        return -2;
    // calloc(0) may legitimately return null; a one-byte block keeps "null means refused".
    void* block = std::calloc(size == 0 ? 1 : static_cast<size_t>(size), 1);
    if (block == nullptr)
        return -2;
    *out = block;
    return 1;
}

int32_t CMemoryANSI::Free(void* block)
{
    if (block == nullptr)
        return -4;
    std::free(block);
    return 1;
}
