#include "runtime/CParameterTable.h"

#include "runtime/DecimalText.h"
#include "runtime/Status.h"

#include <windows.h>

#include <cwchar>
#include <new>

CParameterTable::CParameterTable()
    : m_pMemory(nullptr), m_pOwnedMemory(new CMemoryANSI()), m_iCount(-1), m_pEntries(nullptr)
{
    m_pMemory = m_pOwnedMemory;
    AllocateEntries();
}

CParameterTable::CParameterTable(SMemory& memory)
    : m_pMemory(&memory), m_pOwnedMemory(nullptr), m_iCount(-1), m_pEntries(nullptr)
{
    AllocateEntries();
}

void CParameterTable::AllocateEntries()
{
    void* storage = nullptr;
    if (m_pMemory->Allocate(&storage, sizeof(CAssociativeValue) * kCapacity) != kStatusSuccess)
        return;
    m_pEntries = static_cast<CAssociativeValue*>(storage);
    for (int32_t i = 0; i < kCapacity; ++i)
        new (&m_pEntries[i]) CAssociativeValue();
    m_iCount = 0;
}

CParameterTable::~CParameterTable()
{
    Clear();
    if (m_pEntries != nullptr)
        m_pMemory->Free(m_pEntries);
    m_pEntries = nullptr;
    m_iCount = -1;
    m_pMemory = nullptr;
    delete m_pOwnedMemory;
    m_pOwnedMemory = nullptr;
}

const CAssociativeValue* CParameterTable::Find(const wchar_t* name) const
{
    return FindEntry(name);
}

CAssociativeValue* CParameterTable::FindEntry(const wchar_t* name) const
{
    if (name == nullptr || !IsUsable())
        return nullptr;
    for (int32_t i = 0; i < m_iCount; ++i)
    {
        if (m_pEntries[i].pName != nullptr && std::wcscmp(m_pEntries[i].pName, name) == 0)
            return &m_pEntries[i];
    }
    return nullptr;
}

int32_t CParameterTable::SetText(const wchar_t* name, const wchar_t* text)
{
    if (name == nullptr || text == nullptr)
        return kStatusInvalidArgument;
    if (!IsUsable())
        return kStatusFailure;
    CAssociativeValue* entry = FindEntry(name);
    if (entry == nullptr && m_iCount >= kCapacity)
        return kStatusFailure;
    // Every copy is made before the table changes, so that a refused allocation leaves it as it
    // was: a reader must not find the name without its text.
    CAssociativeValue copy;
    copy.pName = entry == nullptr ? CopyWide(name) : nullptr;
    copy.uiKind = CAssociativeValue::WideText;
    copy.uiValue = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(CopyWide(text)));
    copy.pNarrowText = CopyToCodePage(text);
    if ((entry == nullptr && copy.pName == nullptr) || copy.uiValue == 0 || copy.pNarrowText == nullptr)
    {
        FreeEntry(copy);
        return kStatusNotCreated;
    }
    if (entry != nullptr)
    {
        FreeValue(*entry);
        copy.pName = entry->pName;
        *entry = copy;
        return kStatusReplaced;
    }
    m_pEntries[m_iCount++] = copy;
    return kStatusAdded;
}

int32_t CParameterTable::SetUnsigned(const wchar_t* name, uint64_t value)
{
    wchar_t digits[kDecimalTextCapacity];
    FormatDecimal(value, digits);
    return SetText(name, digits);
}

int32_t CParameterTable::GetUnsigned(const wchar_t* name, uint64_t* out)
{
    if (name == nullptr || out == nullptr)
        return kStatusInvalidArgument;
    if (!IsUsable())
        return kStatusFailure;
    const CAssociativeValue* entry = Find(name);
    if (entry == nullptr)
        return kStatusNameNotFound;
    return ReadUnsigned(*entry, out);
}

int32_t CParameterTable::GetUnsignedAt(int32_t index, uint64_t* out)
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    if (!IsUsable())
        return kStatusFailure;
    if (index < 0 || index >= m_iCount)
        return kStatusNameNotFound;
    return ReadUnsigned(m_pEntries[index], out);
}

int32_t CParameterTable::ReadUnsigned(const CAssociativeValue& entry, uint64_t* out)
{
    CAssociativeValue request;
    request.uiKind = CAssociativeValue::Unsigned64;
    if (CAssociativeValue::Convert(&request, &entry) != kStatusSuccess)
        return kStatusNotConvertible;
    *out = request.uiValue;
    return kStatusSuccess;
}

int32_t CParameterTable::Clear()
{
    if (!IsUsable())
        return kStatusFailure;
    for (int32_t i = 0; i < m_iCount; ++i)
        FreeEntry(m_pEntries[i]);
    m_iCount = 0;
    return kStatusSuccess;
}

void CParameterTable::FreeValue(CAssociativeValue& entry)
{
    if (entry.uiKind == CAssociativeValue::WideText && entry.uiValue != 0)
        m_pMemory->Free(reinterpret_cast<void*>(static_cast<uintptr_t>(entry.uiValue)));
    if (entry.pNarrowText != nullptr)
        m_pMemory->Free(entry.pNarrowText);
    if (entry.pdfNumber != nullptr)
        m_pMemory->Free(entry.pdfNumber);
    entry.uiValue = 0;
    entry.pNarrowText = nullptr;
    entry.pdfNumber = nullptr;
    entry.uiKind = CAssociativeValue::Empty;
}

void CParameterTable::FreeEntry(CAssociativeValue& entry)
{
    FreeValue(entry);
    if (entry.pName != nullptr)
        m_pMemory->Free(entry.pName);
    entry = CAssociativeValue();
}

wchar_t* CParameterTable::CopyWide(const wchar_t* text)
{
    const size_t units = std::wcslen(text) + 1;
    void* copy = nullptr;
    if (m_pMemory->Allocate(&copy, units * sizeof(wchar_t)) != kStatusSuccess)
        return nullptr;
    std::wmemcpy(static_cast<wchar_t*>(copy), text, units);
    return static_cast<wchar_t*>(copy);
}

char* CParameterTable::CopyToCodePage(const wchar_t* text)
{
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return nullptr;
    void* copy = nullptr;
    if (m_pMemory->Allocate(&copy, static_cast<uint64_t>(bytes)) != kStatusSuccess)
        return nullptr;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, static_cast<char*>(copy), bytes, nullptr, nullptr) != bytes)
    {
        m_pMemory->Free(copy);
        return nullptr;
    }
    return static_cast<char*>(copy);
}
