#pragma once

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

// Index -1: the default console render endpoint; j >= 0: item j of the active render
// endpoints in enumeration order. 1 with *device holding a reference the caller releases,
// or -1 with *device null.
int32_t GetAudioEndpoint(int32_t deviceIndex, IMMDevice** device);
