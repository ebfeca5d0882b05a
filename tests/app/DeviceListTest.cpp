#include "app/DeviceList.h"
#include "app/DeviceListRefresh.h"
#include "app/PlaybackControl.h"
#include "device/CEndpointWatch.h"
#include "runtime/Status.h"
#include "tests/app/CEngineFixture.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/device/FakeAudioSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace
{
void Collect(const wchar_t* name, void* context)
{
    static_cast<std::vector<std::wstring>*>(context)->push_back(name);
}

FakeEndpointConfig Named(const std::wstring& name, DWORD state = DEVICE_STATE_ACTIVE, const wchar_t* id = nullptr)
{
    FakeEndpointConfig config;
    config.friendlyName = name;
    config.state = state;
    if (id != nullptr)
        config.id = id;
    return config;
}

using Names = std::vector<std::wstring>;
const std::wstring kDefaultEntry = L"既定のオーディオ再生デバイス";

// Without the dialog's window: the watch's callback, on the audio service's thread, only notes
// the change (the dialog posts a message), which the test then handles as the dialog does.
class DeviceListRefreshTest : public CEngineFixture
{
protected:
    void SetUp() override
    {
        CEngineFixture::SetUp();
        m_pDock = &system.AddEndpoint(Named(L"Dock", DEVICE_STATE_UNPLUGGED, L"dock"));
        ASSERT_EQ(watch.Start([](void* noted) { ++*static_cast<std::atomic<int>*>(noted); }, &changes), kStatusSuccess);
    }
    void TearDown() override
    {
        watch.Stop();
        CEngineFixture::TearDown();
    }

    // The service tells of a change from its own thread; the test handles it as the dialog does.
    void Tell(std::function<void(IMMNotificationClient&)> change)
    {
        std::thread([&] { system.Notify(change); }).join();
        ASSERT_EQ(changes.exchange(0), 1);
        DeviceListRefresh::OnEndpointsChanged(panel);
    }
    void PlugDock(DWORD state)
    {
        m_pDock->SetState(state);
        Tell([state](IMMNotificationClient& client) { client.OnDeviceStateChanged(L"dock", state); });
    }

    std::atomic<int> changes{0};
    CEndpointWatch watch;
    FakeEndpoint* m_pDock = nullptr;
};

TEST(DeviceList, ListsActiveRenderEndpointsInOrderWithUnreadableNamesAsUnknown)
{
    FakeAudioSystem system;
    system.AddEndpoint(Named(L"Speakers"));
    system.AddEndpoint(Named(L"Unplugged", DEVICE_STATE_UNPLUGGED));
    FakeEndpointConfig nameless = Named(L"ignored");
    nameless.friendlyNameIsText = false;
    system.AddEndpoint(nameless);
    system.AddEndpoint(Named(std::wstring(70, L'x')));
    std::vector<std::wstring> names;
    EXPECT_TRUE(DeviceList::EnumerateEndpointNames(Collect, &names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Speakers", L"Unknown", std::wstring(63, L'x')}));
    EXPECT_EQ(system.OutstandingReferences(), 0);
    EXPECT_EQ(system.Misuses(), 0);
}

TEST(DeviceList, FailedEnumerationAddsNothingAndForgetsTheEarlierList)
{
    FakeAudioSystem system;
    std::vector<std::wstring> names;
    EXPECT_TRUE(DeviceList::EnumerateEndpointNames(Collect, &names)) << "no endpoint is no failure";
    system.AddEndpoint(Named(L"Speakers"));
    ASSERT_TRUE(DeviceList::EnumerateEndpointNames(nullptr, nullptr));
    EXPECT_STREQ(DeviceList::EndpointId(0), L"{0.0.0.00000000}.{fake-endpoint}");
    EXPECT_EQ(DeviceList::EndpointId(-1), nullptr) << "the default endpoint";
    EXPECT_LT(DeviceList::OpenSoundSettings(5), 0) << "no such entry: nothing is started";
    system.enumerateFailure = E_FAIL;
    EXPECT_FALSE(DeviceList::EnumerateEndpointNames(Collect, &names));
    system.enumerateFailure = S_OK;
    system.createFailure = E_FAIL;
    EXPECT_FALSE(DeviceList::EnumerateEndpointNames(Collect, &names));
    EXPECT_TRUE(names.empty());
    EXPECT_STREQ(DeviceList::EndpointId(0), L"") << "no stale ID: opening it fails";
    EXPECT_EQ(system.OutstandingReferences(), 0);
}

TEST(DeviceList, SettingsCommandLineNamesTheEndpointAndStaysWithinItsBuffer)
{
    wchar_t commandLine[DeviceList::kCommandLineCapacity];
    DeviceList::BuildSettingsCommandLine(L"{0.0.0.00000000}.{abc}", commandLine, DeviceList::kCommandLineCapacity);
    EXPECT_STREQ(commandLine, L"\"control.exe\" mmsys.cpl,,{0.0.0.00000000}.{abc},advanced");
    DeviceList::BuildSettingsCommandLine(nullptr, commandLine, DeviceList::kCommandLineCapacity);
    EXPECT_STREQ(commandLine, L"\"control.exe\" mmsys.cpl,,,advanced");
    const std::wstring longId(2000, L'i');
    DeviceList::BuildSettingsCommandLine(longId.c_str(), commandLine, DeviceList::kCommandLineCapacity);
    const std::wstring built(commandLine);
    EXPECT_EQ(built.size(), 1023u);
    EXPECT_EQ(built.rfind(L"\"control.exe\" mmsys.cpl,,iii", 0), 0u);
}

// Started by its full path, so that a control.exe beside the program never runs instead.
TEST(DeviceList, SettingsProgramIsTheSystemFoldersControlPanelOrNone)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(DeviceList::SystemControlPanelPath(path, MAX_PATH));
    EXPECT_EQ(std::wstring(path), std::wstring(system) + L"\\control.exe");
    EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    // Room for the folder but not for the name: no path rather than the folder itself.
    EXPECT_FALSE(DeviceList::SystemControlPanelPath(path, length + 5));
    EXPECT_FALSE(DeviceList::SystemControlPanelPath(path, 3));
}
}

TEST_F(DeviceListRefreshTest, IdleListFollowsTheEndpointsAndKeepsTheChosenOneByItsId)
{
    FakeEndpoint& dac = system.AddEndpoint(Named(L"USB DAC", DEVICE_STATE_ACTIVE, L"dac"));
    DeviceListRefresh::Refill(panel);
    panel.uiDeviceEntry = 1;
    PlugDock(DEVICE_STATE_ACTIVE);
    EXPECT_EQ(panel.deviceEntries, (Names{kDefaultEntry, L"Dock", L"USB DAC"}));
    EXPECT_EQ(panel.uiDeviceEntry, 2u) << "the DAC stays chosen where it moved";
    EXPECT_EQ(panel.shownDeviceNames.back(), L"USB DAC");
    EXPECT_STREQ(DeviceList::EndpointId(1), L"dac") << "play opens the entry shown";

    dac.SetState(DEVICE_STATE_NOTPRESENT);
    PlugDock(DEVICE_STATE_ACTIVE);
    EXPECT_EQ(panel.deviceEntries, (Names{kDefaultEntry, L"Dock"}));
    EXPECT_EQ(panel.uiDeviceEntry, 0u) << "the chosen device is gone: the default instead";
    EXPECT_EQ(panel.shownDeviceNames.back(), kDefaultEntry);
}

TEST_F(DeviceListRefreshTest, WhileAStartOrPlaybackRunsTheRefillWaitsUntilIdle)
{
    FakeEndpointConfig config = RenderingEndpoint(ExclusiveEndpoint({48000}, {24}));
    config.failures[FakeMethod::Start] = FakeFailure{E_FAIL, 0, 1};
    system.AddEndpoint(config);
    DeviceListRefresh::Refill(panel);
    panel.uiDeviceEntry = 1;
    // The failing start's message box dispatches the news.
    WhileMessageBoxShown([&] { PlugDock(DEVICE_STATE_ACTIVE); });
    PlaybackControl::Start(panel);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(panel.shownDeviceNames.size(), 1u) << "no refill under the running start";
    DeviceListRefresh::RefillIfDue(panel);
    EXPECT_EQ(panel.deviceEntries, (Names{kDefaultEntry, L"Dock", L"Fake Speakers"}));
    EXPECT_EQ(panel.uiDeviceEntry, 2u);

    WhileMessageBoxShown(nullptr);
    panel.uiDeviceEntry = 0;
    PlaybackControl::Start(panel);
    ASSERT_EQ(SoundStream.bStarted, 1u);
    system.SetDefaultEndpoint(0);
    Tell([](IMMNotificationClient& client) { client.OnDefaultDeviceChanged(eRender, eConsole, L"dock"); });
    EXPECT_TRUE(m_pDock->CallsOf(FakeMethod::Activate).empty()) << "the sound stays where it started";
    PlugDock(DEVICE_STATE_UNPLUGGED);
    DeviceListRefresh::RefillIfDue(panel);
    EXPECT_EQ(panel.shownDeviceNames.size(), 2u) << "no refill while playing";
    ASSERT_TRUE(PlaybackControl::StopAndShowIdle(panel));
    DeviceListRefresh::RefillIfDue(panel);
    DeviceListRefresh::RefillIfDue(panel);
    EXPECT_EQ(panel.shownDeviceNames.size(), 3u) << "one refill after the stop";
    EXPECT_EQ(panel.deviceEntries, (Names{kDefaultEntry, L"Fake Speakers"}));
}
