#include "device/PcmFormat.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/device/TaskMemorySpy.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace
{
constexpr int64_t kShared = AUDCLNT_SHAREMODE_SHARED;
constexpr int64_t kExclusive = AUDCLNT_SHAREMODE_EXCLUSIVE;
constexpr int64_t kSharedFlags =
    AUDCLNT_STREAMFLAGS_NOPERSIST | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

using Layouts = std::vector<std::pair<uint32_t, uint32_t>>;

// (container, valid) bits of every format queried.
Layouts BitsTried(const FakeEndpoint& endpoint)
{
    Layouts bits;
    for (const FakeCall& call : endpoint.CallsOf(FakeMethod::IsFormatSupported))
        bits.emplace_back(call.format.Format.wBitsPerSample, call.format.Samples.wValidBitsPerSample);
    return bits;
}

std::vector<uint8_t> Convert(CQuantizer& quantizer, std::vector<double> values, size_t bytesPerSample)
{
    std::vector<uint8_t> bytes(values.size() * bytesPerSample);
    quantizer.Convert(values.data(), values.size() / 2, bytes.data());
    return bytes;
}

class OpenRenderDeviceTest : public StreamTest
{
protected:
    int32_t Open(uint32_t rate, double duration = 0.0, const wchar_t* device = nullptr)
    {
        requested = duration;
        return stream.OpenRenderDevice(rate, &requested, device);
    }

    // Every buffer and interface of an open stream is gone.
    void ExpectClosed()
    {
        EXPECT_EQ(stream.uiState, 0u);
        EXPECT_FALSE(stream.pDevice);
        EXPECT_FALSE(stream.pAudioClient);
        EXPECT_FALSE(stream.pAudioRenderClient);
        EXPECT_EQ(stream.pdfLocalBuffer, nullptr);
        EXPECT_EQ(stream.LocalBufferSize, 0u);
        EXPECT_EQ(stream.SoundStreamBuffer.pdfSamples, nullptr);
        EXPECT_EQ(stream.SoundStreamBuffer.uiKind, 0u);
        EXPECT_EQ(stream.SoundStreamBuffer.uiCapacity, 0u);
        EXPECT_EQ(stream.DataBuffer.GetCapacity(), 0u);
        EXPECT_EQ(stream.uiBitCount, 0u);
        EXPECT_EQ(stream.dfRate, 0.0);
        EXPECT_EQ(system.OutstandingReferences(), 0);
    }

    double requested = 0.0;
};
}

// Many exclusive-mode drivers take 24 valid bits in a 32-bit container and neither 32 nor
// packed 24 bits: the search must not fall to 16 bits for them. The stream is initialised with
// the format found, whose fields are pinned where it is made.
TEST_F(OpenRenderDeviceTest, TriesThirtyTwoThenTwentyFourInThirtyTwoBits)
{
    FakeEndpoint& endpoint = system.AddEndpoint(ExclusiveEndpoint({48000}, {{32, 24}, 16}));
    ASSERT_EQ(Open(48000), 1);
    EXPECT_EQ(BitsTried(endpoint), (Layouts{{32, 32}, {32, 24}}));
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::IsFormatSupported, &FakeCall::mode),
              (std::vector<int64_t>(2, kExclusive)));
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::IsFormatSupported, &FakeCall::closest), (std::vector<int64_t>(2, 0)))
        << "exclusive mode asks for no closest match";
    const auto initialize = endpoint.CallsOf(FakeMethod::Initialize);
    ASSERT_EQ(initialize.size(), 1u);
    const WAVEFORMATEXTENSIBLE found = MakeStereoPcmFormat(48000, {32, 24});
    EXPECT_EQ(std::memcmp(&initialize[0].format, &found, sizeof found), 0);
    EXPECT_EQ(stream.uiBitCount, 32u);
    EXPECT_EQ(stream.uiResolvedBitCount, 24u);
    EXPECT_EQ(stream.uiState, 1u);
    EXPECT_EQ(stream.dfRate, 48000.0);
    EXPECT_EQ(stream.uiRenderChannelCount, 2u);
}

