#include "device/PcmFormat.h"
#include "runtime/Status.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/device/TaskMemorySpy.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace
{
constexpr int64_t kNoPersist = AUDCLNT_STREAMFLAGS_NOPERSIST;
constexpr int64_t kEventDriven = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_NOPERSIST;
constexpr int64_t kConverting =
    AUDCLNT_STREAMFLAGS_NOPERSIST | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

class OpenRenderDeviceTest : public StreamTest
{
protected:
    // Each row of a table adds its own endpoint and opens it by its ID.
    FakeEndpoint& Add(FakeEndpointConfig config, const std::wstring& id)
    {
        config.id = id;
        return system.AddEndpoint(config);
    }

    int32_t Open(uint32_t rate, double duration = 0.0, const wchar_t* device = nullptr)
    {
        requested = duration;
        return stream.OpenRenderDevice(rate, &requested, device);
    }

    // Every buffer and reference of an open stream is gone.
    void ExpectClosed()
    {
        EXPECT_EQ(stream.uiState, 0u);
        EXPECT_EQ(stream.pdfLocalBuffer, nullptr);
        EXPECT_EQ(stream.LocalBufferSize, 0u);
        EXPECT_EQ(stream.SoundStreamBuffer.pdfSamples, nullptr);
        EXPECT_EQ(stream.SoundStreamBuffer.uiCapacity, 0u);
        EXPECT_EQ(stream.DataBuffer.GetCapacity(), 0u);
        EXPECT_EQ(stream.uiBitCount, 0u);
        EXPECT_EQ(stream.dfRate, 0.0);
        EXPECT_EQ(system.OutstandingReferences(), 0);
    }

    double requested = 0.0;
};
}

// Deepest first, and 24 valid bits in a 32-bit container before packed 24 bits, which many
// exclusive-mode drivers refuse: each row offers two neighbours in the order of the search.
TEST_F(OpenRenderDeviceTest, ExclusiveModeTakesTheDeepestLayoutTheEndpointAccepts)
{
    const struct
    {
        std::vector<FakePcmBits> offered;
        PcmDepth chosen;
    } rows[] = {
        {{32, {32, 24}}, {32, 32}},
        {{{32, 24}, 24}, {32, 24}},
        {{24, 16}, {24, 24}},
        {{16}, {16, 16}},
    };
    for (const auto& row : rows)
    {
        const std::wstring id = std::to_wstring(&row - rows);
        FakeEndpoint& endpoint = Add(ExclusiveEndpoint({48000}, row.offered), id);
        ASSERT_EQ(Open(48000, 0.0, id.c_str()), kStatusSuccess) << row.chosen.uiValidBits;
        EXPECT_EQ(stream.uiBitCount, row.chosen.uiContainerBits);
        EXPECT_EQ(stream.uiResolvedBitCount, row.chosen.uiValidBits);
        EXPECT_EQ(stream.dfRate, 48000.0);
        EXPECT_EQ(endpoint.CallsOf(FakeMethod::Initialize).at(0).session, 0) << "no session GUID";
    }
}

