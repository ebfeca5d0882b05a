#include "runtime/CNamedValueList.h"

#include "runtime/DecimalText.h"
#include "runtime/Status.h"

#include <cstring>
#include <cwchar>

namespace
{
template <typename Char>
Char* CopyText(const Char* text)
{
    if (text == nullptr)
        return nullptr;
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    Char* copy = new Char[length + 1];
    std::memcpy(copy, text, (length + 1) * sizeof(Char));
    return copy;
}

template <typename Char>
void ReplaceText(Char*& field, const Char* text)
{
    Char* copy = CopyText(text);
    delete[] field;
    field = copy;
}

uint64_t CodeUnitSum(const wchar_t* name)
{
    uint64_t sum = 0;
    for (; *name != 0; ++name)
        sum += static_cast<uint16_t>(*name);
    return sum;
}

template <typename Char>
int32_t ParseText(const Char* text, uint64_t* out)
{
    uint64_t value = 0;
    if (!ParseDecimal(text, DecimalOverflow::Refuse, &value))
        return kStatusFailure;
    *out = value;
    return kStatusSuccess;
}
}

CNamedValue::~CNamedValue()
{
    ClearValue();
    delete[] pName;
}

void CNamedValue::SetName(const wchar_t* name)
{
    ReplaceText(pName, name);
}

void CNamedValue::SetNarrowText(const char* text)
{
    ReplaceText(pNarrowText, text);
}

void CNamedValue::SetWideText(const wchar_t* text)
{
    ReplaceText(pWideText, text);
}

void CNamedValue::ClearValue()
{
    delete[] pNarrowText;
    delete[] pWideText;
    pNarrowText = nullptr;
    pWideText = nullptr;
    uiType = Empty;
    uiInteger64 = 0;
    iValue32 = 0;
    uiValue64 = 0;
    uiValue32 = 0;
}

int32_t CNamedValue::ToUnsigned(uint64_t* out) const
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    *out = 0;
    switch (uiType)
    {
    case Empty:
        return kStatusSuccess;
    case Integer64A:
    case Integer64B:
        *out = uiInteger64;
        return kStatusSuccess;
    case NarrowDecimal:
        return ParseText(pNarrowText, out);
    case WideDecimal:
        return ParseText(pWideText, out);
    case Signed32A:
    case Signed32B:
        *out = static_cast<uint64_t>(static_cast<int64_t>(iValue32));
        return kStatusSuccess;
    case Value64A:
    case Value64B:
        *out = uiValue64;
        return kStatusSuccess;
    case Unsigned32A:
    case Unsigned32B:
        *out = uiValue32;
        return kStatusSuccess;
    case OpaqueA:
    case OpaqueB:
        return kStatusFailure;
    default:
        return kStatusNothingDone;
    }
}

int32_t CNamedValueList::Append(uint64_t* outIndex)
{
    if (m_Elements.size() >= m_Elements.max_size())
        return kStatusFailure;
    m_Elements.push_back(std::make_unique<CNamedValue>());
    if (outIndex != nullptr)
        *outIndex = m_Elements.size() - 1;
    return kStatusSuccess;
}

int32_t CNamedValueList::SetPacketBuffer(uint64_t address)
{
    static const wchar_t kName[] = L"pdfMultiChannelPacketBuffer";
    CNamedValue* element = Find(kName);
    if (element == nullptr)
    {
        uint64_t index = 0;
        if (Append(&index) != kStatusSuccess)
            return kStatusFailure;
        element = At(index);
        element->SetName(kName);
    }
    element->ClearValue();
    element->uiType = CNamedValue::Integer64B;
    element->uiInteger64 = address;
    return kStatusSuccess;
}

CNamedValue* CNamedValueList::Find(const wchar_t* name)
{
    if (name == nullptr)
        return nullptr;
    const uint64_t wanted = CodeUnitSum(name);
    for (const auto& element : m_Elements)
    {
        if (element->pName != nullptr && element->pName[0] != 0 && CodeUnitSum(element->pName) == wanted)
            return element.get();
    }
    return nullptr;
}

CNamedValue* CNamedValueList::At(uint64_t index)
{
    return index < m_Elements.size() ? m_Elements[index].get() : nullptr;
}
