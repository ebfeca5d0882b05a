#pragma once

#include <windows.h>

// A DLL of the system, loaded from the system folder only: never from the program's folder or
// the current directory, where a file of the same name downloaded beside the program could
// lie. Freed on destruction.
class CSystemLibrary
{
public:
    explicit CSystemLibrary(const wchar_t* name);
    ~CSystemLibrary();
    CSystemLibrary(const CSystemLibrary&) = delete;
    CSystemLibrary& operator=(const CSystemLibrary&) = delete;

    bool IsLoaded() const { return m_hModule != nullptr; }

    // The export `name` as a Function pointer; null when the library or the export is missing.
    template <typename Function>
    Function Find(const char* name) const
    {
        // Through the generic function pointer type, which every compiler accepts as a cast
        // between unrelated function types without a warning.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindExport(name)));
    }

private:
    FARPROC FindExport(const char* name) const;

    HMODULE m_hModule;
};
