#pragma once

#include <cstddef>
#include <cstdint>

// Decimal text of unsigned 64-bit numbers, shared by the parameter table and the named-value
// list. Digits are read most significant first; "," separators are skipped anywhere.

enum class DecimalOverflow
{
    Wrap,       // keep the low 64 bits of the value
    Saturate32, // values above 4294967295 read as 4294967295
    Refuse      // a value above 18446744073709551615 is not a number
};

// Parses text into out. Returns false (out unchanged) for a null text, a character other than
// a digit or ",", or an overflow under DecimalOverflow::Refuse. An empty text reads as 0.
template <typename Char>
bool ParseDecimal(const Char* text, DecimalOverflow overflow, uint64_t* out)
{
    if (text == nullptr)
        return false;
    const uint64_t limit32 = 4294967295u;
    uint64_t value = 0;
    for (; *text != 0; ++text)
    {
        if (*text == Char(','))
            continue;
        if (*text < Char('0') || *text > Char('9'))
            return false;
        const uint64_t digit = static_cast<uint64_t>(*text - Char('0'));
        if (overflow == DecimalOverflow::Refuse && value > (UINT64_MAX - digit) / 10)
            return false;
        // Unsigned arithmetic: under Wrap the low 64 bits are kept by definition.
        value = value * 10 + digit;
        if (overflow == DecimalOverflow::Saturate32 && value > limit32)
            value = limit32;
    }
    *out = value;
    return true;
}

// Longest decimal text of an unsigned 64-bit value, with its terminator.
constexpr size_t kDecimalTextCapacity = 21;

// Writes value in decimal (no sign, separators or leading zeros; "0" for zero).
void FormatDecimal(uint64_t value, wchar_t (&text)[kDecimalTextCapacity]);
