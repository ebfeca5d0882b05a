#pragma once

#include <cstdint>

// Allocator interface of the parameter tables. Nobody deletes through it, hence the
// protected, non-virtual destructor.
class SMemory
{
public:
    // Stores a zero-filled block of size bytes in out: 1, or -2 with out null when the heap
    // refuses (-4 for a null out).
    virtual int32_t Allocate(void** out, uint64_t size) = 0;
    // Returns block to the heap: 1, or -4 for a null block.
    virtual int32_t Free(void* block) = 0;

protected:
    SMemory() = default;
    ~SMemory() = default;
};
