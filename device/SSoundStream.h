#pragma once

#include "stream/SoundStreamPacket.h"

#include <cstdint>

// The engine's buffer callback: fills the packet and returns nonzero, or 0 when the data
// source has ended.
using BufferCallback = intptr_t (*)(SoundStreamPacket* packet, void* userParameter);

// An audio stream on one endpoint, driven by one device thread. Every operation returns 1 on
// success and a negative status on failure. Nobody deletes a stream through this interface.
class SSoundStream
{
public:
    virtual int32_t StartCapture(BufferCallback callback, void* userParameter) = 0;
    virtual int32_t StartRender(BufferCallback callback, void* userParameter) = 0;
    virtual int32_t Start() = 0;
    virtual int32_t Stop() = 0;
    virtual int32_t IsTerminated(uint32_t* out) = 0;
    virtual int32_t Close() = 0;

protected:
    SSoundStream() = default;
    SSoundStream(const SSoundStream&) = default;
    SSoundStream& operator=(const SSoundStream&) = default;
    ~SSoundStream() = default;
};
