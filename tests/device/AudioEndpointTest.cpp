#include "device/AudioEndpoint.h"

#include "device/CEndpointWatch.h"
#include "device/ComHolder.h"
#include "device/RenderEndpointList.h"
#include "runtime/Status.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/device/FakeAudioSystem.h"

#include <functiondiscoverykeys_devpkey.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
FakeEndpointConfig Endpoint(const wchar_t* id, EDataFlow flow = eRender, DWORD state = DEVICE_STATE_ACTIVE)
{
    FakeEndpointConfig config;
    config.id = id;
    config.flow = flow;
    config.state = state;
    return config;
}

class AudioEndpointTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        system.AddEndpoint(Endpoint(L"mic", eCapture));
        system.AddEndpoint(Endpoint(L"speakers"));
        system.AddEndpoint(Endpoint(L"dock", eRender, DEVICE_STATE_UNPLUGGED));
        system.AddEndpoint(Endpoint(L"headphones"));
    }
    void TearDown() override
    {
        EXPECT_EQ(system.OutstandingReferences(), 0);
        // The watch unregistered through its enumerator while it still held it.
        EXPECT_EQ(system.Misuses(), 0);
        EXPECT_EQ(system.Registrations(), 0u);
    }

    FakeAudioSystem system;
};

void CountChange(void* context)
{
    ++*static_cast<std::atomic<int>*>(context);
}
}

// The list gives the active render endpoints in enumeration order. A null ID opens the default
// console render endpoint; an ID from the list its endpoint, after another has been plugged in
// ahead of it. Only the device returned is still held.
TEST_F(AudioEndpointTest, NullIdIsTheDefaultAndAListedIdItsEndpointWhereverItMoved)
{
    std::vector<RenderEndpointEntry> entries;
    ASSERT_TRUE(ListRenderEndpoints(&entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Id, L"speakers");
    EXPECT_EQ(entries[1].Id, L"headphones");
    EXPECT_EQ(entries[1].Name, L"Fake Speakers");

    system.Endpoints()[2]->SetState(DEVICE_STATE_ACTIVE);
    system.SetDefaultEndpoint(2);
    const struct
    {
        const wchar_t* pszId;
        const wchar_t* pszFound;
    } lookups[] = {{nullptr, L"dock"}, {entries[1].Id.c_str(), L"headphones"}};
    for (const auto& lookup : lookups)
    {
        CComHolder<IMMDevice> device;
        ASSERT_EQ(GetAudioEndpoint(lookup.pszId, device.Put()), kStatusSuccess);
        CCoTaskMemHolder<wchar_t> id;
        ASSERT_EQ(device->GetId(id.Put()), S_OK);
        EXPECT_STREQ(id.Get(), lookup.pszFound);
        EXPECT_EQ(system.OutstandingReferences(), 1);
    }
    EXPECT_EQ(system.defaultLookups, (std::vector<std::pair<int, int>>{{eRender, eConsole}}));

    const AudioEnumeratorFactory installed = SetAudioEnumeratorFactory(nullptr);
    EXPECT_NE(installed, nullptr) << "the fake system's, handed back as the one installed before";
    SetAudioEnumeratorFactory(installed);
}

TEST_F(AudioEndpointTest, FailuresReturnMinusOneRecordTheCallAndReleaseEverything)
{
    IMMDevice* device = reinterpret_cast<IMMDevice*>(this);
    EXPECT_EQ(GetAudioEndpoint(L"gone", &device), kStatusFailure);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(GetAudioEndpoint(L"", &device), kStatusFailure) << "an endpoint whose ID could not be read";
    EXPECT_EQ(GetAudioEndpoint(nullptr, nullptr), kStatusFailure);

    system.SetDefaultEndpoint(std::nullopt);
    EXPECT_EQ(GetAudioEndpoint(nullptr, &device), kStatusFailure) << "no default endpoint";

    system.createFailure = REGDB_E_CLASSNOTREG;
    DeviceFailure failure;
    EXPECT_EQ(GetAudioEndpoint(L"speakers", &device, &failure), kStatusFailure);
    EXPECT_EQ(failure.hr, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(device, nullptr);
}

TEST(DeviceFailure, TracesTheHresultInHexAndByNameWhereItHasOne)
{
    const struct
    {
        HRESULT hr;
        const wchar_t* pszTraced;
    } cases[] = {
        {AUDCLNT_E_DEVICE_IN_USE, L"0x8889000A (AUDCLNT_E_DEVICE_IN_USE)"},
        {AUDCLNT_E_DEVICE_INVALIDATED, L"0x88890004 (AUDCLNT_E_DEVICE_INVALIDATED)"},
        {AUDCLNT_E_RESOURCES_INVALIDATED, L"0x88890026 (AUDCLNT_E_RESOURCES_INVALIDATED)"},
        {AUDCLNT_S_BUFFER_EMPTY, L"0x08890001 (AUDCLNT_S_BUFFER_EMPTY)"},
        {HRESULT_FROM_WIN32(ERROR_NOT_FOUND), L"0x80070490 (E_NOTFOUND)"},
        {HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), L"0x80070057 (E_INVALIDARG)"},
        {RPC_E_CHANGED_MODE, L"0x80010106 (RPC_E_CHANGED_MODE)"},
        {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), L"0x80070026 (HRESULT_FROM_WIN32(ERROR_HANDLE_EOF))"},
        {MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x1234), L"0x80041234"},
    };
    for (const auto& c : cases)
    {
        CDebugOutputCapture capture;
        DeviceFailure().Record(c.hr, L"IAudioClient::Initialize");
        EXPECT_EQ(capture.Text(),
                  std::wstring(L"Corvane WASAPI: IAudioClient::Initialize failed, HRESULT ") + c.pszTraced + L"\n");
    }
}

// A watch that cannot register holds nothing; a second start replaces the first registration.
// Its end (before the tear-down's checks) unregisters.
TEST_F(AudioEndpointTest, WatchRegistersOnceAndPassesOnChangesFromTheServiceThread)
{
    std::atomic<int> changes{0};
    CEndpointWatch watch;
    DeviceFailure failure;
    system.registerFailure = E_OUTOFMEMORY;
    EXPECT_EQ(watch.Start(CountChange, &changes, &failure), kStatusFailure);
    EXPECT_STREQ(failure.pszSite, L"IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
    EXPECT_FALSE(watch.IsWatching());
    EXPECT_EQ(system.OutstandingReferences(), 0);
    system.registerFailure = S_OK;
    ASSERT_EQ(watch.Start(CountChange, &changes), kStatusSuccess);
    ASSERT_EQ(watch.Start(CountChange, &changes), kStatusSuccess);
    EXPECT_EQ(system.Registrations(), 1u);
    std::thread([this] {
        system.Notify([](IMMNotificationClient& client) {
            client.OnDeviceAdded(L"usb");
            client.OnDeviceRemoved(L"usb");
            client.OnDeviceStateChanged(L"dock", DEVICE_STATE_ACTIVE);
            client.OnDefaultDeviceChanged(eRender, eConsole, L"headphones");
            client.OnPropertyValueChanged(L"speakers", PKEY_Device_FriendlyName);
            // Ignored: the same default change for another role, capture, a format property.
            client.OnDefaultDeviceChanged(eRender, eMultimedia, L"headphones");
            client.OnDefaultDeviceChanged(eCapture, eConsole, L"mic");
            client.OnPropertyValueChanged(L"speakers", PKEY_AudioEngine_DeviceFormat);
        });
    }).join();
    EXPECT_EQ(changes.load(), 5);
}
