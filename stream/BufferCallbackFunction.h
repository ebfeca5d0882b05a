#pragma once

#include "stream/SoundStreamPacket.h"

#include <cstdint>

class CSoundStreamBuffer;

// The process-wide sound stream buffer the callback reads on the render thread: the main thread
// publishes the one of the current playback here (null while there is none), replacing it only
// while neither the render thread nor the synthesizer runs.
extern CSoundStreamBuffer* pSoundBuffer;

// The device side's pull of one block from the process-wide sound stream buffer (pSoundBuffer)
// into `packet`, through the packet buffer registered as "pdfMultiChannelPacketBuffer" in the
// CNamedValueList passed as `userParameter`. Returns 1 with packet->uiValidFrames set when a
// block was delivered, 0 otherwise (the device thread then ends). Render thread only.
intptr_t BufferCallbackFunction(SoundStreamPacket* packet, void* userParameter);
