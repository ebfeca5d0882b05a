#include "app/DeviceList.h"

#include "device/AudioEndpoint.h"
#include "device/ComHolder.h"
#include "runtime/BoundedString.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
#include <propidl.h>

namespace
{
const wchar_t kUnknownName[] = L"Unknown";

// Copies the endpoint's friendly name, or "Unknown" when it cannot be read as a wide string.
void ReadFriendlyName(IMMDeviceCollection* collection, UINT index, wchar_t* name, size_t capacity)
{
    name[0] = L'\0';
    CComHolder<IMMDevice> device;
    CComHolder<IPropertyStore> store;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(collection->Item(index, device.Put())) && SUCCEEDED(device->OpenPropertyStore(STGM_READ, store.Put())) &&
        SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR && value.pwszVal != nullptr)
        AppendWideString(name, capacity, value.pwszVal);
    else
        AppendWideString(name, capacity, kUnknownName);
    PropVariantClear(&value);
}

void StartDetached(wchar_t* commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
}

namespace DeviceList
{
bool EnumerateEndpointNames(NameSink sink, void* context)
{
    CComHolder<IMMDeviceEnumerator> enumerator;
    if (FAILED(CreateAudioEnumerator(enumerator.Put())) || !enumerator)
        return false;
    CComHolder<IMMDeviceCollection> collection;
    if (FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.Put())) || !collection)
        return false;
    UINT count = 0;
    if (FAILED(collection->GetCount(&count)))
        count = 0;
    for (UINT index = 0; index < count; ++index)
    {
        wchar_t name[kNameCapacity];
        ReadFriendlyName(collection.Get(), index, name, kNameCapacity);
        if (sink != nullptr)
            sink(name, context);
    }
    return true;
}

void BuildSettingsCommandLine(const wchar_t* endpointId, wchar_t* commandLine, size_t capacity)
{
    if (commandLine == nullptr || capacity == 0)
        return;
    commandLine[0] = L'\0';
    AppendWideString(commandLine, capacity, L"control.exe mmsys.cpl,,");
    if (endpointId != nullptr)
        AppendWideString(commandLine, capacity, endpointId);
    AppendWideString(commandLine, capacity, L",advanced");
}

int32_t OpenSoundSettings(int32_t deviceIndex)
{
    CComHolder<IMMDevice> device;
    const int32_t status = GetAudioEndpoint(deviceIndex, device.Put());
    if (status < 0)
        return status;
    CCoTaskMemHolder<wchar_t> id;
    device->GetId(id.Put());
    wchar_t commandLine[kCommandLineCapacity];
    BuildSettingsCommandLine(id.Get(), commandLine, kCommandLineCapacity);
    StartDetached(commandLine);
    return status;
}
}
