#include "tests/device/FakeAudioSystem.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>
#include <propsys.h>

#include <algorithm>
#include <cstring>

namespace
{
FakeAudioSystem* g_activeSystem = nullptr;

HRESULT CreateActiveEnumerator(IMMDeviceEnumerator** out)
{
    return g_activeSystem != nullptr ? g_activeSystem->CreateEnumerator(out) : E_UNEXPECTED;
}

wchar_t* CopyToTaskMemory(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy != nullptr)
        std::memcpy(copy, text.c_str(), bytes);
    return copy;
}

class FakePropertyStore final : public FakeComObject<IPropertyStore>
{
public:
    FakePropertyStore(FakeComRegistry& registry, FakeEndpoint& endpoint) : FakeComObject(registry), m_Endpoint(endpoint)
    {
    }

    HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        NoteCall();
        if (value == nullptr)
            return E_POINTER;
        PropVariantInit(value);
        if (IsEqualPropertyKey(key, PKEY_AudioEngine_DeviceFormat))
            return GetDeviceFormat(value);
        if (!IsEqualPropertyKey(key, PKEY_Device_FriendlyName))
            return S_OK;
        if (!m_Endpoint.Config().friendlyNameIsText)
        {
            value->vt = VT_UI4;
            value->ulVal = 7;
            return S_OK;
        }
        value->pwszVal = CopyToTaskMemory(m_Endpoint.Config().friendlyName);
        if (value->pwszVal == nullptr)
            return E_OUTOFMEMORY;
        value->vt = VT_LPWSTR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }

private:
    // A blob from the task allocator, as PropVariantClear frees it; VT_EMPTY when not configured.
    HRESULT GetDeviceFormat(PROPVARIANT* value)
    {
        const std::vector<uint8_t>& format = m_Endpoint.Config().engineDeviceFormat;
        if (format.empty())
            return S_OK;
        void* blob = CoTaskMemAlloc(format.size());
        if (blob == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(blob, format.data(), format.size());
        value->vt = VT_BLOB;
        value->blob.cbSize = static_cast<ULONG>(format.size());
        value->blob.pBlobData = static_cast<BYTE*>(blob);
        return S_OK;
    }

    FakeEndpoint& m_Endpoint;
};

