#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>

// A sample layout: the container's width and how many of its bits, from the top, carry the
// signal. Many exclusive-mode drivers take a 32-bit container with 24 valid bits only.
struct PcmDepth
{
    uint32_t uiContainerBits;
    uint32_t uiValidBits;
};

// The one stream format the device side offers: two channels (front left and right) of
// integer PCM in the given layout.
WAVEFORMATEXTENSIBLE MakeStereoPcmFormat(uint32_t rate, PcmDepth depth);

// True when the format's byte rate fits its 32-bit field for the deepest (32-bit) container.
bool IsStereoPcmRateRepresentable(uint32_t rate);

// The valid bits of an integer PCM format held in `bytes` bytes (a WAVEFORMATEX or a
// WAVEFORMATEXTENSIBLE, as a property blob carries it); 0 for floating point, any other kind,
// a block too short for what it claims to be, or inconsistent fields.
uint32_t IntegerPcmValidBits(const void* format, size_t bytes);
