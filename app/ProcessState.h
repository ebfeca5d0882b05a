#pragma once

#include "stream/BufferCallbackFunction.h"
#include "synth/SynthState.h"

#include <cstdint>

// The process-wide state of the dialog and playback control, beside what the synthesizer and
// the buffer callback read (declared by their own layers). The engine objects are only named
// here; whoever dereferences them includes their header.
class CSoundStreamWASAPI;
class CNamedValueList;
class CMultimediaTimer;
class CWorkerThread;

extern CSoundStreamWASAPI* pSoundStream;
extern CNamedValueList* pNamedValueList;
extern CMultimediaTimer* pMultimediaTimer;

extern CWorkerThread* pSynthesizerThread;
extern double* pdfMultiChannelPacketBuffer;

extern uint64_t uiBufferSizeToWrite;
extern uint32_t uiRateIndex;
extern uint32_t uiMaxEffectiveBits;
extern uint32_t bEnableResolutionEnhancer;