TEST_F(OpenRenderDeviceTest, ExclusiveRefusalAtEveryDepthClosesAndTheNextAttemptStartsClean)
{
    FakeEndpoint& endpoint = system.AddEndpoint(ExclusiveEndpoint({44100}, {16}));
    stream.uiPacketFrames = 441;
    EXPECT_EQ(Open(48000), -1);
    EXPECT_EQ(BitsTried(endpoint), (Layouts{{32, 32}, {32, 24}, {24, 24}, {16, 16}}));
    EXPECT_TRUE(endpoint.CallsOf(FakeMethod::Initialize).empty());
    ExpectClosed();

    ASSERT_EQ(Open(44100), 1);
    EXPECT_EQ(stream.uiBitCount, 16u);
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::Activate).size(), 2u);
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::Initialize).size(), 1u);
    EXPECT_EQ(system.OutstandingReferences(), 3) << "device, client and render client of the open stream";
}

TEST_F(OpenRenderDeviceTest, LateFailureReleasesEverythingAlreadyObtained)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.failures[FakeMethod::GetService] = FakeFailure{E_NOINTERFACE};
    system.AddEndpoint(config);
    stream.uiPacketFrames = 480;
    EXPECT_EQ(Open(48000), -1);
    EXPECT_EQ(stream.LastFailure.hr, E_NOINTERFACE);
    EXPECT_STREQ(stream.LastFailure.pszSite, L"IAudioClient::GetService");
    ExpectClosed();
}

// Windows' shared mode resamples any rate to its mix rate when asked to convert, so the device
// would play another rate than the one opened; only at the mix rate is conversion asked for.
TEST_F(OpenRenderDeviceTest, SharedModeAsksForConversionOnlyAtTheMixRate)
{
    TaskMemorySpy spy;
    ASSERT_TRUE(spy.IsRegistered());
    for (const WORD mixChannels : {WORD{2}, WORD{6}})
    {
        FakeEndpointConfig config = WindowsSharedEndpoint(48000);
        config.mixChannels = mixChannels;
        config.id = L"mix" + std::to_wstring(mixChannels);
        FakeEndpoint& endpoint = system.AddEndpoint(config);
        stream.bSharedMode = 1;
        EXPECT_EQ(Open(96000, 0.0, config.id.c_str()), -1) << mixChannels << " channels";
        EXPECT_EQ(stream.LastFailure.hr, AUDCLNT_E_UNSUPPORTED_FORMAT);
        EXPECT_STREQ(stream.LastFailure.pszSite, L"IAudioClient::Initialize");
        ASSERT_EQ(Open(48000, 0.0, config.id.c_str()), 1);

        EXPECT_EQ(BitsTried(endpoint), (Layouts{{32, 32}, {32, 32}})) << "S_FALSE accepts the first depth";
        const auto initialize = endpoint.CallsOf(FakeMethod::Initialize);
        ASSERT_EQ(initialize.size(), 2u);
        EXPECT_EQ(initialize[0].flags, int64_t{AUDCLNT_STREAMFLAGS_NOPERSIST}) << "96 kHz: no conversion";
        EXPECT_EQ(initialize[1].mode, kShared);
        EXPECT_EQ(initialize[1].flags, kSharedFlags) << "48 kHz: channels and sample format converted";
        EXPECT_EQ(initialize[1].periodicity, 0) << "no periodicity in shared mode";
        EXPECT_EQ(stream.dfRate, 48000.0);
        EXPECT_EQ(endpoint.CallsOf(FakeMethod::GetMixFormat).size(), 2u);
        for (void* block : endpoint.TaskMemoryBlocks())
            EXPECT_TRUE(spy.WasFreed(block)) << "closest matches and mix formats go back to the task allocator";
    }
}

TEST_F(OpenRenderDeviceTest, UnalignedExclusiveBufferIsRetriedOnAFreshClientWithTheAlignedPeriod)
{
    FakeEndpointConfig config = ExclusiveEndpoint({44100}, {32});
    config.exclusiveAlignment = 32;
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    ASSERT_EQ(Open(44100), 1);
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::Activate).size(), 2u);
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::duration),
              (std::vector<int64_t>{100000, 101587}))
        << "441 frames refused; 448 frames are 101587 x 100 ns";
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::periodicity),
              (std::vector<int64_t>{100000, 101587}));
    EXPECT_EQ(stream.uiDeviceBufferFrames, 448u);
    EXPECT_DOUBLE_EQ(requested, 448.0 / 44100.0);
    EXPECT_EQ(stream.LastFailure.hr, AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED) << "kept, though the retry recovered";
    EXPECT_EQ(system.OutstandingReferences(), 3) << "the refused client is released";

    config.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_DEVICE_IN_USE, 1, 1};
    config.id = L"busy";
    FakeEndpoint& busy = system.AddEndpoint(config);
    EXPECT_EQ(Open(44100, 0.0, L"busy"), -1) << "a refused retry refuses the rate";
    EXPECT_EQ(busy.CallsOf(FakeMethod::Initialize).size(), 2u);
    EXPECT_EQ(stream.LastFailure.hr, AUDCLNT_E_DEVICE_IN_USE);
    ExpectClosed();
}

