#include "device/RenderThreadProc.h"

#include "device/RenderThreadInputs.h"
#include "runtime/Status.h"
#include "tests/device/DeviceTestSupport.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <thread>

namespace
{
constexpr UINT32 kBufferFrames = 64;
constexpr uint64_t kAllFrames = std::numeric_limits<uint64_t>::max();

double Sample(uint64_t frame, unsigned channel)
{
    const double value = static_cast<double>(frame + 1) / 1024.0;
    return channel == 0 ? value : -value;
}

// A buffer callback whose packets carry consecutive frames (see Sample), scripted call by call:
// its result, the uiValidFrames it reports, and an action to run first. After the script every
// call delivers a full packet.
struct ScriptedSource
{
    struct Step
    {
        intptr_t result = 1;
        uint64_t validFrames = kAllFrames;
        std::function<void()> action;
    };

    static intptr_t Callback(SoundStreamPacket* packet, void* user)
    {
        auto& source = *static_cast<ScriptedSource*>(user);
        const Step step = source.calls < source.steps.size() ? source.steps[source.calls] : Step{};
        ++source.calls;
        if (step.action)
            step.action();
        if (step.result == 0)
            return 0;
        const uint64_t valid = step.validFrames == kAllFrames ? packet->uiCapacity : step.validFrames;
        const uint64_t written = std::min(valid, packet->uiCapacity);
        for (uint64_t i = 0; i < written; ++i)
            for (unsigned c = 0; c < 2; ++c)
                packet->pdfSamples[i * 2 + c] = Sample(source.nextFrame + i, c);
        source.nextFrame += written;
        packet->uiValidFrames = valid;
        return step.result;
    }

    std::vector<Step> steps;
    size_t calls = 0;
    uint64_t nextFrame = 0;
};

class RenderThreadTest : public StreamTest
{
protected:
    void Open(std::deque<UINT32> padding, uint64_t packetFrames,
              FakeEndpointConfig config = ExclusiveEndpoint({48000}, {16}))
    {
        config.bufferFrames = kBufferFrames;
        config.padding = std::move(padding);
        endpoint = &system.AddEndpoint(config);
        system.SetDefaultEndpoint(system.Endpoints().size() - 1);
        stream.uiPacketFrames = packetFrames;
        double duration = 0.0;
        ASSERT_EQ(stream.OpenRenderDevice(48000, &duration, nullptr), kStatusSuccess);
    }

    // Runs the device thread procedure on this thread over the stream's published inputs.
    int64_t Run()
    {
        stream.TerminationEvent.Create(true);
        stream.RenderFailure.Clear();
        CWorkerThread worker;
        EXPECT_EQ(stream.PublishRenderParameters(worker, ScriptedSource::Callback, &source), kStatusAdded);
        CWorkerContext context{0, 1, &worker, 0};
        return RenderThreadProc(&context);
    }

    // Frames 0 .. frames - 1 of the source, then `silence` zero frames, as the endpoint gets them.
    static std::vector<uint8_t> Expected(uint64_t frames, uint64_t silence = 0)
    {
        std::vector<double> values;
        for (uint64_t f = 0; f < frames; ++f)
            values.insert(values.end(), {Sample(f, 0), Sample(f, 1)});
        values.resize(values.size() + silence * 2, 0.0);
        CQuantizer quantizer;
        quantizer.Initialize(16, 16, 0);
        std::vector<uint8_t> bytes(values.size() * 2);
        quantizer.Convert(values.data(), values.size() / 2, bytes.data());
        return bytes;
    }

    // What the thread recorded as the reason it ended by itself.
    void ExpectEndedBecause(HRESULT hr, const wchar_t* site) const
    {
        EXPECT_EQ(stream.RenderFailure.hr, hr);
        EXPECT_STREQ(stream.RenderFailure.pszSite, site);
    }

    FakeEndpoint* endpoint = nullptr;
    ScriptedSource source;
};
}

