#pragma once

#include <cstddef>
#include <cstdint>

// Bounded string helpers. Both return -1 for a null argument or zero capacity, always leave
// the destination terminated within its capacity, and return 1 when the whole source fitted,
// 0 when it was cut.

// Appends source to the terminated string already in destination.
int32_t AppendWideString(wchar_t* destination, size_t capacity, const wchar_t* source);

// Copies source over destination.
int32_t CopyNarrowString(char* destination, size_t capacity, const char* source);
