#pragma once

#include "runtime/CWorkerThread.h"
#include "runtime/Status.h"

#include <cstdint>

// Reads a worker thread's inputs, the named values its starter set, and keeps the name of the
// first one that is missing or unusable, so that a thread that cannot run says why.
class CWorkerInputReader
{
public:
    explicit CWorkerInputReader(CWorkerThread& owner) : m_Owner(owner) {}

    // The value under name as it was set, null included.
    bool Value(const wchar_t* name, uint64_t* out)
    {
        return m_Owner.GetParameter(name, out) == kStatusSuccess || Refuse(name);
    }

    // The address under name; a null one is missing too.
    template <class T>
    bool Address(const wchar_t* name, T** out)
    {
        uint64_t value = 0;
        if (!Value(name, &value))
            return false;
        *out = reinterpret_cast<T*>(static_cast<uintptr_t>(value));
        return *out != nullptr || Refuse(name);
    }

    // The object at the address under name, copied.
    template <class T>
    bool Copy(const wchar_t* name, T* out)
    {
        T* address = nullptr;
        if (!Address(name, &address))
            return false;
        *out = *address;
        return true;
    }

    // Notes name as unusable (the first such name is kept): false.
    bool Refuse(const wchar_t* name)
    {
        if (m_pszMissing == nullptr)
            m_pszMissing = name;
        return false;
    }

    // The first input missing or refused, or null.
    const wchar_t* Missing() const { return m_pszMissing; }

private:
    CWorkerThread& m_Owner;
    const wchar_t* m_pszMissing = nullptr;
};
