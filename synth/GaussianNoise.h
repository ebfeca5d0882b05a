#pragma once

#include <cstdint>

// Box-Muller: a standard Gaussian sample from two random words, each taken as a signed 32-bit
// integer r and mapped to u = (r / 2^31 + 1) / 2 in [0, 1): sqrt(-2 log u1) * sin(2*pi * u2).
// u1 = 0 is replaced by the smallest normal double, so that the logarithm is finite.
double GaussianSample(uint32_t first, uint32_t second);

// Stereo frames i = 0 ... count - 1, both channels GaussianSample(words[2i], words[2i + 1]) *
// amplitude[i]. Several frames at a time where the processor allows (four with AVX2, two with
// SSE2), with the same bits as GaussianSample.
void FillGaussianFrames(double* frames, const uint32_t* words, const double* amplitude, uint64_t count);
