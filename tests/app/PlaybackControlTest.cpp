#include "app/ControlValues.h"
#include "app/DeviceList.h"
#include "app/PlaybackControl.h"
#include "app/ProcessState.h"
#include "app/RateSearch.h"
#include "app/RateTable.h"
#include "runtime/CNamedValueList.h"
#include "runtime/CWorkerThread.h"
#include "runtime/Status.h"
#include "runtime/ThreadCreationSeam.h"
#include "stream/CSoundStreamBuffer.h"
#include "tests/app/CEngineFixture.h"
#include "tests/device/DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace
{
using Queries = std::vector<std::pair<uint32_t, bool>>;
constexpr bool kExclusive = false;
constexpr bool kShared = true;

// Thread creation that fails on one chosen call (0-based) of the seam.
size_t g_ThreadCreations = 0;
size_t g_FailingThreadCreation = SIZE_MAX;

HANDLE CreateThreadFailingOnce(LPTHREAD_START_ROUTINE entry, void* parameter, DWORD* threadId)
{
    if (g_ThreadCreations++ == g_FailingThreadCreation)
        return nullptr;
    return CreateThread(nullptr, 0, entry, parameter, CREATE_SUSPENDED, threadId);
}

class PlaybackControlTest : public CEngineFixture
{
protected:
    // Steps a ramp takes from its value to a new target.
    static size_t GlideSteps(CParameterRamp& ramp, double target)
    {
        ramp.SetTarget(target);
        double value = 0.0;
        for (size_t steps = 0; steps < 100000; ++steps)
        {
            ramp.GetNext(&value);
            if (value == target)
                return steps;
        }
        return 0;
    }

    // Where a ramp comes to rest, as the synthesizer would read it.
    static double SettledValue(CParameterRamp& ramp)
    {
        double value = 0.0;
        for (int step = 0; step < 100000; ++step)
            ramp.GetNext(&value);
        return value;
    }
};

TEST_F(PlaybackControlTest, PlayAtAnOnlyFortyEightKilohertzDeviceShowsTheRateInUseAndStops)
{
    FakeEndpoint& endpoint = system.AddEndpoint(RenderingEndpoint(ExclusiveEndpoint({48000}, {24})));
    panel.uiCarrierPosition = 10500;
    panel.bitsText = L"0";
    PlaybackControl::Start(panel);
    ASSERT_TRUE(MessageBoxes().empty()) << MessageBoxes()[0].Text;
    EXPECT_EQ(FormatQueries(endpoint), (Queries{{96000, kExclusive}, {88200, kExclusive}, {48000, kExclusive}}));
    EXPECT_DOUBLE_EQ(dfSamplingRate, 48000.0);
    EXPECT_EQ(panel.shownRateEntries, (std::vector<uint32_t>{9}));
    EXPECT_EQ(panel.deviceBits, (std::vector<uint32_t>{24}));
    EXPECT_EQ(panel.bitsText, L"2") << "the bits read from the edit are written back";
    EXPECT_EQ(SoundStream.uiMaxBitCount, 2u);
    EXPECT_EQ(panel.idleStates, (std::vector<bool>{false}));
    EXPECT_EQ(pSynthesizerThread->GetState(), CWorkerThread::Running);
    EXPECT_EQ(SoundStream.bStarted, 1u);
    EXPECT_EQ(panel.uiCarrierMaximum, 9500u);

    EXPECT_TRUE(PlaybackControl::StopAndShowIdle(panel));
    EXPECT_EQ(SoundStream.uiState, 0u);
    EXPECT_EQ(pSynthesizerThread->GetState(), CWorkerThread::Empty);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(panel.shownRateEntries, (std::vector<uint32_t>{9, 11}));
    EXPECT_EQ(panel.uiCarrierMaximum, 10500u) << "the chosen maximum's carrier range again";
    // The carrier at the top of the 96 kHz range would have played folded down at 48 kHz: it
    // followed the accepted rate, and the synthesizer was asked for what the readout showed.
    ASSERT_FALSE(panel.carrierFrequencies.empty());
    EXPECT_LT(panel.carrierFrequencies[0], 24000.0);
    EXPECT_EQ(SettledValue(engine.FrequencyRamp), panel.carrierFrequencies[0]);
}

TEST_F(PlaybackControlTest, UpwardSearchFromEightKilohertzFindsFortyFourPointOne)
{
    // Frames in multiples of 32, as exclusive endpoints often demand: 441 are refused, 448 taken.
    FakeEndpointConfig config = RenderingEndpoint(ExclusiveEndpoint({44100}, {16}));
    config.exclusiveAlignment = 32;
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    panel.uiRateEntry = 0;
    PlaybackControl::Start(panel);
    ASSERT_TRUE(MessageBoxes().empty());
    const Queries expected{{8000, kExclusive},  {8000, kShared},     {8000, kExclusive},  {9600, kExclusive},
                           {11025, kExclusive}, {12000, kExclusive}, {16000, kExclusive}, {22050, kExclusive},
                           {24000, kExclusive}, {32000, kExclusive}, {44100, kExclusive}};
    EXPECT_EQ(FormatQueries(endpoint), expected);
    EXPECT_EQ(panel.shownRateEntries, (std::vector<uint32_t>{8}));
    EXPECT_DOUBLE_EQ(dfSamplingRate, 44100.0);
    // One 10 ms block is the packet and the ramps' glide; the synthesizer writes 15 ms at a time.
    EXPECT_EQ(pSoundBuffer->GetBlockFrames(), 441u);
    EXPECT_EQ(SoundStream.uiPacketFrames, 441u);
    EXPECT_EQ(uiBufferSizeToWrite, 661u);
    void* block = nullptr;
    uint64_t blockBytes = 0;
    ASSERT_EQ(pSynthesizerThread->GetMultichannelBuffer(&block, &blockBytes), kStatusSuccess);
    EXPECT_EQ(blockBytes, 661u * 16u);
    uint64_t packetAddress = 0;
    CNamedValue* packet = NamedValueList.Find(L"pdfMultiChannelPacketBuffer");
    ASSERT_NE(packet, nullptr);
    ASSERT_EQ(packet->ToUnsigned(&packetAddress), kStatusSuccess);
    EXPECT_EQ(packetAddress, reinterpret_cast<uint64_t>(pdfMultiChannelPacketBuffer));
    // 16-bit device below the 24 bits asked for: the edit shows what the device does.
    EXPECT_EQ(panel.bitsText, L"16");
    EXPECT_EQ(uiMaxEffectiveBits, 24u);
    EXPECT_EQ(SoundStream.bSharedMode, 0u);
    EXPECT_EQ(SoundStream.uiDeviceBufferFrames, 448u);
    PlaybackControl::Stop();

    // Ramps the synthesizer no longer reads glide over one block.
    EXPECT_EQ(GlideSteps(engine.PhaseRamp, 1.0), 441u);
    EXPECT_EQ(GlideSteps(engine.FMBandwidthRamp, 100.0), 441u);
}

TEST_F(PlaybackControlTest, DeviceRefusingEverythingShowsTheJapaneseMessageAndLeavesAllStopped)
{
    // Exclusive mode refused because other programs play (AUDCLNT_E_DEVICE_IN_USE), shared mode
    // for want of a format: no program holds the device, so the format message.
    FakeEndpointConfig config = ExclusiveEndpoint({384000}, {32});
    config.otherUse = FakeOtherUse::SharedStreams;
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    panel.uiRateEntry = 19;
    PlaybackControl::Start(panel);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].Text, L"出力先のオーディオデバイスを初期化できませんでした。");
    EXPECT_EQ(MessageBoxes()[0].Caption, L"エラー");
    EXPECT_EQ(MessageBoxes()[0].uiType & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(panel.idleStates.empty());
    EXPECT_EQ(SoundStream.uiState, 0u);
    EXPECT_EQ(SoundStream.bSharedMode, 1u) << "the last attempt's share mode stays";
    EXPECT_EQ(pSynthesizerThread->GetState(), CWorkerThread::Empty);
    EXPECT_EQ(pSoundBuffer->GetBlockFrames(), 0u) << "the stream buffer is released";
    // From 384 kHz: down through all 20 rows twice, then once more up (only the top row).
    EXPECT_EQ(FormatQueries(endpoint).size(), 20u + 20u + 1u + 1u);
}