// A failing call on the way is kept in LastFailure; it, a bad argument and a packet too large to
// count leave the stream closed.
TEST_F(OpenRenderDeviceTest, RefusedOpenLeavesTheStreamClosed)
{
    FakeEndpointConfig unplugged = ExclusiveEndpoint({48000}, {32});
    unplugged.state = DEVICE_STATE_UNPLUGGED;
    FakeEndpointConfig noService = ExclusiveEndpoint({48000}, {32});
    noService.failures[FakeMethod::GetService] = FakeFailure{E_NOINTERFACE};
    FakeEndpointConfig sharedRefused = WindowsSharedEndpoint(48000);
    sharedRefused.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_UNSUPPORTED_FORMAT};
    // 480 frames are unaligned; the fresh client's Initialize is refused too.
    FakeEndpointConfig busyRetry = ExclusiveEndpoint({48000}, {32});
    busyRetry.exclusiveAlignment = 64;
    busyRetry.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_DEVICE_IN_USE, 1, 1};
    const struct
    {
        FakeEndpointConfig config;
        uint32_t shared;
        HRESULT hr;
        const wchar_t* pszSite;
        size_t initializations;
    } rows[] = {
        {ExclusiveEndpoint({44100}, {16}), 0, AUDCLNT_E_UNSUPPORTED_FORMAT, L"IAudioClient::IsFormatSupported", 0},
        {unplugged, 0, AUDCLNT_E_DEVICE_INVALIDATED, L"IMMDevice::Activate", 0},
        {noService, 0, E_NOINTERFACE, L"IAudioClient::GetService", 1},
        {sharedRefused, 1, AUDCLNT_E_UNSUPPORTED_FORMAT, L"IAudioClient::Initialize", 1},
        {busyRetry, 0, AUDCLNT_E_DEVICE_IN_USE, L"IAudioClient::Initialize", 2},
    };
    for (const auto& row : rows)
    {
        const std::wstring id = std::to_wstring(&row - rows);
        FakeEndpoint& endpoint = Add(row.config, id);
        stream.bSharedMode = row.shared;
        EXPECT_EQ(Open(48000, 0.0, id.c_str()), kStatusFailure) << row.pszSite;
        EXPECT_EQ(stream.LastFailure.hr, row.hr) << row.pszSite;
        EXPECT_STREQ(stream.LastFailure.pszSite, row.pszSite);
        EXPECT_EQ(endpoint.CallsOf(FakeMethod::Initialize).size(), row.initializations) << row.pszSite;
        ExpectClosed();
    }
    EXPECT_EQ(Open(48000, 0.0, L"{unknown}"), kStatusFailure);
    EXPECT_STREQ(stream.LastFailure.pszSite, L"IMMDeviceEnumerator::GetDevice");
    ExpectClosed();

    EXPECT_EQ(stream.OpenRenderDevice(48000, nullptr, nullptr), kStatusInvalidArgument);
    EXPECT_EQ(Open(0), kStatusInvalidArgument);
    stream.bSharedMode = 0;
    stream.uiPacketFrames = std::numeric_limits<uint64_t>::max() / 8;
    EXPECT_EQ(Open(44100), kStatusOverflow) << "the first endpoint opens at 44.1 kHz";
    ExpectClosed();
}

// Windows' shared mode resamples any rate to its mix rate when asked to convert, so the device
// would play another rate than the one opened; only at the mix rate is conversion asked for.
TEST_F(OpenRenderDeviceTest, SharedModeAsksForConversionOnlyAtTheMixRate)
{
    TaskMemorySpy spy;
    ASSERT_TRUE(spy.IsRegistered());
    stream.bSharedMode = 1;
    for (const WORD mixChannels : {WORD{2}, WORD{6}})
    {
        FakeEndpointConfig config = WindowsSharedEndpoint(48000);
        config.mixChannels = mixChannels;
        const std::wstring id = L"mix" + std::to_wstring(mixChannels);
        FakeEndpoint& endpoint = Add(config, id);
        EXPECT_EQ(Open(96000, 0.0, id.c_str()), kStatusFailure) << mixChannels << " channels";
        EXPECT_EQ(stream.LastFailure.hr, AUDCLNT_E_UNSUPPORTED_FORMAT);
        EXPECT_STREQ(stream.LastFailure.pszSite, L"IAudioClient::Initialize") << "S_FALSE accepts the layout";
        ASSERT_EQ(Open(48000, 0.0, id.c_str()), kStatusSuccess);
        EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::flags),
                  (std::vector<int64_t>{kNoPersist, kConverting}));
    }
    EXPECT_EQ(spy.Outstanding(), 0) << "closest matches and mix formats go back to the task allocator";
}

