#include "runtime/CMemoryANSI.h"
#include "runtime/CParameterTable.h"
#include "runtime/Status.h"

#include "tests/runtime/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{
// Converts the entry name holds into kind, as a reader of the table would.
int32_t ConvertAs(CParameterTable& table, const wchar_t* name, uint32_t kind, uint64_t* value)
{
    CAssociativeValue request;
    request.uiKind = kind;
    const int32_t status = CAssociativeValue::Convert(&request, table.Find(name));
    *value = request.uiValue;
    return status;
}

// The C heap, refusing the allocation that follows the next iUntilRefusal ones, and counting
// the blocks still out.
struct CRefusingMemory final : SMemory
{
    int32_t Allocate(void** out, uint64_t size) override
    {
        if (iUntilRefusal-- == 0)
            return kStatusNotCreated;
        ++iOutstanding;
        return Heap.Allocate(out, size);
    }
    int32_t Free(void* block) override
    {
        --iOutstanding;
        return Heap.Free(block);
    }
    CMemoryANSI Heap;
    int iUntilRefusal = -1;
    int iOutstanding = 0;
};
}

TEST(CParameterTable, StoresNumbersAsDecimalTextAndReadsThemBack)
{
    CParameterTable table;
    ASSERT_EQ(0, table.GetCount());
    ASSERT_EQ(kStatusAdded, table.SetUnsigned(L"zero", 0));
    ASSERT_EQ(kStatusAdded, table.SetUnsigned(L"max", UINT64_MAX));
    EXPECT_STREQ(L"0", table.Find(L"zero")->GetWideText());
    EXPECT_STREQ(L"18446744073709551615", table.Find(L"max")->GetWideText());

    uint64_t value = 77;
    EXPECT_EQ(kStatusSuccess, table.GetUnsigned(L"zero", &value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(kStatusSuccess, table.GetUnsigned(L"max", &value));
    EXPECT_EQ(UINT64_MAX, value);

    value = 77;
    EXPECT_EQ(kStatusNameNotFound, table.GetUnsigned(L"Zero", &value));
    EXPECT_EQ(kStatusNameNotFound, table.GetUnsignedAt(2, &value));
    EXPECT_EQ(77u, value);
    EXPECT_EQ(kStatusInvalidArgument, table.GetUnsigned(nullptr, &value));
    EXPECT_EQ(kStatusInvalidArgument, table.SetUnsigned(nullptr, 1));
    EXPECT_EQ(kStatusInvalidArgument, table.SetText(L"x", nullptr));

    // Replacing keeps the count and the order.
    EXPECT_EQ(kStatusReplaced, table.SetUnsigned(L"zero", 42));
    EXPECT_EQ(2, table.GetCount());
    EXPECT_EQ(kStatusSuccess, table.GetUnsignedAt(0, &value));
    EXPECT_EQ(42u, value);
}

TEST(CParameterTable, RefusesThe513thNameButStillReplaces)
{
    CParameterTable table;
    for (int i = 0; i < CParameterTable::kCapacity; ++i)
        ASSERT_EQ(kStatusAdded, table.SetUnsigned(std::to_wstring(i).c_str(), static_cast<uint64_t>(i)));
    EXPECT_EQ(kStatusFailure, table.SetUnsigned(L"512", 512));
    EXPECT_EQ(512, table.GetCount());
    EXPECT_EQ(kStatusReplaced, table.SetUnsigned(L"511", 7));
    uint64_t value = 0;
    EXPECT_EQ(kStatusSuccess, table.GetUnsigned(L"511", &value));
    EXPECT_EQ(7u, value);
}

// Adding copies the name, the text and its narrow form; replacing copies the two texts. Whichever
// is refused, the call fails and the table stays as it was.
TEST(CParameterTable, ARefusedCopyFailsAndChangesNothing)
{
    for (int refused = 0; refused < 3; ++refused)
    {
        CRefusingMemory memory;
        {
            CParameterTable table(memory);
            ASSERT_EQ(kStatusAdded, table.SetUnsigned(L"kept", 1));
            memory.iUntilRefusal = refused;
            EXPECT_EQ(kStatusNotCreated, table.SetUnsigned(L"added", 2)) << refused;
            EXPECT_EQ(nullptr, table.Find(L"added"));
            EXPECT_EQ(1, table.GetCount());
            memory.iUntilRefusal = refused;
            EXPECT_EQ(refused < 2 ? kStatusNotCreated : kStatusReplaced, table.SetUnsigned(L"kept", 3)) << refused;
            uint64_t value = 0;
            EXPECT_EQ(kStatusSuccess, table.GetUnsigned(L"kept", &value));
            EXPECT_EQ(refused < 2 ? 1u : 3u, value);
        }
        EXPECT_EQ(0, memory.iOutstanding) << "a copy was not freed";
    }
}

TEST(CParameterTable, ClearEmptiesTheTableForNewNames)
{
    CParameterTable table;
    ASSERT_EQ(kStatusAdded, table.SetUnsigned(L"a", 1));
    EXPECT_EQ(kStatusSuccess, table.Clear());
    EXPECT_EQ(0, table.GetCount());
    uint64_t value = 0;
    EXPECT_EQ(kStatusNameNotFound, table.GetUnsigned(L"a", &value));
    EXPECT_EQ(kStatusAdded, table.SetUnsigned(L"c", 3));
    EXPECT_EQ(kStatusSuccess, table.GetUnsignedAt(0, &value));
    EXPECT_EQ(3u, value);
}

// A refused conversion leaves the request as it was: its value 0.
TEST(CParameterTable, TextConvertsByKind)
{
    const struct
    {
        const wchar_t* text;
        int32_t unsigned32Status;
        uint64_t unsigned32;
        int32_t signedStatus;
        int64_t signedValue;
        uint64_t unsigned64;
    } cases[] = {
        {L"1,234", kStatusSuccess, 1234, kStatusSuccess, 1234, 1234},
        {L"12a", kStatusFailure, 0, kStatusFailure, 0, 0},
        {L"99999999999", kStatusSuccess, 4294967295u, kStatusSuccess, 99999999999, 99999999999},
        {L"-5", kStatusFailure, 0, kStatusSuccess, -5, 0},
        {L"", kStatusSuccess, 0, kStatusSuccess, 0, 0},
        // 10^22 - 1: 32 bits saturate, as if gathered beyond 64 bits; signed and 64 bits wrap.
        {L"9999999999999999999999", kStatusSuccess, 4294967295u, kStatusSuccess, 1864712049423024127,
         1864712049423024127},
    };
    CParameterTable table;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::wstring(L"text ") + c.text);
        ASSERT_GE(table.SetText(L"v", c.text), kStatusAdded);
        uint64_t value = 0;
        EXPECT_EQ(c.unsigned32Status, ConvertAs(table, L"v", CAssociativeValue::Unsigned32, &value));
        EXPECT_EQ(c.unsigned32, value);
        EXPECT_EQ(c.signedStatus, ConvertAs(table, L"v", CAssociativeValue::Signed, &value));
        EXPECT_EQ(c.signedValue, static_cast<int64_t>(value));
        EXPECT_EQ(kStatusSuccess, table.GetUnsigned(L"v", &value));
        EXPECT_EQ(c.unsigned64, value);
    }
}

