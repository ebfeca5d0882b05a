#include "device/AudioEndpoint.h"

#include "device/ComHolder.h"
#include "device/PcmFormat.h"
#include "runtime/Status.h"

#include <atomic>

namespace
{
HRESULT CreateSystemEnumerator(IMMDeviceEnumerator** out)
{
    return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IMMDeviceEnumerator),
                            reinterpret_cast<void**>(out));
}

std::atomic<AudioEnumeratorFactory> g_enumeratorFactory{nullptr};

int32_t Fail(DeviceFailure* failure, HRESULT hr, const wchar_t* site)
{
    return failure != nullptr ? failure->Record(hr, site) : kStatusFailure;
}
}

AudioEnumeratorFactory SetAudioEnumeratorFactory(AudioEnumeratorFactory factory)
{
    return g_enumeratorFactory.exchange(factory);
}

HRESULT CreateAudioEnumerator(IMMDeviceEnumerator** out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    const AudioEnumeratorFactory factory = g_enumeratorFactory.load();
    return factory != nullptr ? factory(out) : CreateSystemEnumerator(out);
}

int32_t GetAudioEndpoint(const wchar_t* deviceId, IMMDevice** device, DeviceFailure* failure)
{
    if (device == nullptr)
        return Fail(failure, E_POINTER, L"GetAudioEndpoint");
    *device = nullptr;
    if (deviceId != nullptr && deviceId[0] == L'\0')
        return Fail(failure, HRESULT_FROM_WIN32(ERROR_NOT_FOUND), L"GetAudioEndpoint");

    CComHolder<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CreateAudioEnumerator(enumerator.Put());
    hr = ResultWithObject(hr, enumerator.Get());
    if (FAILED(hr))
        return Fail(failure, hr, L"CreateAudioEnumerator");

    const bool byId = deviceId != nullptr;
    CComHolder<IMMDevice> endpoint;
    hr = byId ? enumerator->GetDevice(deviceId, endpoint.Put())
              : enumerator->GetDefaultAudioEndpoint(eRender, eConsole, endpoint.Put());
    hr = ResultWithObject(hr, endpoint.Get());
    if (FAILED(hr))
        return Fail(failure, hr,
                    byId ? L"IMMDeviceEnumerator::GetDevice" : L"IMMDeviceEnumerator::GetDefaultAudioEndpoint");
    *device = endpoint.Detach();
    return kStatusSuccess;
}

uint32_t ReadEngineDeviceBits(IMMDevice* device)
{
    CComHolder<IPropertyStore> store;
    CPropVariantHolder value;
    if (device == nullptr || FAILED(device->OpenPropertyStore(STGM_READ, store.Put())) || !store ||
        FAILED(store->GetValue(PKEY_AudioEngine_DeviceFormat, value.Put())) || value.Get().vt != VT_BLOB)
        return 0;
    return IntegerPcmValidBits(value.Get().blob.pBlobData, value.Get().blob.cbSize);
}
