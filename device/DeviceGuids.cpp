// The one translation unit that defines the endpoint API's GUIDs and property keys
// (PKEY_Device_FriendlyName, PKEY_AudioEngine_DeviceFormat) for the whole program. The
// enumerator's class ID is taken with __uuidof instead: the Windows SDK only declares
// CLSID_MMDeviceEnumerator.
#include <initguid.h>

#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
