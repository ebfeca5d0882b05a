#include "runtime/CMemoryANSI.h"

#include "runtime/Status.h"

#include <cstddef>
#include <cstdlib>
#include <limits>

int32_t CMemoryANSI::Allocate(void** out, uint64_t size)
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    *out = nullptr;
    // No object may be larger than PTRDIFF_MAX bytes: refuse such sizes before the heap sees them.
    if (size > static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max()))
        return kStatusNotCreated;
    // calloc(0) may legitimately return null; a one-byte block keeps "null means refused".
    void* block = std::calloc(size == 0 ? 1 : static_cast<size_t>(size), 1);
    if (block == nullptr)
        return kStatusNotCreated;
    *out = block;
    return kStatusSuccess;
}

int32_t CMemoryANSI::Free(void* block)
{
    if (block == nullptr)
        return kStatusInvalidArgument;
    std::free(block);
    return kStatusSuccess;
}
