#pragma once

#include <cstdint>

// One entry of a CParameterTable: a name and a tagged value. The same record, with the kind
// filled in by the caller, serves as a conversion request (Convert).
struct CAssociativeValue
{
    enum Kind : uint32_t
    {
        Empty = 0,
        Unsigned32 = 1,
        Signed = 2,
        WideText = 3,
        NarrowText = 4,
        Floating = 5,
        Unsigned64 = 6
    };

    wchar_t* pName = nullptr; // owned by the table
    uint32_t uiKind = Empty;
    uint64_t uiValue = 0;        // the integer, or for WideText the owned text's address
    char* pNarrowText = nullptr; // WideText: the text in the process code page, owned
    double* pdfNumber = nullptr; // Floating: the number's address, owned

    const wchar_t* GetWideText() const;

    // Converts entry into the kind named by request->uiKind and stores the result (name, kind,
    // value) in request. 1 on success; -1 not convertible, -4 null argument, -99 unknown kind.
    static int32_t Convert(CAssociativeValue* request, const CAssociativeValue* entry);
};
