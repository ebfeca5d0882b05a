#pragma once

#include <cstddef>
#include <cstdint>

// The output-device list and the sound settings launcher, both on the main thread's COM
// apartment.
namespace DeviceList
{
constexpr size_t kCommandLineCapacity = 1024;

using NameSink = void (*)(const wchar_t* name, void* context);

// Hands every active render endpoint's friendly name (cut to 63 characters) to sink, in
// enumeration order, and keeps each one's ID, so that device index j opens the endpoint listed
// at j even after devices were added or removed. An endpoint whose name cannot be read is
// passed as "Unknown". False when the enumeration cannot be made (nothing is kept then).
bool EnumerateEndpointNames(NameSink sink, void* context);

// The device index of the listed endpoint with this ID, or -1 (the default endpoint) when none
// is listed with it or the ID is null or empty.
int32_t FindEndpoint(const wchar_t* endpointId);

// The ID of the endpoint listed at deviceIndex: null for -1 (the default endpoint), empty for
// an index that was not listed, so that opening it fails.
const wchar_t* EndpointId(int32_t deviceIndex);

// "\"control.exe\" mmsys.cpl,," + endpointId + ",advanced", cut to capacity - 1 characters.
void BuildSettingsCommandLine(const wchar_t* endpointId, wchar_t* commandLine, size_t capacity);

// The system folder's control.exe by its full path: false (nothing to start) when the system
// folder is not known or the path does not fit in capacity characters with its terminator.
bool SystemControlPanelPath(wchar_t* path, size_t capacity);

// Opens the system's sound settings on device deviceIndex (-1 the default): the system
// folder's control.exe, never one found by name beside the program. Returns the endpoint
// lookup's status.
int32_t OpenSoundSettings(int32_t deviceIndex);
}