class FakeDevice final : public FakeComObject<IMMDevice>
{
public:
    FakeDevice(FakeComRegistry& registry, FakeEndpoint& endpoint) : FakeComObject(registry), m_Endpoint(endpoint) {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT* parameters, void** out) override
    {
        NoteCall();
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        const HRESULT hr = m_Endpoint.Record(FakeMethod::Activate);
        if (FAILED(hr))
            return hr;
        // The platform asks for no activation parameters for an audio client.
        if (parameters != nullptr)
            return E_INVALIDARG;
        // An endpoint unplugged after it was looked up.
        if (m_Endpoint.State() != DEVICE_STATE_ACTIVE)
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (iid != __uuidof(IAudioClient))
            return E_NOINTERFACE;
        *out = CreateFakeAudioClient(m_Endpoint);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** store) override
    {
        NoteCall();
        if (store == nullptr)
            return E_POINTER;
        *store = CreateFakeComObject<FakePropertyStore>(m_Registry, m_Endpoint);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        NoteCall();
        if (id == nullptr)
            return E_POINTER;
        *id = CopyToTaskMemory(m_Endpoint.Config().id);
        return *id != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetState(DWORD*) override { return E_NOTIMPL; }

private:
    FakeEndpoint& m_Endpoint;
};

class FakeDeviceCollection final : public FakeComObject<IMMDeviceCollection>
{
public:
    FakeDeviceCollection(FakeComRegistry& registry, std::vector<FakeEndpoint*> endpoints)
        : FakeComObject(registry), m_Endpoints(std::move(endpoints))
    {
    }

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override
    {
        NoteCall();
        if (count == nullptr)
            return E_POINTER;
        *count = static_cast<UINT>(m_Endpoints.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override
    {
        NoteCall();
        if (device == nullptr)
            return E_POINTER;
        *device = nullptr;
        if (index >= m_Endpoints.size())
            return E_INVALIDARG;
        *device = CreateFakeDevice(*m_Endpoints[index]);
        return S_OK;
    }

private:
    std::vector<FakeEndpoint*> m_Endpoints;
};

class FakeDeviceEnumerator final : public FakeComObject<IMMDeviceEnumerator>
{
public:
    FakeDeviceEnumerator(FakeComRegistry& registry, FakeAudioSystem& system) : FakeComObject(registry), m_System(system)
    {
    }

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** devices) override
    {
        NoteCall();
        if (devices == nullptr)
            return E_POINTER;
        *devices = nullptr;
        if (FAILED(m_System.enumerateFailure))
            return m_System.enumerateFailure;
        std::vector<FakeEndpoint*> matching;
        for (const auto& endpoint : m_System.Endpoints())
            if (Matches(*endpoint, flow, mask))
                matching.push_back(endpoint.get());
        *devices = CreateFakeComObject<FakeDeviceCollection>(m_Registry, std::move(matching));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** device) override
    {
        NoteCall();
        if (device == nullptr)
            return E_POINTER;
        *device = nullptr;
        m_System.defaultLookups.emplace_back(flow, role);
        const auto index = m_System.DefaultEndpoint();
        if (!index || flow != eRender)
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        *device = CreateFakeDevice(*m_System.Endpoints()[*index]);
        return S_OK;
    }

    // Any known endpoint, whatever its state, as Windows keeps unplugged endpoints known.
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override
    {
        NoteCall();
        if (device == nullptr || id == nullptr)
            return E_POINTER;
        *device = nullptr;
        for (const auto& endpoint : m_System.Endpoints())
        {
            if (endpoint->Config().id == id)
            {
                *device = CreateFakeDevice(*endpoint);
                return S_OK;
            }
        }
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override
    {
        NoteCall();
        return m_System.Register(client, this);
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override
    {
        NoteCall();
        return m_System.Unregister(client, this);
    }

private:
    static bool Matches(const FakeEndpoint& endpoint, EDataFlow flow, DWORD mask)
    {
        return endpoint.Config().flow == flow && (endpoint.State() & mask) != 0;
    }

    FakeAudioSystem& m_System;
};
}

IMMDevice* CreateFakeDevice(FakeEndpoint& endpoint)
{
    return CreateFakeComObject<FakeDevice>(endpoint.Registry(), endpoint);
}

FakeAudioSystem::FakeAudioSystem()
{
    g_activeSystem = this;
    m_pfnPreviousFactory = SetAudioEnumeratorFactory(CreateActiveEnumerator);
}

FakeAudioSystem::~FakeAudioSystem()
{
    SetAudioEnumeratorFactory(m_pfnPreviousFactory);
    g_activeSystem = nullptr;
    // Registrations left behind (a failing test) no longer keep their clients alive.
    for (const auto& registration : m_Registrations)
        registration.first->Release();
}

FakeEndpoint& FakeAudioSystem::AddEndpoint(FakeEndpointConfig config)
{
    const bool defaultCandidate = config.flow == eRender && config.state == DEVICE_STATE_ACTIVE;
    m_Endpoints.push_back(std::make_unique<FakeEndpoint>(m_Registry, std::move(config)));
    if (!m_bDefaultChosen && !m_Default && defaultCandidate)
        m_Default = m_Endpoints.size() - 1;
    return *m_Endpoints.back();
}

void FakeAudioSystem::SetDefaultEndpoint(std::optional<size_t> index)
{
    m_Default = index;
    m_bDefaultChosen = true;
}

HRESULT FakeAudioSystem::CreateEnumerator(IMMDeviceEnumerator** out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (FAILED(createFailure))
        return createFailure;
    *out = CreateFakeComObject<FakeDeviceEnumerator>(m_Registry, *this);
    return S_OK;
}

size_t FakeAudioSystem::Registrations() const
{
    std::lock_guard<std::mutex> lock(m_RegistrationLock);
    return m_Registrations.size();
}

HRESULT FakeAudioSystem::Register(IMMNotificationClient* client, const void* enumerator)
{
    if (client == nullptr)
        return E_POINTER;
    if (FAILED(registerFailure))
        return registerFailure;
    std::lock_guard<std::mutex> lock(m_RegistrationLock);
    client->AddRef();
    m_Registrations.emplace_back(client, enumerator);
    return S_OK;
}

HRESULT FakeAudioSystem::Unregister(IMMNotificationClient* client, const void* enumerator)
{
    if (client == nullptr)
        return E_POINTER;
    std::unique_lock<std::mutex> lock(m_RegistrationLock);
    const auto found = std::find(m_Registrations.begin(), m_Registrations.end(), std::make_pair(client, enumerator));
    if (found == m_Registrations.end())
        return E_NOTFOUND;
    m_Registrations.erase(found);
    lock.unlock();
    client->Release();
    return S_OK;
}

void FakeAudioSystem::Notify(const std::function<void(IMMNotificationClient&)>& notify)
{
    std::vector<IMMNotificationClient*> clients;
    {
        std::lock_guard<std::mutex> lock(m_RegistrationLock);
        for (const auto& registration : m_Registrations)
        {
            registration.first->AddRef();
            clients.push_back(registration.first);
        }
    }
    for (IMMNotificationClient* client : clients)
    {
        notify(*client);
        client->Release();
    }
}
