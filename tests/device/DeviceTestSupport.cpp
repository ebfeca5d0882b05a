#include "tests/device/DeviceTestSupport.h"

FakeEndpointConfig ExclusiveEndpoint(std::vector<uint32_t> rates, std::vector<uint32_t> bits)
{
    FakeEndpointConfig config;
    config.exclusiveRates = std::move(rates);
    config.exclusiveBits = std::move(bits);
    return config;
}

FakeEndpointConfig WindowsSharedEndpoint(uint32_t mixRate, std::vector<uint32_t> bits)
{
    FakeEndpointConfig config;
    config.windowsSharedMode = true;
    config.mixRate = mixRate;
    config.sharedBits = std::move(bits);
    return config;
}

void StreamTest::TearDown()
{
    ExpectEverythingReleased();
}

void StreamTest::ExpectEverythingReleased()
{
    stream.Close();
    EXPECT_EQ(system.OutstandingReferences(), 0);
    EXPECT_EQ(system.Misuses(), 0);
}

std::vector<int64_t> ArgumentsOf(const FakeEndpoint& endpoint, FakeMethod method, size_t index)
{
    std::vector<int64_t> values;
    for (const FakeCall& call : endpoint.CallsOf(method))
        values.push_back(index < call.args.size() ? call.args[index] : -1);
    return values;
}
