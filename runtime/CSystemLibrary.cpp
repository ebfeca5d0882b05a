#include "runtime/CSystemLibrary.h"

CSystemLibrary::CSystemLibrary(const wchar_t* name)
    : m_hModule(name != nullptr ? LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) : nullptr)
{
}

CSystemLibrary::~CSystemLibrary()
{
    if (m_hModule != nullptr)
        FreeLibrary(m_hModule);
}

FARPROC CSystemLibrary::FindExport(const char* name) const
{
    // GetProcAddress with a null module would search the program itself.
    if (m_hModule == nullptr || name == nullptr)
        return nullptr;
    return GetProcAddress(m_hModule, name);
}