// An attempt that fails before the device is asked is told of, each one, before the verdict: a
// stream left open lets no format be set up.
TEST_F(PlaybackControlTest, EachAttemptThatFailsBeforeTheDeviceIsAskedIsToldOf)
{
    system.AddEndpoint(ExclusiveEndpoint({96000}, {24}));
    ASSERT_TRUE(ReplaceStreamBuffer()) << "as a start does before its search";
    RateSearch::Result result;
    ASSERT_TRUE(RateSearch::SearchRate(-1, RateSearch::ShareMode::Exclusive, RateSearch::Direction::Downward, result));
    PlaybackControl::Start(panel);
    // From 96 kHz: 12 rows down and 9 up, in each mode.
    ASSERT_EQ(MessageBoxes().size(), 2u * (12u + 9u) + 1u);
    EXPECT_EQ(MessageBoxes()[41].Text, L"Failed in setting buffer size.");
    EXPECT_EQ(MessageBoxes()[42].Text, L"出力先のオーディオデバイスを初期化できませんでした。");
    EXPECT_EQ(SoundStream.uiState, 0u);
}

TEST_F(PlaybackControlTest, DeviceThatFailsToStartIsReportedClosedAndShowsTheChoicesAgain)
{
    FakeEndpointConfig config = RenderingEndpoint(ExclusiveEndpoint({48000}, {16}));
    config.failures[FakeMethod::Start] = FakeFailure{E_FAIL, 0, 1};
    system.AddEndpoint(config);
    PlaybackControl::Start(panel);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].Text, L"Failed in starting the audio output device.");
    EXPECT_EQ(MessageBoxes()[0].Caption, L"Error");
    EXPECT_EQ(SoundStream.uiState, 0u);
    EXPECT_EQ(pSynthesizerThread->GetState(), CWorkerThread::Empty);
    EXPECT_TRUE(panel.idleStates.empty());
    // Still idle: the displays show the chosen maximum rate and bits again, not the device's.
    EXPECT_EQ(panel.shownRateEntries, (std::vector<uint32_t>{9, 11}));
    EXPECT_DOUBLE_EQ(dfSamplingRate, 96000.0);
    EXPECT_EQ(panel.deviceBits, (std::vector<uint32_t>{16, 0}));
    EXPECT_EQ(panel.bitsText, L"24");

    PlaybackControl::Start(panel);
    EXPECT_EQ(MessageBoxes().size(), 1u) << "the next play succeeds";
    EXPECT_EQ(SoundStream.bStarted, 1u);
    EXPECT_EQ(uiRateIndex, 8u) << "from the chosen maximum, not from the rate of the failed start";
    PlaybackControl::Stop();
}

