#include "app/DeviceList.h"
#include "tests/device/FakeAudioSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
void Collect(const wchar_t* name, void* context)
{
    static_cast<std::vector<std::wstring>*>(context)->push_back(name);
}

FakeEndpointConfig Named(const std::wstring& name, DWORD state = DEVICE_STATE_ACTIVE)
{
    FakeEndpointConfig config;
    config.friendlyName = name;
    config.state = state;
    return config;
}

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
    EXPECT_EQ(system.enumerations, (std::vector<std::pair<int, DWORD>>{{eRender, DEVICE_STATE_ACTIVE}}));
    EXPECT_EQ(system.OutstandingReferences(), 0);
    EXPECT_EQ(system.Misuses(), 0);
}

TEST(DeviceList, FailedEnumerationAddsNothingAndForgetsTheEarlierList)
{
    FakeAudioSystem system;
    system.AddEndpoint(Named(L"Speakers"));
    ASSERT_TRUE(DeviceList::EnumerateEndpointNames(nullptr, nullptr));
    EXPECT_STREQ(DeviceList::EndpointId(0), L"{0.0.0.00000000}.{fake-endpoint}");
    EXPECT_EQ(DeviceList::EndpointId(-1), nullptr) << "the default endpoint";
    std::vector<std::wstring> names;
    system.enumerateFailure = E_FAIL;
    EXPECT_FALSE(DeviceList::EnumerateEndpointNames(Collect, &names));
    system.enumerateFailure = S_OK;
    system.createFailure = E_FAIL;
    EXPECT_FALSE(DeviceList::EnumerateEndpointNames(Collect, &names));
    EXPECT_TRUE(names.empty());
    EXPECT_STREQ(DeviceList::EndpointId(0), L"") << "no stale ID: opening it fails";
    EXPECT_EQ(system.OutstandingReferences(), 0);
}

TEST(DeviceList, EmptyEnumerationSucceedsWithNoEntries)
{
    FakeAudioSystem system;
    std::vector<std::wstring> names;
    EXPECT_TRUE(DeviceList::EnumerateEndpointNames(Collect, &names));
    EXPECT_TRUE(names.empty());
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

TEST(DeviceList, SettingsForAMissingEndpointStartNothing)
{
    FakeAudioSystem system;
    system.AddEndpoint(Named(L"Speakers"));
    EXPECT_LT(DeviceList::OpenSoundSettings(5), 0);
    EXPECT_EQ(system.OutstandingReferences(), 0);
}
}
