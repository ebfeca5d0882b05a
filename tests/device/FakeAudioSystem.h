#pragma once

#include "tests/device/FakeComObject.h"
#include "tests/device/FakeEndpoint.h"

#include "device/AudioEndpoint.h"

#include <functional>
#include <memory>
#include <mutex>
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
    HRESULT registerFailure = S_OK;

    // References still held by the code under test (and not by this system), and misuses
    // (over-release, use after release).
    long OutstandingReferences() const { return m_Registry.OutstandingReferences(); }
    long Misuses() const { return m_Registry.Misuses(); }

    // (flow, role) of every default lookup.
    std::vector<std::pair<int, int>> defaultLookups;

    // Notification clients registered and not unregistered. As Windows does, the system holds a
    // reference to each; a client is unregistered only through the enumerator it registered with
    // (E_NOTFOUND otherwise).
    size_t Registrations() const;
    // Calls notify on every registered client, each held by a reference during its call, as the
    // audio service does on a thread of its own: call it from another thread.
    void Notify(const std::function<void(IMMNotificationClient&)>& notify);

    HRESULT CreateEnumerator(IMMDeviceEnumerator** out);
    HRESULT Register(IMMNotificationClient* client, const void* enumerator);
    HRESULT Unregister(IMMNotificationClient* client, const void* enumerator);
    const std::vector<std::unique_ptr<FakeEndpoint>>& Endpoints() const { return m_Endpoints; }
    std::optional<size_t> DefaultEndpoint() const { return m_Default; }

private:
    FakeComRegistry m_Registry;
    std::vector<std::unique_ptr<FakeEndpoint>> m_Endpoints;
    std::optional<size_t> m_Default;
    bool m_bDefaultChosen = false;
    AudioEnumeratorFactory m_pfnPreviousFactory = nullptr;
    mutable std::mutex m_RegistrationLock;
    std::vector<std::pair<IMMNotificationClient*, const void*>> m_Registrations;
};

IMMDevice* CreateFakeDevice(FakeEndpoint& endpoint);
