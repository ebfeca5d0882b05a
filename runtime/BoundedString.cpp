#include "runtime/BoundedString.h"

#include "runtime/Status.h"

namespace
{
template <typename Char>
int32_t CopyBounded(Char* destination, size_t capacity, size_t start, const Char* source)
{
    size_t i = start;
    for (; i + 1 < capacity && *source != 0; ++i, ++source)
        destination[i] = *source;
    destination[i] = 0;
    return *source == 0 ? kStatusSuccess : 0;
}
}

int32_t AppendWideString(wchar_t* destination, size_t capacity, const wchar_t* source)
{
    if (destination == nullptr || source == nullptr || capacity == 0)
        return kStatusFailure;
    size_t length = 0;
    while (length < capacity && destination[length] != 0)
        ++length;
    if (length == capacity)
    {
        // The destination was not terminated within its capacity: cut it there.
        destination[capacity - 1] = 0;
        return *source == 0 ? kStatusSuccess : 0;
    }
    return CopyBounded(destination, capacity, length, source);
}

int32_t CopyNarrowString(char* destination, size_t capacity, const char* source)
{
    if (destination == nullptr || source == nullptr || capacity == 0)
        return kStatusFailure;
    return CopyBounded(destination, capacity, 0, source);
}
