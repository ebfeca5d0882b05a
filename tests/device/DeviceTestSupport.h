#pragma once

#include "device/CSoundStreamWASAPI.h"
#include "tests/device/FakeAudioSystem.h"

#include <gtest/gtest.h>

#include <vector>

// Endpoint configurations the device tests share.
FakeEndpointConfig ExclusiveEndpoint(std::vector<uint32_t> rates, std::vector<uint32_t> bits);
// Shared mode as Windows behaves: S_FALSE away from the mix rate, Initialize only with the
// rate-conversion flags.
FakeEndpointConfig WindowsSharedEndpoint(uint32_t mixRate, std::vector<uint32_t> bits = {16, 24, 32});

// A stream object over a fake audio system. On tear-down the stream is closed and every
// reference it took must have been released exactly once.
class StreamTest : public ::testing::Test
{
protected:
    void TearDown() override;

    // Closes the stream and checks the references.
    void ExpectEverythingReleased();

    FakeAudioSystem system;
    CSoundStreamWASAPI stream;
};

// Calls of `method` on `endpoint`, their argument `index`.
std::vector<int64_t> ArgumentsOf(const FakeEndpoint& endpoint, FakeMethod method, size_t index);