// Initialize is refused, so that the duration shows the cut the open made before it.
TEST_F(OpenRenderDeviceTest, RequestedDurationIsCutToWholeFramesAndRaisedToTheMinimumPeriod)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_DEVICE_IN_USE};
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    const struct
    {
        double requested;
        int64_t hns;
        double cut;
    } rows[] = {
        {0.0, 100000, 0.0}, // the default period
        {0.001, 30000, 48.0 / 48000.0},
        {0.0104, 103958, 499.0 / 48000.0},
        {std::nan(""), 30000, 0.0}, // no frames
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(Open(48000, row.requested), kStatusFailure);
        EXPECT_DOUBLE_EQ(requested, row.cut) << row.requested;
        const FakeCall initialize = endpoint.CallsOf(FakeMethod::Initialize).back();
        EXPECT_EQ(initialize.duration, row.hns) << row.requested;
        EXPECT_EQ(initialize.periodicity, row.hns) << row.requested;
    }
}

// An unaligned exclusive buffer is retried on a fresh client with the aligned size's period.
// The packet holds uiPacketFrames (0: one endpoint buffer, kept for later opens); the ring and
// the work buffer hold the larger of packet and endpoint buffer.
TEST_F(OpenRenderDeviceTest, BuffersFollowTheAlignedEndpointBufferAndThePacket)
{
    FakeEndpointConfig config = ExclusiveEndpoint({44100, 88200}, {32});
    config.exclusiveAlignment = 32;
    system.AddEndpoint(config);
    ASSERT_EQ(Open(44100), kStatusSuccess);
    EXPECT_EQ(stream.uiDeviceBufferFrames, 448u) << "441 frames refused";
    EXPECT_DOUBLE_EQ(requested, 448.0 / 44100.0);
    EXPECT_EQ(stream.LastFailure.hr, AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED) << "kept, though the retry recovered";
    EXPECT_EQ(system.OutstandingReferences(), 3) << "the refused client is released";
    EXPECT_EQ(stream.uiPacketFrames, 448u);
    ASSERT_EQ(Open(88200), kStatusSuccess);
    EXPECT_EQ(stream.uiDeviceBufferFrames, 896u);
    EXPECT_EQ(stream.uiPacketFrames, 448u);
    const SoundStreamPacket& packet = stream.SoundStreamBuffer;
    EXPECT_EQ(packet.pOwner, &stream);
    EXPECT_EQ(packet.uiCapacity, 448u);
    EXPECT_EQ(packet.uiValidFrames, 0u);
    ASSERT_NE(packet.pdfSamples, nullptr);
    EXPECT_EQ(packet.pdfSamples[895], 0.0);
    EXPECT_EQ(stream.DataBuffer.GetCapacity(), 2u * (896u * 16u + 448u * 16u));
    EXPECT_EQ(stream.LocalBufferSize, 2u * 896u);
}

