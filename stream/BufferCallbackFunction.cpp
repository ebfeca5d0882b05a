#include "stream/BufferCallbackFunction.h"

#include "runtime/CNamedValueList.h"
#include "runtime/Status.h"
#include "stream/CSoundStreamBuffer.h"
#include "stream/ChannelCount.h"

#include <algorithm>
#include <cstring>

CSoundStreamBuffer* pSoundBuffer = nullptr;

namespace
{
// The packet buffer's address from the list, or null when the list has no such element.
double* FindPacketBuffer(void* userParameter)
{
    auto* list = static_cast<CNamedValueList*>(userParameter);
    CNamedValue* element = list != nullptr ? list->Find(L"pdfMultiChannelPacketBuffer") : nullptr;
    uint64_t address = 0;
    if (element == nullptr || element->ToUnsigned(&address) != kStatusSuccess)
        return nullptr;
    return reinterpret_cast<double*>(static_cast<uintptr_t>(address));
}

// True when a packet of `capacity` frames holds one block: 2 × capacity values at least
// block frames × channels, compared without overflow.
bool HoldsOneBlock(uint64_t capacity, uint64_t blockValues)
{
    return capacity >= blockValues / kChannels + blockValues % kChannels;
}
}

intptr_t BufferCallbackFunction(SoundStreamPacket* packet, void* userParameter)
{
    CSoundStreamBuffer* buffer = pSoundBuffer;
    if (packet == nullptr || buffer == nullptr)
        return 0;
    double* packetBuffer = FindPacketBuffer(userParameter);
    const uint64_t capacity = packet->uiKind != SoundStreamPacketNone ? packet->uiCapacity : 0;
    const uint64_t blockFrames = buffer->GetBlockFrames();
    const uint64_t channels = buffer->GetChannels();
    if (!HoldsOneBlock(capacity, blockFrames * channels))
        return 0;
    if (buffer->Read(packetBuffer) < 0)
        return 0;
    // The packet buffer holds frames of `channels` values; a packet laid out otherwise
    // cannot take them.
    if (packetBuffer == nullptr || packet->uiKind != SoundStreamPacketRender || packet->uiChannelCount != channels)
        return 0;

    const uint64_t frames = std::min(capacity, blockFrames);
    if (packet->pdfSamples != nullptr)
    {
        std::memcpy(packet->pdfSamples, packetBuffer, static_cast<size_t>(frames * channels * sizeof(double)));
        std::fill(packet->pdfSamples + frames * channels, packet->pdfSamples + capacity * channels, 0.0);
    }
    packet->uiValidFrames = frames;
    return 1;
}
