#pragma once

#include <cstdint>

struct CWorkerContext;

// Thread function of the synthesizer worker: fills blocks with the signal generator and writes
// them into the sound stream buffer, pausing 1 ms at a time while the buffer is full. Its worker
// hands it "pSoundBuffer", "pMultimediaTimer", "pBufferSizeToWrite" (address of the frames per
// block) and the block buffer ("pdfMultiChannelBuffer", at least frames per block x 16 bytes).
// Result: 1 when the worker's termination event ended it, -1 when a write into the stream buffer
// failed or an input is missing or too small.
int64_t SynthesizerThreadProc(CWorkerContext* context);
