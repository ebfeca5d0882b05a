#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// One element of a CNamedValueList: an owned name and a value tagged by type.
class CNamedValue
{
public:
    enum Type : uint32_t
    {
        Empty = 0,
        // The A and B codes of a kind hold their value in the same field.
        Integer64A = 1, // uiInteger64
        Integer64B = 2,
        NarrowDecimal = 3, // pNarrowText
        WideDecimal = 4,   // pWideText
        Signed32A = 5,     // iValue32
        Signed32B = 6,
        Value64A = 7, // uiValue64
        Value64B = 8,
        Unsigned32A = 9, // uiValue32
        Unsigned32B = 10,
        OpaqueA = 11, // not convertible
        OpaqueB = 12
    };

    CNamedValue() = default;
    ~CNamedValue();
    CNamedValue(const CNamedValue&) = delete;
    CNamedValue& operator=(const CNamedValue&) = delete;

    // Replace the owned strings with copies (nullptr clears them).
    void SetName(const wchar_t* name);
    void SetNarrowText(const char* text);
    void SetWideText(const wchar_t* text);
    // Zeroes the type and every value field, freeing the texts.
    void ClearValue();

    // 1 with out set; -1 with out 0 if the value is not convertible; 0 with out 0 for an unknown
    // type; -4 for a null out.
    int32_t ToUnsigned(uint64_t* out) const;

    wchar_t* pName = nullptr;
    uint32_t uiType = Empty;
    uint64_t uiInteger64 = 0;
    char* pNarrowText = nullptr;
    wchar_t* pWideText = nullptr;
    int32_t iValue32 = 0;
    uint64_t uiValue64 = 0;
    uint32_t uiValue32 = 0;
};

// The named values handed to the buffer callback. Elements are found by the sum of the UTF-16
// code units of their names, so a name with the same sum (an anagram, for one) also matches.
class CNamedValueList
{
public:
    // Appends an empty element and reports its index through outIndex (may be null):
    // 1, or -1 if the list cannot grow.
    int32_t Append(uint64_t* outIndex);
    // Stores address as type 2 in the element "pdfMultiChannelPacketBuffer", appending it if
    // missing: 1, or -1 if appending failed.
    int32_t SetPacketBuffer(uint64_t address);
    // The first element whose name has the same code-unit sum as name; nullptr if none.
    CNamedValue* Find(const wchar_t* name);

    uint64_t GetCount() const { return m_Elements.size(); }
    // The element at index, or nullptr past the end.
    CNamedValue* At(uint64_t index);

private:
    std::vector<std::unique_ptr<CNamedValue>> m_Elements;
};
