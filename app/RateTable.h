#pragma once

#include <cstdint>

// The twenty sampling rates the program offers, stored from 384 kHz (row 0) down to 8 kHz
// (row 19). The rate list shows them the other way round: list entry i is row 19 - i.
namespace RateTable
{
constexpr uint32_t kRowCount = 20;
constexpr uint32_t kLastRow = kRowCount - 1;

// Rate of a row in kHz; rows past the end give 0.
double Kilohertz(uint32_t row);
// The row's rate in Hz: kHz x 1000.0, unrounded.
double Hertz(uint32_t row);
// The row's rate in Hz rounded half away from zero, as the device is asked for it.
uint32_t WholeHertz(uint32_t row);
// Text of list entry i ("8 kHz" ... "384 kHz"); nullptr past the end.
const wchar_t* ListText(uint32_t entry);

constexpr uint32_t RowOfEntry(uint32_t entry)
{
    return kLastRow - entry;
}
constexpr uint32_t EntryOfRow(uint32_t row)
{
    return kLastRow - row;
}
}
