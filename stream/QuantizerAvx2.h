#pragma once

#include <cstdint>

// The quantizer's enhancer path on its common case, two frames per 256-bit register with AVX2:
// each sample's error settles in one rounding and no level reaches the grid's limit. Writes
// each sample as the 32-bit little-endian word whose top bits carry its grid level (`shift` =
// 32 - effective bits) and updates `carried` (left, right, in grid steps). Stops before the
// first pair of frames in which a sample needs more, and at the last whole pair; returns the
// frames done. Only to be called where AVX2 is the chosen vector form.
uint64_t QuantizeCommonPairsAvx2(const double* source, uint64_t frames, uint8_t* words, double step,
                                 double levels, uint32_t shift, double* carried);