TEST_F(PlaybackControlTest, ThreadThatCannotBeCreatedIsReportedAndLeavesAllStopped)
{
    system.AddEndpoint(RenderingEndpoint(ExclusiveEndpoint({96000}, {24})));
    const wchar_t* const messages[] = {L"Failed in starting the synthesizer.",
                                       L"Failed in activating the audio output device."};
    for (size_t failing = 0; failing < 2; ++failing)
    {
        g_ThreadCreations = 0;
        g_FailingThreadCreation = failing;
        const ThreadCreator previous = SetThreadCreator(CreateThreadFailingOnce);
        PlaybackControl::Start(panel);
        SetThreadCreator(previous);
        ASSERT_EQ(MessageBoxes().size(), 2u * (failing + 1));
        EXPECT_EQ(MessageBoxes()[2 * failing].Text, L"Failed in creating a thread.");
        EXPECT_EQ(MessageBoxes()[2 * failing + 1].Text, messages[failing]);
        EXPECT_TRUE(panel.idleStates.empty());
        EXPECT_EQ(SoundStream.uiState, 0u);
        // No thread runs: the worker that failed to start stays prepared, as before its start.
        EXPECT_EQ(SoundStream.WorkerThread.GetState(), failing == 1 ? CWorkerThread::Prepared : CWorkerThread::Empty);
        EXPECT_EQ(pSynthesizerThread->GetState(), failing == 0 ? CWorkerThread::Prepared : CWorkerThread::Empty);
    }
    PlaybackControl::Start(panel);
    EXPECT_EQ(SoundStream.bStarted, 1u) << "the next play succeeds";
    PlaybackControl::Stop();
    EXPECT_EQ(MessageBoxes().size(), 4u);
}

