#pragma once

#include <windows.h>

// The SDK's name of an HRESULT that a device operation can meet (the audio client's, the device
// API's, the common COM ones, and the render thread's own reasons to end), or nullptr for one it
// does not know. Names make a user's trace readable without a lookup; the hex stays beside them.
const wchar_t* HResultName(HRESULT hr);
