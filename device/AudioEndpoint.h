#pragma once

#include "device/DeviceFailure.h"

#include <windows.h>
#include <mmdeviceapi.h>

#include <cstdint>

// Creates the endpoint enumerator. Tests install a factory that hands out a test double;
// the default creates the system's MMDeviceEnumerator.
using AudioEnumeratorFactory = HRESULT (*)(IMMDeviceEnumerator** out);

// Installs `factory` (nullptr restores the system enumerator) and returns the previous one.
// Everything that reaches the endpoint enumerator goes through CreateAudioEnumerator.
AudioEnumeratorFactory SetAudioEnumeratorFactory(AudioEnumeratorFactory factory);
HRESULT CreateAudioEnumerator(IMMDeviceEnumerator** out);

// A null ID: the default console render endpoint; any other: the endpoint with that ID
// (IMMDevice::GetId), whatever its position in the enumeration now. 1 with *device holding a
// reference the caller releases, or -1 with *device null; an empty or unknown ID fails. The
// failing call is recorded in *failure when one is given.
int32_t GetAudioEndpoint(const wchar_t* deviceId, IMMDevice** device, DeviceFailure* failure = nullptr);

// The valid bits of the format the shared engine converts every shared stream to on its way to
// this endpoint (its device format, PKEY_AudioEngine_DeviceFormat), when that is integer PCM;
// 0 when the property is missing, unreadable or not integer PCM.
uint32_t ReadEngineDeviceBits(IMMDevice* device);
