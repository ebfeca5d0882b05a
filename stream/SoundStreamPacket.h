#pragma once

#include <cstdint>

class CSoundStreamWASAPI;

// The record in which the buffer callback hands one block of frames to the device thread.
struct SoundStreamPacket
{
    CSoundStreamWASAPI* pOwner;
    uint32_t uiKind;         // 0 not set up, 1 capture packet, 2 render packet
    uint32_t uiChannelCount; // interleaved doubles per frame
    uint64_t uiCapacity;     // frames pdfSamples holds
    uint64_t uiValidFrames;  // leading frames of pdfSamples that are valid
    double* pdfSamples;
};

enum : uint32_t
{
    SoundStreamPacketNone = 0,
    SoundStreamPacketCapture = 1,
    SoundStreamPacketRender = 2,
};
