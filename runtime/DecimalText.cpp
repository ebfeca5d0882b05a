#include "runtime/DecimalText.h"

void FormatDecimal(uint64_t value, wchar_t (&text)[kDecimalTextCapacity])
{
    wchar_t reversed[kDecimalTextCapacity];
    size_t length = 0;
    do
    {
        reversed[length++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < length; ++i)
        text[i] = reversed[length - 1 - i];
    text[length] = 0;
}
