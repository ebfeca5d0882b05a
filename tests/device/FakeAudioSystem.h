#pragma once

#include "tests/device/FakeComObject.h"
#include "tests/device/FakeEndpoint.h"

#include "device/AudioEndpoint.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A test-double audio system: endpoints in enumeration order, an optional default render
// endpoint, and the enumerator, collection, device and property store objects that reach
// them. While it exists, CreateAudioEnumerator hands out its enumerator. One at a time.
class FakeAudioSystem
{
public:
    FakeAudioSystem();
    ~FakeAudioSystem();
    FakeAudioSystem(const FakeAudioSystem&) = delete;
    FakeAudioSystem& operator=(const FakeAudioSystem&) = delete;

    // Adds an endpoint at the end of the enumeration; the first active render endpoint added
    // becomes the default unless SetDefaultEndpoint says otherwise.
    FakeEndpoint& AddEndpoint(FakeEndpointConfig config);
    void SetDefaultEndpoint(std::optional<size_t> index);

    HRESULT createFailure = S_OK;
    HRESULT enumerateFailure = S_OK;

    FakeComRegistry& Registry() { return m_Registry; }
    // References still held by the code under test (and not by this system), and misuses
    // (over-release, use after release).
    long OutstandingReferences() const { return m_Registry.OutstandingReferences(); }
    long Misuses() const { return m_Registry.Misuses(); }

    // (flow, state mask) of every EnumAudioEndpoints call; (flow, role) of every default lookup.
    std::vector<std::pair<int, DWORD>> enumerations;
    std::vector<std::pair<int, int>> defaultLookups;
    // The ID of every GetDevice call.
    std::vector<std::wstring> idLookups;

    HRESULT CreateEnumerator(IMMDeviceEnumerator** out);
    const std::vector<std::unique_ptr<FakeEndpoint>>& Endpoints() const { return m_Endpoints; }
    std::optional<size_t> DefaultEndpoint() const { return m_Default; }

private:
    FakeComRegistry m_Registry;
    std::vector<std::unique_ptr<FakeEndpoint>> m_Endpoints;
    std::optional<size_t> m_Default;
    bool m_bDefaultChosen = false;
    AudioEnumeratorFactory m_pfnPreviousFactory = nullptr;
};

IMMDevice* CreateFakeDevice(FakeEndpoint& endpoint);