TEST(CAssociativeValue, TextRequestsShareTheStoredTexts)
{
    CParameterTable table;
    ASSERT_EQ(kStatusAdded, table.SetText(L"name", L"Text 1"));
    const CAssociativeValue* entry = table.Find(L"name");
    CAssociativeValue request;
    request.uiKind = CAssociativeValue::WideText;
    ASSERT_EQ(kStatusSuccess, CAssociativeValue::Convert(&request, entry));
    EXPECT_EQ(entry->pName, request.pName);
    EXPECT_EQ(entry->GetWideText(), request.GetWideText());
    request.uiKind = CAssociativeValue::NarrowText;
    ASSERT_EQ(kStatusSuccess, CAssociativeValue::Convert(&request, entry));
    EXPECT_STREQ("Text 1", reinterpret_cast<const char*>(static_cast<uintptr_t>(request.uiValue)));
    request.uiKind = CAssociativeValue::Floating;
    EXPECT_EQ(kStatusFailure, CAssociativeValue::Convert(&request, entry));
}

TEST(CAssociativeValue, RefusesEmptyNullAndUnknownKinds)
{
    CAssociativeValue entry;
    CAssociativeValue request;
    request.uiKind = CAssociativeValue::Unsigned64;
    request.uiValue = 9;
    EXPECT_EQ(kStatusFailure, CAssociativeValue::Convert(&request, &entry));
    EXPECT_EQ(0u, request.uiKind);
    EXPECT_EQ(0u, request.uiValue);
    EXPECT_EQ(kStatusInvalidArgument, CAssociativeValue::Convert(nullptr, &entry));
    EXPECT_EQ(kStatusInvalidArgument, CAssociativeValue::Convert(&request, nullptr));

    entry.uiKind = CAssociativeValue::Signed;
    request.uiKind = CAssociativeValue::Unsigned64;
    EXPECT_EQ(kStatusUnrecognized, CAssociativeValue::Convert(&request, &entry));

    // Integers are handed over unchanged but reported as not converted.
    entry.uiKind = CAssociativeValue::Unsigned64;
    entry.uiValue = 123;
    request.uiKind = CAssociativeValue::Unsigned32;
    EXPECT_EQ(kStatusFailure, CAssociativeValue::Convert(&request, &entry));
    EXPECT_EQ(CAssociativeValue::Unsigned64, request.uiKind);
    EXPECT_EQ(123u, request.uiValue);
}