TEST_F(PlaybackControlTest, PlayOpensTheListedDeviceAfterAnotherWasPluggedInAheadOfIt)
{
    FakeEndpointConfig later = ExclusiveEndpoint({48000}, {24});
    later.id = L"later";
    later.state = DEVICE_STATE_UNPLUGGED;
    FakeEndpoint& pluggedIn = system.AddEndpoint(later);
    FakeEndpointConfig chosen = ExclusiveEndpoint({44100}, {24});
    chosen.id = L"chosen";
    FakeEndpoint& listed = system.AddEndpoint(chosen);
    ASSERT_TRUE(DeviceList::EnumerateEndpointNames(nullptr, nullptr));
    pluggedIn.SetState(DEVICE_STATE_ACTIVE);

    panel.uiDeviceEntry = 1;
    PlaybackControl::Start(panel);
    EXPECT_EQ(SoundStream.dfRate, 44100.0) << "which only the listed device takes";
    EXPECT_TRUE(pluggedIn.CallsOf(FakeMethod::Activate).empty());
    EXPECT_EQ(listed.CallsOf(FakeMethod::Activate).size(), 4u) << "96, 88.2, 48 and 44.1 kHz";
}

TEST_F(PlaybackControlTest, PlayWhilePlayingChangesNothing)
{
    FakeEndpoint& endpoint = system.AddEndpoint(RenderingEndpoint(ExclusiveEndpoint({48000}, {24})));
    PlaybackControl::Start(panel);
    ASSERT_EQ(SoundStream.bStarted, 1u);
    const CSoundStreamBuffer* const buffer = pSoundBuffer;
    const size_t initializations = endpoint.CallsOf(FakeMethod::Initialize).size();

    PlaybackControl::Start(panel);
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes()[0].Text;
    EXPECT_EQ(pSoundBuffer, buffer) << "the stream buffer in use stays";
    EXPECT_EQ(endpoint.CallsOf(FakeMethod::Initialize).size(), initializations) << "the device was not opened again";
    EXPECT_EQ(panel.idleStates, (std::vector<bool>{false}));
    EXPECT_TRUE(PlaybackControl::Stop());
    EXPECT_FALSE(PlaybackControl::Stop()) << "stop acts only while playing";
}

TEST_F(PlaybackControlTest, DeviceLostWhilePlayingStopsTellsTheUserAndPlayWorksAgain)
{
    // The device goes away mid-stream, as after an unplug: one padding query fails.
    FakeEndpointConfig config = RenderingEndpoint(ExclusiveEndpoint({48000}, {24}));
    config.failures[FakeMethod::GetCurrentPadding] = FakeFailure{AUDCLNT_E_DEVICE_INVALIDATED, 5, 1};
    FakeEndpoint& endpoint = system.AddEndpoint(config);
    PlaybackControl::Start(panel);
    ASSERT_EQ(SoundStream.bStarted, 1u);
    WhileMessageBoxShown([&] { PlaybackControl::Start(panel); });
    // As the dialog's timer does while playing.
    bool stopped = false;
    for (int i = 0; i < 500 && !stopped; ++i)
    {
        Sleep(10);
        stopped = PlaybackControl::StopIfDeviceEnded(panel);
    }
    ASSERT_TRUE(stopped) << "the ended device thread went unnoticed";
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].Text, L"The audio output device stopped working.");
    EXPECT_EQ(panel.idleStates, (std::vector<bool>{false, true}));
    EXPECT_EQ(panel.deviceBits.back(), 0u);
    EXPECT_EQ(SoundStream.uiState, 0u) << "a play arriving while the box was up did nothing";
    EXPECT_EQ(SoundStream.WorkerThread.GetState(), CWorkerThread::Empty);
    EXPECT_EQ(pSynthesizerThread->GetState(), CWorkerThread::Empty);
    EXPECT_EQ(system.OutstandingReferences(), 0);
    EXPECT_FALSE(PlaybackControl::StopIfDeviceEnded(panel)) << "idle: nothing more to notice";

    WhileMessageBoxShown(nullptr);
    PlaybackControl::Start(panel);
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(SoundStream.bStarted, 1u);
    const size_t rendered = endpoint.RenderedFrames();
    for (int i = 0; i < 500 && endpoint.RenderedFrames() == rendered; ++i)
        Sleep(10);
    EXPECT_GT(endpoint.RenderedFrames(), rendered) << "the second play renders";
    EXPECT_FALSE(PlaybackControl::StopIfDeviceEnded(panel));
    EXPECT_TRUE(PlaybackControl::StopAndShowIdle(panel));
}

