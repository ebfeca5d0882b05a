#include "device/DeviceFailure.h"

#include <cwchar>

int32_t DeviceFailure::Record(HRESULT failure, const wchar_t* site)
{
    hr = failure;
    pszSite = site;
    wchar_t line[160];
    std::swprintf(line, sizeof line / sizeof line[0], L"Corvane WASAPI: %ls failed, HRESULT 0x%08lX\n",
                  site != nullptr ? site : L"device", static_cast<unsigned long>(failure));
    OutputDebugStringW(line);
    return -1;
}

void DeviceFailure::Clear()
{
    hr = S_OK;
    pszSite = nullptr;
}
