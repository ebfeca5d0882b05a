#include "runtime/BoundedString.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

TEST(BoundedString, AppendFitsOrCutsAtCapacity)
{
    wchar_t buffer[6] = L"*";
    EXPECT_EQ(kStatusSuccess, AppendWideString(buffer, 6, L"::a"));
    EXPECT_STREQ(L"*::a", buffer);
    EXPECT_EQ(0, AppendWideString(buffer, 6, L"bcd"));
    EXPECT_STREQ(L"*::ab", buffer);
}

TEST(BoundedString, AppendToUnterminatedDestinationCutsIt)
{
    wchar_t buffer[4] = {L'a', L'b', L'c', L'd'};
    EXPECT_EQ(0, AppendWideString(buffer, 4, L"x"));
    EXPECT_EQ(L'\0', buffer[3]);
    EXPECT_EQ(kStatusSuccess, AppendWideString(buffer, 4, L""));
}

TEST(BoundedString, RefusesNullAndZeroCapacity)
{
    wchar_t wide[4] = L"";
    char narrow[4] = "";
    EXPECT_EQ(kStatusFailure, AppendWideString(nullptr, 4, L"a"));
    EXPECT_EQ(kStatusFailure, AppendWideString(wide, 4, nullptr));
    EXPECT_EQ(kStatusFailure, AppendWideString(wide, 0, L"a"));
    EXPECT_EQ(kStatusFailure, CopyNarrowString(nullptr, 4, "a"));
    EXPECT_EQ(kStatusFailure, CopyNarrowString(narrow, 4, nullptr));
    EXPECT_EQ(kStatusFailure, CopyNarrowString(narrow, 0, "a"));
}

TEST(BoundedString, CopyNarrowWholeAndCut)
{
    char buffer[5];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kStatusSuccess, CopyNarrowString(buffer, 5, "abcd"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ(0, CopyNarrowString(buffer, 5, "abcdef"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ(0, CopyNarrowString(buffer, 1, "a"));
    EXPECT_STREQ("", buffer);
}