// Each pass takes as many packets as its room needs (none when the endpoint is full) and keeps
// what is left of the last for the next. A packet adds its valid frames, but no more than the
// local buffer (200 values for packets of 100 frames) or the packet holds; one without any adds
// nothing, and the refill goes on.
TEST_F(RenderThreadTest, PassesTakeWhatTheirRoomNeedsFromThePacketsValidFrames)
{
    const struct
    {
        std::deque<UINT32> padding;
        uint64_t packetFrames;
        uint64_t validFrames; // of the first two packets
        std::vector<int64_t> released;
        size_t calls;
        uint64_t rendered;
    } rows[] = {
        {{0, kBufferFrames, kBufferFrames - 10, kBufferFrames - 30}, 24, kAllFrames, {64, 10, 30}, 5, 104},
        {{0, 0}, 100, 1000, {64, 64}, 2, 128},
        {{0}, 24, 40, {64}, 3, 64},
        {{0}, 24, 0, {64}, 5, 64},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        Open(row.padding, row.packetFrames);
        source = ScriptedSource{};
        source.steps = {{1, row.validFrames, nullptr}, {1, row.validFrames, nullptr}};
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(ArgumentsOf(*endpoint, FakeMethod::ReleaseBuffer, &FakeCall::frames), row.released);
        EXPECT_EQ(source.calls, row.calls);
        EXPECT_EQ(endpoint->Rendered(), Expected(row.rendered));
        ExpectEndedBecause(AUDCLNT_E_DEVICE_INVALIDATED, L"IAudioClient::GetCurrentPadding");
    }
}

// The source's end or the stream's termination, met while the second pass refills: that pass
// renders what is stored, then silence (none of the first pass's frames). The end stops the
// thread at once, leaving the client running; the termination stops it at the next wait.
TEST_F(RenderThreadTest, EndOfDataOrTerminationDuringARefillRendersWhatIsStoredThenSilence)
{
    const struct
    {
        ScriptedSource::Step fourth;
        int64_t result;
        uint64_t stored;
        HRESULT hr;
        const wchar_t* pszSite;
    } rows[] = {
        {{0, 0, nullptr}, 0, 72, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), RenderThreadInput::kBufferCallbackFunction},
        {{1, kAllFrames, [this] { stream.TerminationEvent.Set(); }}, 1, 96, S_OK, nullptr},
    };
    for (const auto& row : rows)
    {
        Open({0, 0, 0}, 24);
        source = ScriptedSource{};
        source.steps = {{}, {}, {}, row.fourth};
        EXPECT_EQ(Run(), row.result);
        EXPECT_EQ(endpoint->CallsOf(FakeMethod::GetCurrentPadding).size(), 2u) << "no pass after it";
        EXPECT_EQ(endpoint->Rendered(), Expected(row.stored, 2 * kBufferFrames - row.stored));
        EXPECT_TRUE(endpoint->CallsOf(FakeMethod::Stop).empty());
        ExpectEndedBecause(row.hr, row.pszSite);
    }
}

// A failing endpoint call ends the thread at once (no pass after it), recorded under its name.
TEST_F(RenderThreadTest, FailingEndpointCallEndsTheThreadAtOnce)
{
    const struct
    {
        FakeMethod method;
        size_t fromCall;
        size_t passes;
        std::vector<int64_t> released;
        const wchar_t* pszSite;
    } rows[] = {
        {FakeMethod::GetBufferSize, 1, 0, {}, L"IAudioClient::GetBufferSize"},
        {FakeMethod::GetBuffer, 1, 2, {64}, L"IAudioRenderClient::GetBuffer"},
        {FakeMethod::ReleaseBuffer, 0, 1, {64}, L"IAudioRenderClient::ReleaseBuffer"},
    };
    for (const auto& row : rows)
    {
        FakeEndpointConfig config = ExclusiveEndpoint({48000}, {16});
        config.failures[row.method] = FakeFailure{AUDCLNT_E_DEVICE_INVALIDATED, row.fromCall};
        Open({0, 0, 0}, 64, config);
        EXPECT_EQ(Run(), 0) << row.pszSite;
        EXPECT_EQ(endpoint->CallsOf(FakeMethod::GetCurrentPadding).size(), row.passes) << row.pszSite;
        EXPECT_EQ(ArgumentsOf(*endpoint, FakeMethod::ReleaseBuffer, &FakeCall::frames), row.released) << row.pszSite;
        ExpectEndedBecause(AUDCLNT_E_DEVICE_INVALIDATED, row.pszSite);
    }
}

