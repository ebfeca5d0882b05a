#pragma once

#include <cstdint>

// The quantizer's enhancer path, two frames per 256-bit register with AVX2, over an even number
// of frames; as in the plain form, each error settles in one rounding and no level passes full
// scale. Writes each sample as the 32-bit little-endian word whose top bits carry its grid
// level (`shift` = 32 - effective bits) and updates `carried` (left, right, in grid steps). Only
// to be called where AVX2 is the chosen vector form.
void QuantizeFramePairsAvx2(const double* source, uint64_t frames, uint8_t* words, double step, uint32_t shift,
                            double* carried);
