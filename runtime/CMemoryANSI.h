#pragma once

#include "runtime/SMemory.h"

// SMemory on the standard C heap.
class CMemoryANSI final : public SMemory
{
public:
    int32_t Allocate(void** out, uint64_t size) override;
    int32_t Free(void* block) override;
};
