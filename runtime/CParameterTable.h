#pragma once

#include "runtime/CAssociativeValue.h"
#include "runtime/CMemoryANSI.h"

#include <cstdint>

// A fixed table of up to 512 named values, each stored as text: numbers are kept as their
// decimal digits and converted back when read. Not locked: its owner fills it before the
// threads that read it start and clears it after they have ended.
class CParameterTable
{
public:
    static constexpr int32_t kCapacity = 512;

    CParameterTable();
    // A table that allocates through memory, which must outlive it.
    explicit CParameterTable(SMemory& memory);
    ~CParameterTable();
    CParameterTable(const CParameterTable&) = delete;
    CParameterTable& operator=(const CParameterTable&) = delete;

    // 3 entry added, 5 entry replaced, -1 table full or unusable, -2 a copy could not be allocated
    // (the table is left as it was), -4 name or text null.
    int32_t SetText(const wchar_t* name, const wchar_t* text);
    // As SetText, storing the decimal digits of value.
    int32_t SetUnsigned(const wchar_t* name, uint64_t value);
    // 1 with out set; -10 no such name; -100 not a number; -1 unusable; -4 null argument.
    // out is untouched on failure.
    int32_t GetUnsigned(const wchar_t* name, uint64_t* out);
    // Reads the entry at index (in order of first insertion) as a number: 1, -10 past the last
    // entry, -100 not a number, -1 unusable.
    int32_t GetUnsignedAt(int32_t index, uint64_t* out);
    // Removes every entry (storage kept): 1, or -1 if unusable.
    int32_t Clear();

    // Entries in use; -1 while the entry storage is missing.
    int32_t GetCount() const { return m_iCount; }
    // The entry named name, or nullptr.
    const CAssociativeValue* Find(const wchar_t* name) const;

private:
    void AllocateEntries();
    CAssociativeValue* FindEntry(const wchar_t* name) const;
    bool IsUsable() const { return m_pMemory != nullptr && m_pEntries != nullptr && m_iCount >= 0; }
    int32_t ReadUnsigned(const CAssociativeValue& entry, uint64_t* out);
    void FreeValue(CAssociativeValue& entry);
    void FreeEntry(CAssociativeValue& entry);
    wchar_t* CopyWide(const wchar_t* text);
    char* CopyToCodePage(const wchar_t* text);

    SMemory* m_pMemory;
    CMemoryANSI* m_pOwnedMemory;
    int32_t m_iCount;
    CAssociativeValue* m_pEntries;
};
