#pragma once

#include <windows.h>

#include <cstdint>

// Why a device operation failed: the failing call's HRESULT and where it was made (a short
// site name with static storage). The user is told only that the device failed; this is for
// the developer, in the debugger's output and in the stream object.
struct DeviceFailure
{
    HRESULT hr = S_OK;
    const wchar_t* pszSite = nullptr;

    // Keeps the failure, traces it with OutputDebugStringW (the HRESULT in hex, and by name where
    // it has one) and returns -1, the general failure status of a device operation.
    int32_t Record(HRESULT failure, const wchar_t* site);
    // Keeps a render thread input that is missing or unusable as the failure (E_INVALIDARG at the
    // input's name) and traces it as that: -1.
    int32_t RecordMissingInput(const wchar_t* name);
    void Clear();
};
