#pragma once

#include "app/EngineObjects.h"
#include "tests/app/CFakeControlPanel.h"
#include "tests/device/FakeAudioSystem.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

struct RecordedMessageBox
{
    std::wstring Text;
    std::wstring Caption;
    UINT uiType;
};

// The program's long-lived engine objects over a fake audio system, published as the program
// publishes them, with the ramps at the dialog's starting values and every message box recorded.
class CEngineFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The rates (Hz) of every IsFormatSupported call on endpoint, in order, with the share mode.
    static std::vector<std::pair<uint32_t, bool>> FormatQueries(const FakeEndpoint& endpoint);

    // Every box shown since SetUp.
    static const std::vector<RecordedMessageBox>& MessageBoxes();
    // Runs action while each later box is "shown", as a box's modal loop dispatches messages.
    static void WhileMessageBoxShown(std::function<void()> action);

    FakeAudioSystem system;
    EngineObjects engine;
    CSoundStreamWASAPI& SoundStream = engine.SoundStream;
    CNamedValueList& NamedValueList = engine.NamedValueList;
    CFakeControlPanel panel;
};

// An endpoint that renders without end (the render thread keeps finding room).
FakeEndpointConfig RenderingEndpoint(FakeEndpointConfig config);
