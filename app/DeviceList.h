#pragma once

#include <cstddef>
#include <cstdint>

// The output-device list and the sound settings launcher, both on the main thread's COM
// apartment.
namespace DeviceList
{
constexpr size_t kNameCapacity = 64;
constexpr size_t kCommandLineCapacity = 1024;

using NameSink = void (*)(const wchar_t* name, void* context);

// Hands every active render endpoint's friendly name (cut to 63 characters) to sink, in
// enumeration order. An endpoint whose name cannot be read is passed as "Unknown", so that
// list positions keep matching device indices. False when the enumeration cannot be made.
bool EnumerateEndpointNames(NameSink sink, void* context);

// "control.exe mmsys.cpl,," + endpointId + ",advanced", cut to capacity - 1 characters.
void BuildSettingsCommandLine(const wchar_t* endpointId, wchar_t* commandLine, size_t capacity);

// Opens the system's sound settings on device deviceIndex (-1 the default). Returns the
// endpoint lookup's status.
int32_t OpenSoundSettings(int32_t deviceIndex);
}
