#pragma once

#include <cstdint>

struct CWorkerContext;

// Thread function of the synthesizer worker: fills blocks with the signal generator and writes
// them into the sound stream buffer, pausing while the buffer is full (1 to 5 ms, by how much of
// the block is still to go in). Its inputs are those of SynthesizerInputs.h. Its worker's
// termination event means "stop". Result: 1 when that event ended it, -1 when a write into the
// stream buffer failed or an input is missing or unusable (traced under the input's name).
int64_t SynthesizerThreadProc(CWorkerContext* context);
