#include "runtime/CNamedValueList.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{
const wchar_t kPacketName[] = L"pdfMultiChannelPacketBuffer";
}

TEST(CNamedValueList, SetPacketBufferAppendsOnceThenReplacesTheValue)
{
    CNamedValueList list;
    EXPECT_EQ(nullptr, list.Find(kPacketName));
    ASSERT_EQ(kStatusSuccess, list.SetPacketBuffer(0x1234));
    ASSERT_EQ(1u, list.GetCount());
    CNamedValue* element = list.Find(kPacketName);
    ASSERT_NE(nullptr, element);
    EXPECT_STREQ(kPacketName, element->pName);
    EXPECT_EQ(2u, element->uiType);
    uint64_t value = 0;
    EXPECT_EQ(kStatusSuccess, element->ToUnsigned(&value));
    EXPECT_EQ(0x1234u, value);

    // Whatever the element held before is dropped; the list does not grow.
    element->uiType = CNamedValue::WideDecimal;
    element->SetWideText(L"99");
    element->SetNarrowText("99");
    element->iValue32 = -3;
    ASSERT_EQ(kStatusSuccess, list.SetPacketBuffer(UINT64_MAX));
    EXPECT_EQ(1u, list.GetCount());
    EXPECT_EQ(element, list.Find(kPacketName));
    EXPECT_EQ(2u, element->uiType);
    EXPECT_EQ(nullptr, element->pWideText);
    EXPECT_EQ(nullptr, element->pNarrowText);
    EXPECT_EQ(0, element->iValue32);
    EXPECT_EQ(kStatusSuccess, element->ToUnsigned(&value));
    EXPECT_EQ(UINT64_MAX, value);
}

TEST(CNamedValueList, FindMatchesByCodeUnitSumSkippingNamelessElements)
{
    CNamedValueList list;
    uint64_t index = 99;
    ASSERT_EQ(kStatusSuccess, list.Append(&index));
    EXPECT_EQ(0u, index);
    ASSERT_EQ(kStatusSuccess, list.Append(nullptr));
    ASSERT_EQ(kStatusSuccess, list.Append(&index));
    EXPECT_EQ(2u, index);
    list.At(1)->SetName(L"");
    // An anagram has the same sum of code units, so it is taken for the wanted name.
    std::wstring anagram(kPacketName);
    std::reverse(anagram.begin(), anagram.end());
    list.At(2)->SetName(anagram.c_str());
    EXPECT_EQ(list.At(2), list.Find(kPacketName));
    EXPECT_EQ(nullptr, list.Find(L"pdfMultiChannelPacketBuffes"));
    EXPECT_EQ(nullptr, list.Find(nullptr));
    EXPECT_EQ(nullptr, list.At(3));

    // The element found is the one SetPacketBuffer fills in.
    ASSERT_EQ(kStatusSuccess, list.SetPacketBuffer(7));
    EXPECT_EQ(3u, list.GetCount());
    EXPECT_EQ(2u, list.At(2)->uiType);
    EXPECT_EQ(0u, list.At(0)->uiType);
}

TEST(CNamedValue, ToUnsignedByType)
{
    CNamedValue value;
    uint64_t out = 5;
    EXPECT_EQ(kStatusSuccess, value.ToUnsigned(&out));
    EXPECT_EQ(0u, out);

    value.uiType = CNamedValue::NarrowDecimal;
    value.SetNarrowText("1,234");
    EXPECT_EQ(kStatusSuccess, value.ToUnsigned(&out));
    EXPECT_EQ(1234u, out);
    value.SetNarrowText("12a");
    EXPECT_EQ(kStatusFailure, value.ToUnsigned(&out));
    EXPECT_EQ(0u, out);
    value.SetNarrowText(nullptr);
    EXPECT_EQ(kStatusFailure, value.ToUnsigned(&out));

    value.uiType = CNamedValue::WideDecimal;
    value.SetWideText(L"18446744073709551615");
    EXPECT_EQ(kStatusSuccess, value.ToUnsigned(&out));
    EXPECT_EQ(UINT64_MAX, out);
    // One more does not fit: not a number rather than a wrapped one.
    value.SetWideText(L"18446744073709551616");
    EXPECT_EQ(kStatusFailure, value.ToUnsigned(&out));
    EXPECT_EQ(0u, out);

    value.uiType = CNamedValue::Signed32B;
    value.iValue32 = -1;
    EXPECT_EQ(kStatusSuccess, value.ToUnsigned(&out));
    EXPECT_EQ(UINT64_MAX, out);
    value.uiType = CNamedValue::Unsigned32A;
    value.uiValue32 = 0xFFFFFFFFu;
    EXPECT_EQ(kStatusSuccess, value.ToUnsigned(&out));
    EXPECT_EQ(0xFFFFFFFFu, out);
    value.uiType = CNamedValue::Value64A;
    value.uiValue64 = 1ull << 40;
    EXPECT_EQ(kStatusSuccess, value.ToUnsigned(&out));
    EXPECT_EQ(1ull << 40, out);

    value.uiType = CNamedValue::OpaqueB;
    EXPECT_EQ(kStatusFailure, value.ToUnsigned(&out));
    EXPECT_EQ(0u, out);
    value.uiType = 13;
    out = 5;
    EXPECT_EQ(kStatusNothingDone, value.ToUnsigned(&out));
    EXPECT_EQ(0u, out);
    EXPECT_EQ(kStatusInvalidArgument, value.ToUnsigned(nullptr));
}
