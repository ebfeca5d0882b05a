#include "device/DeviceFailure.h"

#include "device/HResultName.h"
#include "runtime/Status.h"

#include <cwchar>

int32_t DeviceFailure::Record(HRESULT failure, const wchar_t* site)
{
    hr = failure;
    pszSite = site;
    const wchar_t* where = site != nullptr ? site : L"device";
    const unsigned long code = static_cast<unsigned long>(failure);
    const wchar_t* name = HResultName(failure);
    wchar_t line[256];
    if (name != nullptr)
        std::swprintf(line, sizeof line / sizeof line[0], L"Corvane WASAPI: %ls failed, HRESULT 0x%08lX (%ls)\n", where,
                      code, name);
    else
        std::swprintf(line, sizeof line / sizeof line[0], L"Corvane WASAPI: %ls failed, HRESULT 0x%08lX\n", where,
                      code);
    OutputDebugStringW(line);
    return kStatusFailure;
}

int32_t DeviceFailure::RecordMissingInput(const wchar_t* name)
{
    hr = E_INVALIDARG;
    pszSite = name;
    wchar_t line[160];
    std::swprintf(line, sizeof line / sizeof line[0], L"Corvane WASAPI: render thread input %ls missing or unusable\n",
                  name != nullptr ? name : L"(unnamed)");
    OutputDebugStringW(line);
    return kStatusFailure;
}

void DeviceFailure::Clear()
{
    hr = S_OK;
    pszSite = nullptr;
}
