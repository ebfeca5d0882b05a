// The one translation unit that defines the endpoint API's GUIDs and property keys
// (the enumerator's class ID, PKEY_Device_FriendlyName, PKEY_AudioEngine_DeviceFormat) for
// the whole program.
#include <initguid.h>

#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