TEST_F(OpenRenderDeviceTest, EndpointThatWentAwayFailsLikeOneThatCannotBeActivated)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.id = L"usb";
    system.AddEndpoint(config).SetState(DEVICE_STATE_UNPLUGGED);
    EXPECT_EQ(Open(48000, 0.0, L"usb"), -1);
    EXPECT_EQ(stream.LastFailure.hr, AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_STREQ(stream.LastFailure.pszSite, L"IMMDevice::Activate");
    EXPECT_EQ(Open(48000, 0.0, L"removed"), -1);
    EXPECT_STREQ(stream.LastFailure.pszSite, L"IMMDeviceEnumerator::GetDevice");
    ExpectClosed();
}

TEST_F(OpenRenderDeviceTest, SharedInitializeRefusalFailsWithoutTryingTheNextDepth)
{
    FakeEndpointConfig config = WindowsSharedEndpoint(48000);
    config.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_UNSUPPORTED_FORMAT};
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    stream.bSharedMode = 1;
    EXPECT_EQ(Open(44100), -1);
    EXPECT_EQ(BitsTried(endpoint), (Layouts{{32, 32}}));
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::Initialize).size(), 1u);
    ExpectClosed();
}

TEST_F(OpenRenderDeviceTest, ExclusiveModeKeepsItsFlagsAndPeriodicity)
{
    FakeEndpoint& endpoint = system.AddEndpoint(ExclusiveEndpoint({48000}, {32}));
    ASSERT_EQ(Open(48000), 1);
    const auto initialize = endpoint.CallsOf(FakeMethod::Initialize);
    ASSERT_EQ(initialize.size(), 1u);
    EXPECT_EQ(initialize[0].mode, kExclusive);
    EXPECT_EQ(initialize[0].flags, int64_t{AUDCLNT_STREAMFLAGS_NOPERSIST});
    EXPECT_EQ(initialize[0].periodicity, initialize[0].duration) << "periodicity equals the buffer duration";
    EXPECT_EQ(initialize[0].session, 0) << "no session GUID";
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Activate, &FakeCall::context),
              (std::vector<int64_t>{CLSCTX_INPROC_SERVER}));
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Activate, &FakeCall::activation), (std::vector<int64_t>{0}));
}

TEST_F(OpenRenderDeviceTest, BufferDurationFollowsTheDevicePeriods)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.defaultPeriod = 100000;
    config.minimumPeriod = 30000;
    FakeEndpoint& endpoint = system.AddEndpoint(config);

    ASSERT_EQ(Open(48000, 0.0), 1);
    EXPECT_EQ(stream.uiDeviceBufferFrames, 480u);
    EXPECT_DOUBLE_EQ(requested, 480.0 / 48000.0) << "the endpoint buffer's actual duration";

    ASSERT_EQ(Open(48000, 0.001), 1) << "1 ms is below the minimum period";
    ASSERT_EQ(Open(48000, 0.0104), 1);
    EXPECT_EQ(stream.uiDeviceBufferFrames, 499u);
    EXPECT_DOUBLE_EQ(requested, 499.0 / 48000.0);

    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::duration),
              (std::vector<int64_t>{100000, 30000, 103958}));
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::periodicity),
              (std::vector<int64_t>{100000, 30000, 103958}));
}

TEST_F(OpenRenderDeviceTest, RequestedDurationIsCutToWholeFramesEvenWhenOpeningFails)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_DEVICE_IN_USE};
    system.AddEndpoint(config);
    EXPECT_EQ(Open(48000, 0.0104), -1);
    EXPECT_DOUBLE_EQ(requested, 499.0 / 48000.0);
    requested = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(stream.OpenRenderDevice(48000, &requested, nullptr), -1);
    EXPECT_EQ(requested, 0.0) << "a duration that is not a number counts as no frames";
}

TEST_F(OpenRenderDeviceTest, PacketFramesZeroTakesTheEndpointBufferAndKeepsIt)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000, 96000}, {32});
    system.AddEndpoint(config);
    ASSERT_EQ(Open(48000), 1);
    EXPECT_EQ(stream.uiPacketFrames, 480u);
    EXPECT_EQ(stream.SoundStreamBuffer.uiCapacity, 480u);
    ASSERT_EQ(Open(96000), 1);
    EXPECT_EQ(stream.uiDeviceBufferFrames, 960u);
    EXPECT_EQ(stream.uiPacketFrames, 480u) << "kept from the first open";
    EXPECT_EQ(stream.SoundStreamBuffer.uiCapacity, 480u);
}

