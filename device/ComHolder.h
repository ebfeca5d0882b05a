#pragma once

#include <objbase.h>
#include <propidl.h>

// Owns one reference to a COM interface and releases it exactly once: on Reset, on
// destruction, or never when the reference is handed on with Detach.
template <class T>
class CComHolder
{
public:
    CComHolder() = default;
    ~CComHolder() { Reset(); }

    CComHolder(const CComHolder&) = delete;
    CComHolder& operator=(const CComHolder&) = delete;

    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // The address for an out-parameter; any reference held before is released first.
    T** Put()
    {
        Reset();
        return &m_pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    T* Detach()
    {
        T* pointer = m_pointer;
        m_pointer = nullptr;
        return pointer;
    }

    void Reset()
    {
        T* pointer = Detach();
        if (pointer != nullptr)
            pointer->Release();
    }

private:
    T* m_pointer = nullptr;
};

// A call that reported success without handing out its object fails as a null pointer.
inline HRESULT ResultWithObject(HRESULT hr, const void* object)
{
    return SUCCEEDED(hr) && object == nullptr ? E_POINTER : hr;
}

// Releases an interface held in a raw member and nulls the member first, so that a second
// call (or a re-entrant one) cannot release it again.
template <class T>
void ReleaseInterface(T*& pointer)
{
    T* held = pointer;
    pointer = nullptr;
    if (held != nullptr)
        held->Release();
}

// Owns a block the COM task allocator handed out (closest-match formats, endpoint IDs).
template <class T>
class CCoTaskMemHolder
{
public:
    CCoTaskMemHolder() = default;
    ~CCoTaskMemHolder() { Reset(); }

    CCoTaskMemHolder(const CCoTaskMemHolder&) = delete;
    CCoTaskMemHolder& operator=(const CCoTaskMemHolder&) = delete;

    T* Get() const { return m_block; }
    T** Put()
    {
        Reset();
        return &m_block;
    }
    void Reset()
    {
        T* block = m_block;
        m_block = nullptr;
        if (block != nullptr)
            CoTaskMemFree(block);
    }

private:
    T* m_block = nullptr;
};

// Owns a PROPVARIANT read from a property store and clears it (freeing what it carries) once.
class CPropVariantHolder
{
public:
    CPropVariantHolder() { PropVariantInit(&m_value); }
    ~CPropVariantHolder() { PropVariantClear(&m_value); }

    CPropVariantHolder(const CPropVariantHolder&) = delete;
    CPropVariantHolder& operator=(const CPropVariantHolder&) = delete;
    CPropVariantHolder(CPropVariantHolder&& other) noexcept : m_value(other.m_value) { PropVariantInit(&other.m_value); }
    CPropVariantHolder& operator=(CPropVariantHolder&& other) noexcept
    {
        if (this != &other)
        {
            PropVariantClear(&m_value);
            m_value = other.m_value;
            PropVariantInit(&other.m_value);
        }
        return *this;
    }

    const PROPVARIANT& Get() const { return m_value; }
    // The address for an out-parameter; any value held before is cleared first.
    PROPVARIANT* Put()
    {
        PropVariantClear(&m_value);
        return &m_value;
    }

private:
    PROPVARIANT m_value;
};
