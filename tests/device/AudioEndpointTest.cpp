#include "device/AudioEndpoint.h"

#include "device/ComHolder.h"
#include "tests/device/FakeAudioSystem.h"

#include <gtest/gtest.h>

#include <string>

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

std::wstring IdOf(IMMDevice* device)
{
    CCoTaskMemHolder<wchar_t> id;
    if (device == nullptr || FAILED(device->GetId(id.Put())))
        return L"";
    return id.Get();
}

class AudioEndpointTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        system.AddEndpoint(Endpoint(L"mic", eCapture));
        system.AddEndpoint(Endpoint(L"speakers"));
        system.AddEndpoint(Endpoint(L"unplugged", eRender, DEVICE_STATE_UNPLUGGED));
        system.AddEndpoint(Endpoint(L"headphones"));
    }
    void TearDown() override
    {
        EXPECT_EQ(system.OutstandingReferences(), 0);
        EXPECT_EQ(system.Misuses(), 0);
    }

    FakeAudioSystem system;
};
}

TEST_F(AudioEndpointTest, MinusOneIsTheDefaultConsoleRenderEndpoint)
{
    system.SetDefaultEndpoint(3);
    IMMDevice* device = nullptr;
    ASSERT_EQ(GetAudioEndpoint(-1, &device), 1);
    EXPECT_EQ(IdOf(device), L"headphones");
    ASSERT_EQ(system.defaultLookups.size(), 1u);
    EXPECT_EQ(system.defaultLookups[0], std::make_pair(int{eRender}, int{eConsole}));
    EXPECT_EQ(system.OutstandingReferences(), 1) << "only the returned device is still held";
    device->Release();
}

TEST_F(AudioEndpointTest, IndexCountsOnlyActiveRenderEndpoints)
{
    CComHolder<IMMDevice> first;
    CComHolder<IMMDevice> second;
    ASSERT_EQ(GetAudioEndpoint(0, first.Put()), 1);
    ASSERT_EQ(GetAudioEndpoint(1, second.Put()), 1);
    EXPECT_EQ(IdOf(first.Get()), L"speakers");
    EXPECT_EQ(IdOf(second.Get()), L"headphones");
    for (const auto& enumeration : system.enumerations)
        EXPECT_EQ(enumeration, std::make_pair(int{eRender}, DWORD{DEVICE_STATE_ACTIVE}));
    EXPECT_EQ(system.OutstandingReferences(), 2);
}

TEST_F(AudioEndpointTest, FailuresReturnMinusOneAndReleaseEverything)
{
    IMMDevice* device = reinterpret_cast<IMMDevice*>(this);
    EXPECT_EQ(GetAudioEndpoint(2, &device), -1) << "past the active render endpoints";
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(GetAudioEndpoint(-2, &device), -1);
    EXPECT_EQ(GetAudioEndpoint(0, nullptr), -1);

    system.SetDefaultEndpoint(std::nullopt);
    EXPECT_EQ(GetAudioEndpoint(-1, &device), -1) << "no default endpoint";

    system.enumerateFailure = E_OUTOFMEMORY;
    EXPECT_EQ(GetAudioEndpoint(0, &device), -1);

    system.createFailure = REGDB_E_CLASSNOTREG;
    EXPECT_EQ(GetAudioEndpoint(-1, &device), -1);
    EXPECT_EQ(device, nullptr);
}

TEST(AudioEnumeratorFactory, TheFakeSystemIsInstalledOnlyWhileItLives)
{
    ASSERT_EQ(SetAudioEnumeratorFactory(nullptr), nullptr) << "the system enumerator by default";
    {
        FakeAudioSystem system;
        const AudioEnumeratorFactory installed = SetAudioEnumeratorFactory(nullptr);
        EXPECT_NE(installed, nullptr);
        SetAudioEnumeratorFactory(installed);
    }
    EXPECT_EQ(SetAudioEnumeratorFactory(nullptr), nullptr);
}
