#pragma once

#include <cstdint>

class CRandomMT;

// Fills frames stereo frames (left, right interleaved) of the output signal at the synthesis
// rate dfSamplingRate: a sine tone with optional FM, AM and trigger pulse, or Gaussian noise with
// optional AM, as bNoise (read once per block) selects. Every control value is drawn from its
// process-wide ramp once per sample; the mode flags are read per sample.
//
// carrierPhase is the caller's carrier phase in radians, advanced here; generator is the caller's
// noise source. dfAMPhase and dfFMPhase are advanced here. A block that cannot be computed (no
// usable rate, or a missing phase or generator) is filled with silence. Allocates nothing.
void FillBlock(double* block, uint64_t frames, double* carrierPhase, CRandomMT* generator);
