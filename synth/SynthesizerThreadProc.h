#pragma once

#include <cstdint>

struct CWorkerContext;

// Thread function of the synthesizer worker: fills blocks with the signal generator and writes
// them into the sound stream buffer, pausing while the buffer is full (1 to 5 ms, by how much of
// the block is still to go in). Its worker hands it "pSoundBuffer", "pMultimediaTimer", "pBufferSizeToWrite" (address
// of the frames per block) and the block buffer ("pdfMultiChannelBuffer", at least frames per block x 16 bytes).
// Result: 1 when the worker's termination event ended it, -1 when a write into the stream buffer
// failed or an input is missing or too small.
int64_t SynthesizerThreadProc(CWorkerContext* context);
