#pragma once

#include <cstdint>

// FillGaussianFrames four frames at a time with AVX2, for the largest multiple of four frames
// within `count`; returns that number of frames. Only to be called where AVX2 is the chosen
// vector form.
uint64_t FillGaussianQuads(double* frames, const uint32_t* words, const double* amplitude, uint64_t count);