TEST_F(OpenRenderDeviceTest, BuffersAreSizedFromPacketAndEndpointBuffer)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.bufferFrames = 1000;
    system.AddEndpoint(config);
    stream.uiPacketFrames = 480;
    ASSERT_EQ(Open(48000), 1);
    const SoundStreamPacket& packet = stream.SoundStreamBuffer;
    EXPECT_EQ(packet.pOwner, &stream);
    EXPECT_EQ(packet.uiKind, uint32_t{SoundStreamPacketRender});
    EXPECT_EQ(packet.uiChannelCount, 2u);
    EXPECT_EQ(packet.uiCapacity, 480u);
    EXPECT_EQ(packet.uiValidFrames, 0u);
    ASSERT_NE(packet.pdfSamples, nullptr);
    EXPECT_EQ(packet.pdfSamples[959], 0.0);
    EXPECT_EQ(stream.DataBuffer.GetCapacity(), 2u * (1000u * 16u + 480u * 16u));
    EXPECT_EQ(stream.LocalBufferSize, 2000u) << "two values per frame of the larger of packet and buffer";
    EXPECT_NE(stream.pdfLocalBuffer, nullptr);
    EXPECT_EQ(stream.uiDeviceBufferFrames, 1000u);
}

TEST_F(OpenRenderDeviceTest, BadArgumentsAndImpossiblePacketsAreRefused)
{
    system.AddEndpoint(ExclusiveEndpoint({48000}, {32}));
    EXPECT_EQ(stream.OpenRenderDevice(48000, nullptr, nullptr), -4);
    EXPECT_EQ(Open(0), -4);
    EXPECT_EQ(Open(48000, 0.0, L"{unknown}"), -1) << "no endpoint has that ID";
    stream.uiPacketFrames = std::numeric_limits<uint64_t>::max() / 8;
    EXPECT_EQ(Open(48000), -5);
    ExpectClosed();
}

TEST_F(OpenRenderDeviceTest, QuantizerEffectiveBitsAreCappedAtTheContainer)
{
    system.AddEndpoint(ExclusiveEndpoint({48000}, {32}));
    const std::vector<double> fullScale = {1.0, -1.0};
    struct Case
    {
        uint32_t maxBits;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {0, {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}},
        {16, {0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0x01, 0x80}},
        {40, {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}},
    };
    for (const Case& c : cases)
    {
        stream.uiMaxBitCount = c.maxBits;
        ASSERT_EQ(Open(48000), 1);
        EXPECT_EQ(Convert(stream.Quantizer, fullScale, 4), c.bytes) << "uiMaxBitCount " << c.maxBits;
    }
}

// A shared endpoint whose engine converts to 16-bit PCM: 32-bit samples on the 16-bit grid, and
// a tone below one step of it only with the enhancer.
TEST_F(OpenRenderDeviceTest, QuantizerTakesTheResolutionEnhancerSettingOnTheDevicesGrid)
{
    FakeEndpointConfig config = WindowsSharedEndpoint(48000);
    config.engineDeviceFormat = IntegerDeviceFormat(16, 16);
    system.AddEndpoint(config);
    stream.bSharedMode = 1;
    const std::vector<double> belowOneStep(200, 0.3 / 32767.0);
    const auto samples = [&] {
        const std::vector<uint8_t> bytes = Convert(stream.Quantizer, belowOneStep, 4);
        std::vector<int32_t> values(belowOneStep.size());
        std::memcpy(values.data(), bytes.data(), bytes.size());
        return values;
    };
    stream.bResolutionEnhancer = 0;
    ASSERT_EQ(Open(48000), 1);
    EXPECT_EQ(samples(), std::vector<int32_t>(200, 0));
    stream.bResolutionEnhancer = 1;
    ASSERT_EQ(Open(48000), 1);
    const std::vector<int32_t> shaped = samples();
    const auto steps = std::count(shaped.begin(), shaped.end(), 65536);
    EXPECT_EQ(steps + std::count(shaped.begin(), shaped.end(), 0), 200) << "single steps of the 16-bit grid only";
    EXPECT_GE(steps, 40) << "averaging 0.3 steps";
    EXPECT_LE(steps, 80) << "averaging 0.3 steps";
}

