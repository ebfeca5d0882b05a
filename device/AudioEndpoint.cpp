#include "device/AudioEndpoint.h"

#include "device/ComHolder.h"

#include <atomic>

namespace
{
HRESULT CreateSystemEnumerator(IMMDeviceEnumerator** out)
{
    return CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                            __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(out));
}

std::atomic<AudioEnumeratorFactory> g_enumeratorFactory{nullptr};

HRESULT GetActiveRenderEndpoint(IMMDeviceEnumerator* enumerator, UINT index, IMMDevice** device)
{
    CComHolder<IMMDeviceCollection> collection;
    const HRESULT hr = enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.Put());
    if (FAILED(hr))
        return hr;
    if (!collection)
        return E_POINTER;
    return collection->Item(index, device);
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

int32_t GetAudioEndpoint(int32_t deviceIndex, IMMDevice** device)
{
    if (device == nullptr)
        return -1;
    *device = nullptr;
    if (deviceIndex < -1)
        return -1;

    CComHolder<IMMDeviceEnumerator> enumerator;
    if (FAILED(CreateAudioEnumerator(enumerator.Put())) || !enumerator)
        return -1;

    CComHolder<IMMDevice> endpoint;
    const HRESULT hr = deviceIndex == -1
                           ? enumerator->GetDefaultAudioEndpoint(eRender, eConsole, endpoint.Put())
                           : GetActiveRenderEndpoint(enumerator.Get(), static_cast<UINT>(deviceIndex),
                                                     endpoint.Put());
    if (FAILED(hr) || !endpoint)
        return -1;
    *device = endpoint.Detach();
    return 1;
}
