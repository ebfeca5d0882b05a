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
    ASSERT_EQ(kStatusSuccess, list.SetPacketBuffer(0x1234));
    ASSERT_EQ(1u, list.GetCount());
    CNamedValue* element = list.Find(kPacketName);
    ASSERT_NE(nullptr, element);
    EXPECT_STREQ(kPacketName, element->pName);
    EXPECT_EQ(CNamedValue::Integer64B, element->uiType);
    EXPECT_EQ(0x1234u, element->uiInteger64);

    // Whatever the element held before is dropped; the list does not grow.
    element->uiType = CNamedValue::WideDecimal;
    element->SetWideText(L"99");
    element->SetNarrowText("99");
    element->iValue32 = -3;
    ASSERT_EQ(kStatusSuccess, list.SetPacketBuffer(UINT64_MAX));
    EXPECT_EQ(1u, list.GetCount());
    EXPECT_EQ(nullptr, element->pWideText);
    EXPECT_EQ(nullptr, element->pNarrowText);
    EXPECT_EQ(0, element->iValue32);
    EXPECT_EQ(CNamedValue::Integer64B, element->uiType);
    EXPECT_EQ(UINT64_MAX, element->uiInteger64);
}

TEST(CNamedValueList, FindMatchesByCodeUnitSumSkippingNamelessElements)
{
    CNamedValueList list;
    uint64_t index = 99;
    ASSERT_EQ(kStatusSuccess, list.Append(nullptr));
    ASSERT_EQ(kStatusSuccess, list.Append(&index));
    EXPECT_EQ(1u, index);
    list.At(0)->SetName(L"");
    EXPECT_EQ(nullptr, list.Find(L""));
    // An anagram has the same sum of code units, so it is taken for the wanted name.
    std::wstring anagram(kPacketName);
    std::reverse(anagram.begin(), anagram.end());
    list.At(1)->SetName(anagram.c_str());
    EXPECT_EQ(list.At(1), list.Find(kPacketName));
    EXPECT_EQ(nullptr, list.Find(L"pdfMultiChannelPacketBuffes"));
    EXPECT_EQ(nullptr, list.Find(nullptr));
    EXPECT_EQ(nullptr, list.At(2));

    // The element found is the one SetPacketBuffer fills in.
    ASSERT_EQ(kStatusSuccess, list.SetPacketBuffer(7));
    EXPECT_EQ(2u, list.GetCount());
    EXPECT_EQ(7u, list.At(1)->uiInteger64);
}

// Each type reads its own field: every field holds a value of its own.
TEST(CNamedValue, ToUnsignedByType)
{
    const struct
    {
        uint32_t type;
        const char* narrow;
        const wchar_t* wide;
        int32_t status;
        uint64_t out;
    } cases[] = {
        {CNamedValue::Empty, nullptr, nullptr, kStatusSuccess, 0},
        {CNamedValue::Integer64B, nullptr, nullptr, kStatusSuccess, 1ull << 41},
        {CNamedValue::NarrowDecimal, "1,234", nullptr, kStatusSuccess, 1234},
        {CNamedValue::NarrowDecimal, "12a", nullptr, kStatusFailure, 0},
        {CNamedValue::NarrowDecimal, nullptr, L"7", kStatusFailure, 0},
        {CNamedValue::WideDecimal, nullptr, L"18446744073709551615", kStatusSuccess, UINT64_MAX},
        // One more does not fit: not a number rather than a wrapped one.
        {CNamedValue::WideDecimal, nullptr, L"18446744073709551616", kStatusFailure, 0},
        {CNamedValue::Signed32B, nullptr, nullptr, kStatusSuccess, UINT64_MAX},
        {CNamedValue::Value64A, nullptr, nullptr, kStatusSuccess, 1ull << 40},
        {CNamedValue::Unsigned32A, nullptr, nullptr, kStatusSuccess, 0xFFFFFFFEu},
        {CNamedValue::OpaqueB, nullptr, nullptr, kStatusFailure, 0},
        {13, nullptr, nullptr, kStatusNothingDone, 0},
    };
    CNamedValue value;
    value.uiInteger64 = 1ull << 41;
    value.iValue32 = -1;
    value.uiValue64 = 1ull << 40;
    value.uiValue32 = 0xFFFFFFFEu;
    for (const auto& c : cases)
    {
        SCOPED_TRACE("type " + std::to_string(c.type));
        value.uiType = c.type;
        value.SetNarrowText(c.narrow);
        value.SetWideText(c.wide);
        uint64_t out = 5;
        EXPECT_EQ(c.status, value.ToUnsigned(&out));
        EXPECT_EQ(c.out, out);
    }
    EXPECT_EQ(kStatusInvalidArgument, value.ToUnsigned(nullptr));
}
