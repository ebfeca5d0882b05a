#include "tests/app/CEngineFixture.h"

#include "app/ProcessState.h"
#include "runtime/CWorkerThread.h"
#include "runtime/MessageBoxSeam.h"
#include "stream/CSoundStreamBuffer.h"

namespace
{
std::vector<RecordedMessageBox> recordedBoxes;
std::function<void()> whileBoxShown;

int RecordMessageBox(HWND, const wchar_t* text, const wchar_t* caption, UINT type)
{
    recordedBoxes.push_back({text != nullptr ? text : L"", caption != nullptr ? caption : L"", type});
    if (whileBoxShown)
        whileBoxShown();
    return IDOK;
}
}

void CEngineFixture::WhileMessageBoxShown(std::function<void()> action)
{
    whileBoxShown = std::move(action);
}

const std::vector<RecordedMessageBox>& CEngineFixture::MessageBoxes()
{
    return recordedBoxes;
}

void CEngineFixture::SetUp()
{
    recordedBoxes.clear();
    whileBoxShown = nullptr;
    SetMessageBoxHook(RecordMessageBox);
    PublishEngineObjects(engine);
    engine.LevelRamp.Initialize(1e-7);
    engine.FrequencyRamp.Initialize(1000.0);
    for (CParameterRamp* ramp :
         {&engine.PhaseRamp, &engine.AMFrequencyRamp, &engine.FMFrequencyRamp, &engine.FMBandwidthRamp})
        ramp->Initialize(0.0);
    uiRateIndex = 8;
    uiMaxEffectiveBits = 24;
    bEnableResolutionEnhancer = 1;
    dfSamplingRate = 96000.0;
}

void CEngineFixture::TearDown()
{
    // As the program's exit does: every thread ended before anything it uses goes.
    TearDownEngine();
    SetMessageBoxHook(nullptr);
    whileBoxShown = nullptr;
    EXPECT_EQ(system.Misuses(), 0);
    EXPECT_EQ(system.OutstandingReferences(), 0) << "a COM reference was not released";
    EXPECT_EQ(system.Registrations(), 0u) << "a notification client was left registered";
}

std::vector<std::pair<uint32_t, bool>> CEngineFixture::FormatQueries(const FakeEndpoint& endpoint)
{
    std::vector<std::pair<uint32_t, bool>> queries;
    for (const FakeCall& call : endpoint.CallsOf(FakeMethod::IsFormatSupported))
    {
        const std::pair<uint32_t, bool> query{static_cast<uint32_t>(call.format.Format.nSamplesPerSec),
                                              call.mode == AUDCLNT_SHAREMODE_SHARED};
        // One attempt asks for 32, 24 and 16 bits in turn: count the rate once.
        if (queries.empty() || queries.back() != query)
            queries.push_back(query);
    }
    return queries;
}

FakeEndpointConfig RenderingEndpoint(FakeEndpointConfig config)
{
    config.keepAnsweringPadding = true;
    return config;
}
