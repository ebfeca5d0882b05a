#pragma once

#include "device/ComHolder.h"
#include "device/DeviceFailure.h"

#include <windows.h>
#include <mmdeviceapi.h>

#include <cstdint>

// Told that the audio endpoints changed: one appeared, went, changed its state or its name, or
// the default render endpoint changed. Runs on a thread of the system's audio service, never on
// the thread that started the watch, and may come while the watch stops: it may only pass the
// news on (post a message), without waiting, locking or calling the endpoint API.
using EndpointChangeCallback = void (*)(void* context);

// Watches the system's audio endpoints through the enumerator's notification client
// registration. It keeps the enumerator it registered with and unregisters before releasing it.
class CEndpointWatch
{
public:
    CEndpointWatch() = default;
    ~CEndpointWatch();
    CEndpointWatch(const CEndpointWatch&) = delete;
    CEndpointWatch& operator=(const CEndpointWatch&) = delete;

    // Stops an earlier watch, then registers for the endpoint notifications: 1 when watching;
    // -1 with nothing registered and nothing held (the failing call recorded in *failure when
    // one is given), in which case callback is never called.
    int32_t Start(EndpointChangeCallback callback, void* context, DeviceFailure* failure = nullptr);

    // Unregisters, then releases the enumerator; harmless when not watching. No callback starts
    // after it returns, but one already under way may still finish, so what the callback does
    // must stay harmless then (a message posted to a window that is gone is dropped).
    void Stop();

    bool IsWatching() const { return static_cast<bool>(m_Enumerator); }

private:
    CComHolder<IMMDeviceEnumerator> m_Enumerator;
    CComHolder<IMMNotificationClient> m_Client;
};