// Shared streams ask for raw processing and are quantized at the resolution of the engine's
// integer device format, so that Windows' last conversion leaves them exact; exclusive streams
// reach the device directly and are quantized at their own valid bits. Refusals of raw mode are
// traced, not failed; a bad or missing device format changes nothing.
TEST_F(OpenRenderDeviceTest, ResolvedBitsFollowTheValidBitsAndTheSharedEngineDeviceFormat)
{
    TaskMemorySpy spy;
    ASSERT_TRUE(spy.IsRegistered());
    FakeEndpointConfig windows7 = WindowsSharedEndpoint(48000);
    windows7.audioClient2 = false;
    windows7.engineDeviceFormat = IntegerDeviceFormat(16, 16);
    FakeEndpointConfig truncated = UsbDac();
    truncated.engineDeviceFormat.pop_back();
    struct Case
    {
        FakeEndpointConfig config;
        uint32_t shared;
        uint32_t rate;
        uint32_t resolved;
        bool raw;
        HRESULT trace;
    };
    const Case cases[] = {
        {UsbDac(), 0, 96000, 24, false, S_OK},
        {UsbDac(), 1, 48000, 24, true, S_OK},
        {BluetoothHeadset(), 1, 44100, 16, false, AUDCLNT_E_RAW_MODE_UNSUPPORTED},
        {HdmiOutput(), 1, 48000, 32, true, S_OK},
        {windows7, 1, 48000, 16, false, E_NOINTERFACE},
        {truncated, 1, 48000, 32, true, S_OK},
    };
    AudioClientProperties rawRequest{};
    rawRequest.cbSize = sizeof rawRequest;
    rawRequest.eCategory = AudioCategory_Other;
    rawRequest.Options = AUDCLNT_STREAMOPTIONS_RAW;
    for (const Case& c : cases)
    {
        const std::string number = "case " + std::to_string(&c - cases);
        FakeEndpointConfig config = c.config;
        config.id = std::wstring(number.begin(), number.end());
        FakeEndpoint& endpoint = system.AddEndpoint(config);
        stream.bSharedMode = c.shared;
        ASSERT_EQ(Open(c.rate, 0.0, config.id.c_str()), 1) << number;
        EXPECT_EQ(stream.uiResolvedBitCount, c.resolved) << number;
        EXPECT_EQ(stream.LastFailure.hr, c.trace) << number << ": traced, not failed";
        EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::raw), (std::vector<int64_t>{c.raw}))
            << number;
        const auto requests = endpoint.CallsOf(FakeMethod::SetClientProperties);
        ASSERT_EQ(requests.size(), c.shared != 0 && config.audioClient2 ? 1u : 0u) << number;
        EXPECT_TRUE(requests.empty() || std::memcmp(&requests[0].properties, &rawRequest, sizeof rawRequest) == 0)
            << number;

        int32_t top = 0;
        std::memcpy(&top, Convert(stream.Quantizer, {1.0, 1.0}, 4).data(), sizeof top);
        EXPECT_EQ(top, (int64_t{1} << 31) - (int64_t{1} << (32 - c.resolved))) << number << ": full scale on that grid";
    }
    for (const auto& endpoint : system.Endpoints())
        for (void* block : endpoint->TaskMemoryBlocks())
            EXPECT_TRUE(spy.WasFreed(block)) << "device formats and mix formats go back to the task allocator";
}

TEST_F(OpenRenderDeviceTest, EventDrivenInitialisationIsTriedFirstWhenNotTimerDriven)
{
    FakeEndpoint& endpoint = system.AddEndpoint(ExclusiveEndpoint({48000}, {32}));
    stream.bTimerDriven = 0;
    ASSERT_EQ(Open(48000), 1);
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::flags),
              (std::vector<int64_t>{AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_NOPERSIST}));
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::SetEventHandle, &FakeCall::event), (std::vector<int64_t>{1}));
    EXPECT_EQ(stream.bEventDriven, 1u);
    EXPECT_NE(stream.BufferEvent.hEvent, nullptr);
}

TEST_F(OpenRenderDeviceTest, RefusedEventDrivenInitialisationFallsBackToTheTimer)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_UNSUPPORTED_FORMAT, 0, 1};
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    stream.bTimerDriven = 0;
    ASSERT_EQ(Open(48000), 1);
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::flags),
              (std::vector<int64_t>{AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_NOPERSIST,
                                    AUDCLNT_STREAMFLAGS_NOPERSIST}));
    EXPECT_TRUE(endpoint.CallsOf(FakeMethod::SetEventHandle).empty());
    EXPECT_EQ(stream.bEventDriven, 0u);
}
