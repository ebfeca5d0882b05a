#include "runtime/CAssociativeValue.h"

#include "runtime/DecimalText.h"
#include "runtime/MessageBoxSeam.h"
#include "runtime/Status.h"

#include <cmath>
#include <cstdint>

namespace
{
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;

// Truncation toward zero that gives a defined result for every double: NaN reads as 0 and
// values beyond the range are clamped to its ends.
int64_t TruncateToInt64(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= kTwoPow63)
        return INT64_MAX;
    if (x <= -kTwoPow63)
        return INT64_MIN;
    return static_cast<int64_t>(x);
}

int32_t TruncateToInt32(double x)
{
    const int64_t wide = TruncateToInt64(x);
    if (wide > INT32_MAX)
        return INT32_MAX;
    if (wide < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(wide);
}

uint64_t TruncateToUInt64(double x)
{
    if (std::isnan(x) || x <= 0.0)
        return 0;
    if (x >= kTwoPow64)
        return UINT64_MAX;
    if (x >= kTwoPow63)
        return static_cast<uint64_t>(x - kTwoPow63) | (uint64_t(1) << 63);
    return static_cast<uint64_t>(x);
}

uint64_t AddressOf(const void* p)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

int32_t Deliver(CAssociativeValue* request, const CAssociativeValue* entry, uint32_t kind, uint64_t value)
{
    request->pName = entry->pName;
    request->uiKind = kind;
    request->uiValue = value;
    return kStatusSuccess;
}

int32_t ParseSigned(const wchar_t* text, uint64_t* out)
{
    if (text == nullptr)
        return kStatusFailure;
    const bool negative = *text == L'-';
    uint64_t magnitude = 0;
    if (!ParseDecimal(negative ? text + 1 : text, DecimalOverflow::Wrap, &magnitude))
        return kStatusFailure;
    *out = negative ? 0 - magnitude : magnitude;
    return kStatusSuccess;
}

int32_t ConvertWideText(CAssociativeValue* request, const CAssociativeValue* entry)
{
    const wchar_t* text = entry->GetWideText();
    uint64_t value = 0;
    switch (request->uiKind)
    {
    case CAssociativeValue::Unsigned32:
        if (!ParseDecimal(text, DecimalOverflow::Saturate32, &value))
            return kStatusFailure;
        return Deliver(request, entry, CAssociativeValue::Unsigned32, value);
    case CAssociativeValue::Signed:
        if (ParseSigned(text, &value) != kStatusSuccess)
            return kStatusFailure;
        return Deliver(request, entry, CAssociativeValue::Signed, value);
    case CAssociativeValue::Unsigned64:
        // Anything that is not a number reads as 0 here, by design of this kind.
        if (!ParseDecimal(text, DecimalOverflow::Wrap, &value))
            value = 0;
        return Deliver(request, entry, CAssociativeValue::Unsigned64, value);
    default:
        return kStatusFailure;
    }
}

// Requests for the text itself, valid for both text kinds; the text is shared, not copied.
int32_t ConvertToText(CAssociativeValue* request, const CAssociativeValue* entry)
{
    if (request->uiKind == CAssociativeValue::WideText)
        return Deliver(request, entry, CAssociativeValue::WideText, entry->uiValue);
    if (request->uiKind == CAssociativeValue::NarrowText)
        return Deliver(request, entry, CAssociativeValue::NarrowText, AddressOf(entry->pNarrowText));
    return kStatusFailure;
}

int32_t ConvertFloating(CAssociativeValue* request, const CAssociativeValue* entry)
{
    const uint32_t kind = request->uiKind;
    if (kind == CAssociativeValue::WideText)
        return kStatusFailure;
    if (kind != CAssociativeValue::Unsigned32 && kind != CAssociativeValue::Signed &&
        kind != CAssociativeValue::Floating && kind != CAssociativeValue::Unsigned64)
    {
        ShowMessageBox(nullptr, L"Unexpected ID for the associative value", L"Debug", MB_OK | MB_ICONERROR);
        return kStatusSuccess;
    }
    if (entry->pdfNumber == nullptr)
        return kStatusFailure;
    const double x = *entry->pdfNumber;
    switch (kind)
    {
    case CAssociativeValue::Unsigned32:
        return Deliver(request, entry, kind, static_cast<uint32_t>(static_cast<uint64_t>(TruncateToInt64(x))));
    case CAssociativeValue::Signed:
        return Deliver(request, entry, kind, static_cast<uint64_t>(static_cast<int64_t>(TruncateToInt32(x))));
    case CAssociativeValue::Floating:
        return Deliver(request, entry, kind, AddressOf(entry->pdfNumber));
    default:
        return Deliver(request, entry, kind, TruncateToUInt64(x));
    }
}

bool IsIntegerKind(uint32_t kind)
{
    return kind == CAssociativeValue::Unsigned32 || kind == CAssociativeValue::Signed ||
           kind == CAssociativeValue::Unsigned64;
}
}

const wchar_t* CAssociativeValue::GetWideText() const
{
    return reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(uiValue));
}

int32_t CAssociativeValue::Convert(CAssociativeValue* request, const CAssociativeValue* entry)
{
    if (request == nullptr || entry == nullptr)
        return kStatusInvalidArgument;
    if (request->uiKind == Empty || entry->uiKind == Empty)
    {
        request->pName = nullptr;
        request->uiKind = Empty;
        request->uiValue = 0;
        return kStatusFailure;
    }
    switch (entry->uiKind)
    {
    case WideText:
        return IsIntegerKind(request->uiKind) ? ConvertWideText(request, entry) : ConvertToText(request, entry);
    case NarrowText:
        return ConvertToText(request, entry);
    case Unsigned32:
    case Unsigned64:
        // Integers are handed over as they are, and reported as not converted.
        if (IsIntegerKind(request->uiKind))
            Deliver(request, entry, entry->uiKind, entry->uiValue);
        return kStatusFailure;
    case Floating:
        return ConvertFloating(request, entry);
    default:
        return kStatusUnrecognized;
    }
}
