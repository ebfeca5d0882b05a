#pragma once

#include "stream/BufferCallbackFunction.h"
#include "synth/SynthState.h"

#include <cstdint>

// The process-wide state of the dialog and playback control, beside what the synthesizer and
// the buffer callback read (declared by their own layers). The engine objects are only named
// here; whoever dereferences them includes their header. Only the main (dialog) thread writes
// any of them; the comments say who else reads them.
class CSoundStreamWASAPI;
class CNamedValueList;
class CMultimediaTimer;
class CWorkerThread;

// Set when the engine is published and cleared at its tear-down.
extern CSoundStreamWASAPI* pSoundStream;
// The render thread's buffer callback reads it, as its user parameter.
extern CNamedValueList* pNamedValueList;
// The synthesizer thread pauses on it.
extern CMultimediaTimer* pMultimediaTimer;

// Replaced by each playback start while no synthesizer runs. Its termination event means
// "stop": playback stop sets it with RequestStop.
extern CWorkerThread* pSynthesizerThread;
// Replaced by each playback start before the render thread starts; the buffer callback fills it.
extern double* pdfMultiChannelPacketBuffer;

// Set by playback start before the synthesizer starts, which reads it once through its address.
extern uint64_t uiBufferSizeToWrite;
// The user's choices: the rate row and the bits taken at playback start, the enhancer from its
// check box.
extern uint32_t uiRateIndex;
extern uint32_t uiMaxEffectiveBits;
extern uint32_t bEnableResolutionEnhancer;