// Each input as the stream publishes it; without it the thread ends before it touches the client
// and names it (in the stream's record unless that record is what is missing). A thread that
// cannot enter its apartment ends as early, and tells the stream's owner through its termination.
TEST_F(RenderThreadTest, MissingInputOrApartmentEndsTheThreadBeforeItTouchesTheClient)
{
    using namespace RenderThreadInput;
    Open({0}, 64);
    const struct
    {
        const wchar_t* pszName;
        const void* pPublished;
    } inputs[] = {
        {kAudioClient, stream.pAudioClient.Get()},
        {kAudioRenderClient, stream.pAudioRenderClient.Get()},
        {kChannelCount, &stream.uiRenderChannelCount},
        {kBitCount, &stream.uiBitCount},
        {kBufferCallbackFunction, reinterpret_cast<const void*>(&ScriptedSource::Callback)},
        {kUserParameter, &source},
        {kTerminationEvent, &stream.TerminationEvent},
        {kEventDriven, &stream.bEventDriven},
        {kBufferEvent, &stream.BufferEvent},
        {kSoundStreamBuffer, &stream.SoundStreamBuffer},
        {kDataBuffer, &stream.DataBuffer},
        {kMultimediaTimer, &stream.MultimediaTimer},
        {kLocalBuffer, stream.pdfLocalBuffer},
        {kLocalBufferSize, &stream.LocalBufferSize},
        {kQuantizer, &stream.Quantizer},
        {kRenderFailure, &stream.RenderFailure},
    };
    CWorkerThread published;
    ASSERT_EQ(stream.PublishRenderParameters(published, ScriptedSource::Callback, &source), kStatusAdded);
    for (const auto& missing : inputs)
    {
        CWorkerThread worker;
        for (const auto& input : inputs)
        {
            uint64_t value = 0;
            ASSERT_EQ(published.GetParameter(input.pszName, &value), kStatusSuccess) << input.pszName;
            if (&input == &missing)
                EXPECT_EQ(reinterpret_cast<const void*>(static_cast<uintptr_t>(value)), input.pPublished)
                    << input.pszName;
            else
                worker.SetParameter(input.pszName, value);
        }
        stream.RenderFailure.Clear();
        CWorkerContext context{0, 1, &worker, 0};
        EXPECT_EQ(RenderThreadProc(&context), 0) << missing.pszName;
        EXPECT_STREQ(stream.RenderFailure.pszSite, missing.pszName != kRenderFailure ? missing.pszName : nullptr);
    }
    stream.uiRenderChannelCount = 1;
    EXPECT_EQ(Run(), 0);
    ExpectEndedBecause(E_INVALIDARG, kChannelCount);
    EXPECT_EQ(RenderThreadProc(nullptr), 0);

    stream.uiRenderChannelCount = 2;
    int64_t result = -1;
    std::thread([&] {
        // A thread of the multithreaded apartment cannot enter a single-threaded one.
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        result = Run();
        if (SUCCEEDED(hr))
            CoUninitialize();
    }).join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(stream.TerminationEvent.IsSignaled());
    ExpectEndedBecause(RPC_E_CHANGED_MODE, L"CoInitializeEx");
    EXPECT_EQ(endpoint->CallsOf(FakeMethod::GetBufferSize).size(), 1u) << "only the open's";
}

TEST_F(RenderThreadTest, EventDrivenPassesWaitForTheBufferEvent)
{
    stream.bTimerDriven = 0;
    Open({0, 0}, 64);
    ASSERT_EQ(stream.bEventDriven, 1u);
    ASSERT_TRUE(SetEvent(stream.BufferEvent.hEvent));
    source.steps = {{1, kAllFrames, [this] { stream.TerminationEvent.Set(); }}};
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(endpoint->CallsOf(FakeMethod::GetCurrentPadding).size(), 1u);
    EXPECT_EQ(endpoint->Rendered(), Expected(64));
}