// Shared streams ask for raw processing and are quantized at the resolution of the engine's
// integer device format, so that Windows' last conversion leaves them exact; exclusive streams
// reach the device directly and are quantized at their own valid bits. Either is cut to
// uiMaxBitCount. Refusals of raw mode are traced, not failed; a bad device format changes nothing.
TEST_F(OpenRenderDeviceTest, QuantizerBitsFollowTheDeviceItsEngineAndTheLimit)
{
    TaskMemorySpy spy;
    ASSERT_TRUE(spy.IsRegistered());
    FakeEndpointConfig windows7 = WindowsSharedEndpoint(48000);
    windows7.audioClient2 = false;
    windows7.engineDeviceFormat = IntegerDeviceFormat(16, 16);
    FakeEndpointConfig truncated = UsbDac();
    truncated.engineDeviceFormat.pop_back();
    const struct
    {
        FakeEndpointConfig config;
        uint32_t shared;
        uint32_t rate;
        uint32_t maxBits;
        uint32_t resolved;
        uint32_t effective;
        bool raw;
        HRESULT trace;
    } rows[] = {
        {UsbDac(), 0, 96000, 0, 24, 24, false, S_OK},
        {UsbDac(), 1, 48000, 0, 24, 24, true, S_OK},
        {BluetoothHeadset(), 1, 44100, 0, 16, 16, false, AUDCLNT_E_RAW_MODE_UNSUPPORTED},
        {HdmiOutput(), 1, 48000, 0, 32, 32, true, S_OK},
        {windows7, 1, 48000, 0, 16, 16, false, E_NOINTERFACE},
        {truncated, 1, 48000, 0, 32, 32, true, S_OK},
        {HdAudioCodec(), 0, 48000, 16, 32, 16, false, S_OK},
        {HdAudioCodec(), 0, 48000, 40, 32, 32, false, S_OK},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        FakeEndpoint& endpoint = Add(row.config, std::to_wstring(&row - rows));
        stream.bSharedMode = row.shared;
        stream.uiMaxBitCount = row.maxBits;
        ASSERT_EQ(Open(row.rate, 0.0, std::to_wstring(&row - rows).c_str()), kStatusSuccess);
        EXPECT_EQ(stream.uiResolvedBitCount, row.resolved);
        EXPECT_EQ(stream.LastFailure.hr, row.trace) << "traced, not failed";
        EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::raw), (std::vector<int64_t>{row.raw}));
        const auto requests = endpoint.CallsOf(FakeMethod::SetClientProperties);
        ASSERT_EQ(requests.size(), row.shared != 0 && row.config.audioClient2 ? 1u : 0u);
        EXPECT_TRUE(requests.empty() || requests[0].properties.eCategory == AudioCategory_Other);

        const double fullScale[2] = {1.0, 1.0};
        int32_t top[2] = {};
        stream.Quantizer.Convert(fullScale, 1, reinterpret_cast<uint8_t*>(top));
        EXPECT_EQ(top[0], (int64_t{1} << 31) - (int64_t{1} << (32 - row.effective))) << "full scale on that grid";
    }
    EXPECT_EQ(spy.Outstanding(), 0) << "device formats and mix formats go back to the task allocator";
}

// A shared endpoint whose engine converts to 16-bit PCM (a Bluetooth headset): a level below one
// step of its grid reaches it, as single steps, only with the enhancer.
TEST_F(OpenRenderDeviceTest, QuantizerTakesTheResolutionEnhancerSetting)
{
    system.AddEndpoint(BluetoothHeadset());
    stream.bSharedMode = 1;
    const std::vector<double> belowOneStep(200, 0.3 / 32767.0);
    for (const uint32_t enhancer : {0u, 1u})
    {
        stream.bResolutionEnhancer = enhancer;
        ASSERT_EQ(Open(44100), kStatusSuccess);
        std::vector<int32_t> samples(belowOneStep.size());
        stream.Quantizer.Convert(belowOneStep.data(), 100, reinterpret_cast<uint8_t*>(samples.data()));
        const auto steps = std::count(samples.begin(), samples.end(), 65536);
        EXPECT_EQ(steps + std::count(samples.begin(), samples.end(), 0), 200) << "single steps of the 16-bit grid";
        EXPECT_EQ(steps > 0, enhancer == 1);
    }
}

// Not timer-driven: an event-driven client first, given its event; where Initialize refuses the
// event callback, a timer-driven one.
TEST_F(OpenRenderDeviceTest, EventDrivenInitialisationIsTriedFirstWhenNotTimerDriven)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.failures[FakeMethod::Initialize] = FakeFailure{AUDCLNT_E_UNSUPPORTED_FORMAT, 1, 1};
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    stream.bTimerDriven = 0;
    ASSERT_EQ(Open(48000), kStatusSuccess);
    EXPECT_EQ(stream.bEventDriven, 1u);
    ASSERT_EQ(Open(48000), kStatusSuccess) << "its event-driven Initialize refused";
    EXPECT_EQ(stream.bEventDriven, 0u);
    EXPECT_EQ(ArgumentsOf(endpoint, FakeMethod::Initialize, &FakeCall::flags),
              (std::vector<int64_t>{kEventDriven, kEventDriven, kNoPersist}));
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::SetEventHandle).size(), 1u);
}
