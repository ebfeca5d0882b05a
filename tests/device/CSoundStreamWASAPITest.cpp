#include "runtime/Status.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/runtime/MessageBoxRecorder.h"

#include <atomic>
#include <string>

namespace
{
// A callback that delivers silent full packets, or ends the data when told to.
struct SilentSource
{
    static intptr_t Callback(SoundStreamPacket* packet, void* user)
    {
        auto& source = *static_cast<SilentSource*>(user);
        ++source.calls;
        if (source.end)
            return 0;
        packet->uiValidFrames = packet->uiCapacity;
        return 1;
    }

    std::atomic<bool> end{false};
    std::atomic<int> calls{0};
};

template <class Condition>
bool WaitUntil(Condition condition)
{
    for (int i = 0; i < 5000 && !condition(); ++i)
        Sleep(1);
    return condition();
}

class SoundStreamTest : public StreamTest
{
protected:
    // Opens `opened` at 48 kHz with 10 ms packets on an endpoint that keeps taking frames.
    FakeEndpoint& Open(CSoundStreamWASAPI& opened, FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32}))
    {
        config.keepAnsweringPadding = true;
        FakeEndpoint& endpoint = system.AddEndpoint(config);
        system.SetDefaultEndpoint(system.Endpoints().size() - 1);
        opened.uiPacketFrames = 480;
        double duration = 0.0;
        EXPECT_EQ(opened.OpenRenderDevice(48000, &duration, nullptr), kStatusSuccess);
        return endpoint;
    }

    // Opens `playing`, starts its device thread and client, and waits for the first frames.
    void StartPlaying(CSoundStreamWASAPI& playing)
    {
        FakeEndpoint& endpoint = Open(playing);
        ASSERT_EQ(playing.StartRender(SilentSource::Callback, &source), kStatusSuccess);
        ASSERT_EQ(playing.Start(), kStatusSuccess);
        ASSERT_TRUE(WaitUntil([&] { return endpoint.RenderedFrames() > 0; }));
    }

    SilentSource source;
};
}

TEST_F(SoundStreamTest, ClosedObjectRefusesEveryOperationButClose)
{
    EXPECT_NE(stream.TerminationEvent.hEvent, nullptr) << "created with the object";
    EXPECT_NE(stream.BufferEvent.hEvent, nullptr) << "created with the object";
    EXPECT_EQ(stream.StartRender(SilentSource::Callback, &source), kStatusFailure);
    EXPECT_EQ(stream.WorkerThread.GetState(), CWorkerThread::Empty) << "no thread started";
    EXPECT_EQ(stream.StartCapture(SilentSource::Callback, &source), kStatusFailure);
    EXPECT_EQ(stream.Start(), kStatusFailure);
    EXPECT_EQ(stream.Stop(), kStatusFailure);
    uint32_t terminated = 7;
    EXPECT_EQ(stream.IsTerminated(&terminated), kStatusFailure);
    EXPECT_EQ(terminated, 7u);

    EXPECT_EQ(stream.Close(), kStatusSuccess);
    EXPECT_EQ(stream.TerminationEvent.hEvent, nullptr);
    EXPECT_EQ(stream.BufferEvent.hEvent, nullptr);
    EXPECT_EQ(stream.Close(), kStatusSuccess);
}

TEST_F(SoundStreamTest, OpenedObjectStartsRendersAndStops)
{
    FakeEndpointConfig config = ExclusiveEndpoint({48000}, {32});
    config.failures[FakeMethod::Start] = FakeFailure{AUDCLNT_E_DEVICE_IN_USE, 0, 1};
    FakeEndpoint& endpoint = Open(stream, config);
    EXPECT_EQ(stream.StartCapture(SilentSource::Callback, &source), kStatusFailure);
    EXPECT_EQ(stream.StartRender(nullptr, &source), kStatusInvalidArgument);
    ASSERT_EQ(stream.StartRender(SilentSource::Callback, &source), kStatusSuccess);
    EXPECT_EQ(stream.WorkerThread.GetPriorityClass(), 0) << "time-critical";
    EXPECT_EQ(stream.StartRender(SilentSource::Callback, &source), kStatusFailure) << "one device thread at a time";
    EXPECT_EQ(stream.Start(), kStatusFailure) << "the client refused";
    uint32_t terminated = 7;
    EXPECT_EQ(stream.IsTerminated(&terminated), kStatusFailure) << "not started";
    ASSERT_EQ(stream.Start(), kStatusSuccess);
    EXPECT_EQ(stream.bStarted, 1u);
    EXPECT_TRUE(WaitUntil([&] { return endpoint.RenderedFrames() >= 960; }));
    EXPECT_EQ(stream.IsTerminated(&terminated), kStatusSuccess);
    EXPECT_EQ(terminated, 0u);

    EXPECT_EQ(stream.Stop(), kStatusSuccess);
    EXPECT_EQ(stream.bStarted, 0u);
    EXPECT_EQ(stream.uiState, 0u);
    EXPECT_EQ(stream.WorkerThread.GetState(), CWorkerThread::Empty);
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::Stop).size(), 1u);
}

