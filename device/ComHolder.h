#pragma once

#include <objbase.h>
#include <propidl.h>

// Owns one pointer and frees it exactly once with Free: on Reset, on destruction, or never when
// it is handed on with Detach or a move.
template <class T, void (*Free)(T*)>
class CPointerHolder
{
public:
    CPointerHolder() = default;
    ~CPointerHolder() { Reset(); }

    CPointerHolder(const CPointerHolder&) = delete;
    CPointerHolder& operator=(const CPointerHolder&) = delete;
    // Takes what other holds; what this one held is freed.
    CPointerHolder& operator=(CPointerHolder&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_pObject = other.Detach();
        }
        return *this;
    }

    T* Get() const { return m_pObject; }
    T* operator->() const { return m_pObject; }
    explicit operator bool() const { return m_pObject != nullptr; }

    // The address for an out-parameter; anything held before is freed first.
    T** Put()
    {
        Reset();
        return &m_pObject;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    T* Detach()
    {
        T* pointer = m_pObject;
        m_pObject = nullptr;
        return pointer;
    }

    void Reset()
    {
        T* pointer = Detach();
        if (pointer != nullptr)
            Free(pointer);
    }

private:
    T* m_pObject = nullptr;
};

template <class T>
void ReleaseReference(T* object)
{
    object->Release();
}

template <class T>
void FreeTaskMemory(T* block)
{
    CoTaskMemFree(block);
}

// Owns one reference to a COM interface.
template <class T>
using CComHolder = CPointerHolder<T, ReleaseReference<T>>;

// Owns a block the COM task allocator handed out (closest-match formats, endpoint IDs).
template <class T>
using CCoTaskMemHolder = CPointerHolder<T, FreeTaskMemory<T>>;

// A call that reported success without handing out its object fails as a null pointer.
inline HRESULT ResultWithObject(HRESULT hr, const void* object)
{
    return SUCCEEDED(hr) && object == nullptr ? E_POINTER : hr;
}

// Owns a PROPVARIANT read from a property store and clears it (freeing what it carries) once.
class CPropVariantHolder
{
public:
    CPropVariantHolder() { PropVariantInit(&m_Value); }
    ~CPropVariantHolder() { PropVariantClear(&m_Value); }

    CPropVariantHolder(const CPropVariantHolder&) = delete;
    CPropVariantHolder& operator=(const CPropVariantHolder&) = delete;
    CPropVariantHolder(CPropVariantHolder&& other) noexcept : m_Value(other.m_Value)
    {
        PropVariantInit(&other.m_Value);
    }
    CPropVariantHolder& operator=(CPropVariantHolder&& other) noexcept
    {
        if (this != &other)
        {
            PropVariantClear(&m_Value);
            m_Value = other.m_Value;
            PropVariantInit(&other.m_Value);
        }
        return *this;
    }

    const PROPVARIANT& Get() const { return m_Value; }
    // The address for an out-parameter; any value held before is cleared first.
    PROPVARIANT* Put()
    {
        PropVariantClear(&m_Value);
        return &m_Value;
    }

private:
    PROPVARIANT m_Value;
};
