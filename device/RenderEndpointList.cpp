#include "device/RenderEndpointList.h"

#include "device/AudioEndpoint.h"
#include "device/ComHolder.h"
#include "runtime/BoundedString.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

namespace
{
const wchar_t kUnknownName[] = L"Unknown";

// The friendly name, or "Unknown" when it cannot be read as a wide string; cut to fit.
std::wstring ReadFriendlyName(IMMDevice* device)
{
    wchar_t name[kEndpointNameCapacity] = L"";
    CComHolder<IPropertyStore> store;
    CPropVariantHolder value;
    if (device != nullptr && SUCCEEDED(device->OpenPropertyStore(STGM_READ, store.Put())) && store &&
        SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, value.Put())) && value.Get().vt == VT_LPWSTR &&
        value.Get().pwszVal != nullptr)
        AppendWideString(name, kEndpointNameCapacity, value.Get().pwszVal);
    else
        AppendWideString(name, kEndpointNameCapacity, kUnknownName);
    return name;
}

std::wstring ReadId(IMMDevice* device)
{
    CCoTaskMemHolder<wchar_t> id;
    if (device == nullptr || FAILED(device->GetId(id.Put())) || id.Get() == nullptr)
        return std::wstring();
    return id.Get();
}
}

bool ListRenderEndpoints(std::vector<RenderEndpointEntry>* entries)
{
    if (entries == nullptr)
        return false;
    entries->clear();
    CComHolder<IMMDeviceEnumerator> enumerator;
    if (FAILED(CreateAudioEnumerator(enumerator.Put())) || !enumerator)
        return false;
    CComHolder<IMMDeviceCollection> collection;
    if (FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.Put())) || !collection)
        return false;
    UINT count = 0;
    if (FAILED(collection->GetCount(&count)))
        count = 0;
    // An endpoint that cannot be read is still listed, so that positions match the enumeration.
    for (UINT index = 0; index < count; ++index)
    {
        CComHolder<IMMDevice> device;
        const HRESULT hr = collection->Item(index, device.Put());
        IMMDevice* const endpoint = SUCCEEDED(hr) ? device.Get() : nullptr;
        entries->push_back({ReadFriendlyName(endpoint), ReadId(endpoint)});
    }
    return true;
}
