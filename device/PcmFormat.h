#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>

// The one stream format the device side offers: two channels of integer PCM whose container
// and valid bits are both `bitCount`, no channel mask.
WAVEFORMATEXTENSIBLE MakeStereoPcmFormat(uint32_t rate, uint32_t bitCount);

// True when the format's byte rate fits its 32-bit field for the deepest (32-bit) container.
bool IsStereoPcmRateRepresentable(uint32_t rate);
