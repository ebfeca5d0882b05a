#pragma once

#include <cstdint>

// What the project's functions return. Every negative status is a failure, which a caller passes
// up unchanged, so `status < 0` is the test for one.

constexpr int32_t kStatusSuccess = 1;           // done
constexpr int32_t kStatusAdded = 3;             // done: a table added the entry
constexpr int32_t kStatusReplaced = 5;          // done: a table replaced the entry
constexpr int32_t kStatusNothingDone = 0;       // nothing done, queued, or not enough data
constexpr int32_t kStatusFailure = -1;          // general failure or wrong state
constexpr int32_t kStatusNotCreated = -2;       // an object or block was not created
constexpr int32_t kStatusNotInitialized = -3;   // not initialised
constexpr int32_t kStatusInvalidArgument = -4;  // invalid or absent argument: null pointer, NaN, zero size
constexpr int32_t kStatusOverflow = -5;         // a size computation overflowed
constexpr int32_t kStatusNameNotFound = -10;    // no entry under that name
constexpr int32_t kStatusNotWholeFrames = -99;  // a count that is not a whole number of frames
constexpr int32_t kStatusUnrecognized = -99;    // a value kind that is not known (the same value)
constexpr int32_t kStatusNotConvertible = -100; // a value that cannot be converted