TEST_F(SoundStreamTest, StopAfterTheThreadEndedByItself)
{
    source.end = true;
    StartPlaying(stream);
    uint32_t terminated = 0;
    EXPECT_TRUE(WaitUntil([&] { return stream.IsTerminated(&terminated) == kStatusSuccess && terminated == 1; }))
        << "a thread that ended by itself is reported";
    EXPECT_EQ(source.calls, 1);
    EXPECT_EQ(stream.uiState, 1u) << "the stream stays open";
    EXPECT_EQ(stream.Stop(), kStatusSuccess);
    EXPECT_EQ(stream.uiState, 0u);
}

// Close, and the destructor through it, end a running device thread before anything it uses
// goes (the worker warns when it is destroyed still running).
TEST_F(SoundStreamTest, CloseAndDestructionEndARunningThreadFirst)
{
    MessageBoxRecorder boxes;
    StartPlaying(stream);
    EXPECT_EQ(stream.Close(), kStatusSuccess);
    EXPECT_EQ(stream.bStarted, 1u) << "Close leaves the started flag";
    EXPECT_EQ(stream.WorkerThread.GetState(), CWorkerThread::Empty);
    EXPECT_EQ(system.OutstandingReferences(), 0);
    {
        CSoundStreamWASAPI playing;
        StartPlaying(playing);
    }
    EXPECT_EQ(boxes.iCount, 0);
}

// A device that drains in real time behind an endpoint buffer far larger than the stream
// buffer's queue (250 ms; Wine's exclusive mode gives less): the stream starts on a buffer of
// silence, so the device thread asks the source only for what the device has played, at every
// table rate and in both modes, never for the whole buffer at once.
TEST_F(SoundStreamTest, StartsOnSilenceAndAsksOnlyForWhatTheDevicePlayed)
{
    const uint32_t rates[] = {8000,  9600,  11025,  12000,  16000,  22050,  24000,  32000,  44100,  48000,
                              88200, 96000, 176400, 192000, 220500, 264600, 288000, 308700, 352800, 384000};
    for (const uint32_t rate : rates)
        for (const uint32_t shared : {0u, 1u})
        {
            SCOPED_TRACE(std::to_string(rate) + (shared != 0 ? " Hz shared" : " Hz exclusive"));
            FakeEndpointConfig config = ExclusiveEndpoint({rate}, {16});
            config.sharedBits = {16};
            config.bufferFrames = rate / 4;
            config.playsInRealTime = true;
            config.id = std::to_wstring(rate) + (shared != 0 ? L" shared" : L" exclusive");
            FakeEndpoint& endpoint = system.AddEndpoint(config);
            const uint64_t packet = (rate + 99) / 100;
            stream.bSharedMode = shared;
            stream.uiPacketFrames = packet;
            source.calls = 0;
            double duration = 0.0;
            ASSERT_EQ(stream.OpenRenderDevice(rate, &duration, config.id.c_str()), kStatusSuccess);
            ASSERT_EQ(stream.StartRender(SilentSource::Callback, &source), kStatusSuccess);
            ASSERT_EQ(stream.Start(), kStatusSuccess);
            Sleep(30);
            ASSERT_EQ(stream.Stop(), kStatusSuccess);
            const uint64_t asked = static_cast<uint64_t>(source.calls) * packet;
            EXPECT_LE(asked, endpoint.PlayedFrames() + 2 * packet) << "asked for more than the device played";
        }
}
