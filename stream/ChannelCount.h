#pragma once

#include <cstdint>

// Every signal of the program is stereo: frames of left and right values, interleaved.
constexpr uint32_t kChannels = 2;