// A number asked for as narrow text, a kind nobody asks for, raises the debug alarm and leaves
// the request as it was; no other conversion does.
TEST(CAssociativeValue, FloatingConvertsWithoutUndefinedResults)
{
    MessageBoxRecorder boxes;
    double number = 0.0;
    CAssociativeValue entry;
    entry.uiKind = CAssociativeValue::Floating;
    entry.pdfNumber = &number;
    auto convert = [&](double x, uint32_t kind) {
        number = x;
        CAssociativeValue request;
        request.uiKind = kind;
        EXPECT_EQ(kStatusSuccess, CAssociativeValue::Convert(&request, &entry));
        EXPECT_EQ(kind, request.uiKind);
        return request.uiValue;
    };
    EXPECT_EQ(0xFFFFFFFEu, convert(-2.7, CAssociativeValue::Unsigned32));
    EXPECT_EQ(5u, convert(4294967301.9, CAssociativeValue::Unsigned32));
    EXPECT_EQ(static_cast<uint64_t>(-3), convert(-3.9, CAssociativeValue::Signed));
    EXPECT_EQ(static_cast<uint64_t>(INT32_MAX), convert(1e12, CAssociativeValue::Signed));
    EXPECT_EQ(0x8000000000000800u, convert(9223372036854777856.0, CAssociativeValue::Unsigned64));
    EXPECT_EQ(12345u, convert(12345.99, CAssociativeValue::Unsigned64));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(0u, convert(nan, CAssociativeValue::Unsigned64));
    EXPECT_EQ(0u, convert(nan, CAssociativeValue::Signed));
    EXPECT_EQ(UINT64_MAX, convert(1e300, CAssociativeValue::Unsigned64));
    EXPECT_EQ(0u, convert(-1e300, CAssociativeValue::Unsigned64));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&number), convert(1.5, CAssociativeValue::Floating));
    EXPECT_EQ(0, boxes.iCount);

    CAssociativeValue request;
    request.uiKind = CAssociativeValue::WideText;
    EXPECT_EQ(kStatusFailure, CAssociativeValue::Convert(&request, &entry));
    request.uiKind = CAssociativeValue::NarrowText;
    request.uiValue = 31;
    EXPECT_EQ(kStatusSuccess, CAssociativeValue::Convert(&request, &entry));
    EXPECT_EQ(31u, request.uiValue);
    EXPECT_EQ(CAssociativeValue::NarrowText, request.uiKind);
    EXPECT_EQ(1, boxes.iCount);
    EXPECT_EQ(L"Unexpected ID for the associative value", boxes.Text);
    EXPECT_EQ(L"Debug", boxes.Caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes.uiType & MB_ICONMASK);
}
