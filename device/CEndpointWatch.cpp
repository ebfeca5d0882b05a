#include "device/CEndpointWatch.h"

#include "device/AudioEndpoint.h"
#include "runtime/Status.h"

#include <functiondiscoverykeys_devpkey.h>

#include <atomic>
#include <new>

namespace
{
// The client the system calls. Its callbacks only call the plain callback: no COM call, lock or
// allocation, as the audio service requires of them.
class CEndpointNotificationClient final : public IMMNotificationClient
{
public:
    CEndpointNotificationClient(EndpointChangeCallback callback, void* context)
        : m_pfnCallback(callback), m_pContext(context)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient))
        {
            *out = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_uiReferences; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_uiReferences;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Notify(); }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Notify(); }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Notify(); }

    // The service reports a new default once per role; the program opens the console one.
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override
    {
        return flow == eRender && role == eConsole ? Notify() : S_OK;
    }

    // Property changes are frequent (volume, formats, jack state): only the parts of the name
    // the list shows matter.
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY key) override
    {
        const bool nameChanged = IsEqualPropertyKey(key, PKEY_Device_FriendlyName) ||
                                 IsEqualPropertyKey(key, PKEY_Device_DeviceDesc) ||
                                 IsEqualPropertyKey(key, PKEY_DeviceInterface_FriendlyName);
        return nameChanged ? Notify() : S_OK;
    }

private:
    HRESULT Notify()
    {
        m_pfnCallback(m_pContext);
        return S_OK;
    }

    // Taken and given back by the service's threads too.
    std::atomic<ULONG> m_uiReferences{1};
    const EndpointChangeCallback m_pfnCallback;
    void* const m_pContext;
};
}

CEndpointWatch::~CEndpointWatch()
{
    Stop();
}

int32_t CEndpointWatch::Start(EndpointChangeCallback callback, void* context, DeviceFailure* failure)
{
    Stop();
    DeviceFailure local;
    DeviceFailure& record = failure != nullptr ? *failure : local;
    if (callback == nullptr)
        return record.Record(E_POINTER, L"CEndpointWatch::Start");
    CComHolder<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CreateAudioEnumerator(enumerator.Put());
    hr = ResultWithObject(hr, enumerator.Get());
    if (FAILED(hr))
        return record.Record(hr, L"CreateAudioEnumerator");
    CComHolder<IMMNotificationClient> client;
    *client.Put() = new (std::nothrow) CEndpointNotificationClient(callback, context);
    if (!client)
        return record.Record(E_OUTOFMEMORY, L"CEndpointWatch::Start");
    hr = enumerator->RegisterEndpointNotificationCallback(client.Get());
    if (FAILED(hr))
        return record.Record(hr, L"IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
    *m_Enumerator.Put() = enumerator.Detach();
    *m_Client.Put() = client.Detach();
    return kStatusSuccess;
}

void CEndpointWatch::Stop()
{
    if (!m_Enumerator)
        return;
    const HRESULT hr = m_Enumerator->UnregisterEndpointNotificationCallback(m_Client.Get());
    if (FAILED(hr))
        DeviceFailure().Record(hr, L"IMMDeviceEnumerator::UnregisterEndpointNotificationCallback");
    m_Client.Reset();
    m_Enumerator.Reset();
}
