#pragma once

#include <cstdint>

// A source of uniformly distributed 32-bit random words. Objects are never deleted through
// this interface, hence the protected, non-virtual destructor.
class SRandom
{
public:
    virtual int32_t GetState(void* buffer, uint32_t* size) = 0;
    virtual int32_t SetState(const void* buffer, uint32_t size) = 0;
    virtual int32_t Seed(uint32_t seed) = 0;
    virtual void Next64(uint64_t* out) = 0;
    virtual void Next32(uint32_t* out) = 0;

protected:
    SRandom() = default;
    SRandom(const SRandom&) = default;
    SRandom& operator=(const SRandom&) = default;
    ~SRandom() = default;
};