// Play on endpoints modelled on documented device classes, from the default 96 kHz and from
// 384 kHz: what opens, what the dialog shows, and a carrier that stays below the accepted rate's
// Nyquist frequency.
TEST_F(PlaybackControlTest, DeviceClassesPlayWhatTheyResolveBelowTheAcceptedNyquistFrequency)
{
    FakeEndpointConfig heldCodec = HdAudioCodec();
    heldCodec.otherUse = FakeOtherUse::ExclusiveStream;
    FakeEndpointConfig sharedCodec = HdAudioCodec();
    sharedCodec.otherUse = FakeOtherUse::SharedStreams;
    struct Played
    {
        uint32_t uiRate, uiContainerBits, uiValidBits, uiResolvedBits;
    };
    // Mode: 0 exclusive, 1 shared, -1 in use (nothing plays). Raw processing: 0 not asked, 1
    // granted, -1 refused.
    const struct
    {
        const char* pszName;
        FakeEndpointConfig Config;
        Played From96k, From384k;
        int iMode, iRaw;
    } classes[] = {
        {"USB DAC", UsbDac(), {96000, 32, 24, 24}, {384000, 32, 24, 24}, 0, 0},
        {"HD-audio codec", HdAudioCodec(), {96000, 32, 32, 32}, {192000, 32, 32, 32}, 0, 0},
        {"Bluetooth headset", BluetoothHeadset(), {44100, 32, 32, 16}, {44100, 32, 32, 16}, 1, -1},
        {"HDMI output", HdmiOutput(), {96000, 24, 24, 24}, {192000, 24, 24, 24}, 0, 0},
        {"codec held by another program", heldCodec, {}, {}, -1, 1},
        {"codec shared with other programs", sharedCodec, {48000, 32, 32, 24}, {48000, 32, 32, 24}, 1, 1},
    };
    for (const auto& device : classes)
        for (const uint32_t maxEntry : {11u, 19u})
        {
            const std::string row = std::string(device.pszName) + (maxEntry == 19 ? " from 384 kHz" : " from 96 kHz");
            const Played& want = maxEntry == 19 ? device.From384k : device.From96k;
            FakeEndpoint& endpoint = system.AddEndpoint(RenderingEndpoint(device.Config));
            system.SetDefaultEndpoint(system.Endpoints().size() - 1);
            const size_t boxes = MessageBoxes().size();
            panel = CFakeControlPanel{};
            panel.uiRateEntry = maxEntry;
            panel.LimitCarrierSlider(
                ControlValues::CarrierSliderMaximum(RateTable::Hertz(RateTable::RowOfEntry(maxEntry))));
            panel.uiCarrierPosition = panel.uiCarrierMaximum;
            PlaybackControl::Start(panel);

            const auto initialize = endpoint.CallsOf(FakeMethod::Initialize);
            ASSERT_FALSE(initialize.empty()) << row;
            const bool playing = SoundStream.bStarted != 0;
            const bool rawAsked = !endpoint.CallsOf(FakeMethod::SetClientProperties).empty();
            EXPECT_EQ(playing ? static_cast<int>(SoundStream.bSharedMode) : -1, device.iMode) << row;
            EXPECT_EQ(!rawAsked ? 0 : playing && initialize.back().raw == 0 ? -1 : 1, device.iRaw) << row;
            if (!playing)
            {
                ASSERT_EQ(MessageBoxes().size(), boxes + 1) << row;
                EXPECT_EQ(MessageBoxes().back().Text, L"The audio output device is in use by another program.");
                EXPECT_EQ(MessageBoxes().back().Caption, L"Error");
                EXPECT_TRUE(panel.idleStates.empty() && SoundStream.uiState == 0) << row;
                continue;
            }
            const WAVEFORMATEXTENSIBLE& opened = initialize.back().format;
            EXPECT_EQ(MessageBoxes().size(), boxes) << row;
            EXPECT_EQ(SoundStream.dfRate, want.uiRate) << row;
            EXPECT_EQ(RateTable::Hertz(RateTable::RowOfEntry(panel.shownRateEntries.back())), want.uiRate) << row;
            EXPECT_EQ(opened.Format.wBitsPerSample, want.uiContainerBits) << row;
            EXPECT_EQ(opened.Samples.wValidBitsPerSample, want.uiValidBits) << row;
            EXPECT_EQ(panel.deviceBits.back(), want.uiResolvedBits) << row;
            const double top = ControlValues::CarrierFrequency(panel.uiCarrierMaximum);
            EXPECT_EQ(panel.uiCarrierMaximum, ControlValues::CarrierSliderMaximum(want.uiRate)) << row;
            EXPECT_LT(top, want.uiRate / 2.0) << row;
            EXPECT_EQ(panel.carrierFrequencies.back(), top) << row << ": the thumb was at the top";
            EXPECT_TRUE(PlaybackControl::StopAndShowIdle(panel)) << row;
        }
}
}
