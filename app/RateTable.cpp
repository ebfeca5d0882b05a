#include "app/RateTable.h"

#include "app/ControlValues.h"

namespace
{
struct RateRow
{
    double dfKilohertz;
    const wchar_t* pszText;
};

const RateRow kRows[RateTable::kRowCount] = {
    {384.0, L"384 kHz"},   {352.8, L"352.8 kHz"}, {308.7, L"308.7 kHz"},   {288.0, L"288.0 kHz"}, {264.6, L"264.6 kHz"},
    {220.5, L"220.5 kHz"}, {192.0, L"192 kHz"},   {176.4, L"176.4 kHz"},   {96.0, L"96 kHz"},     {88.2, L"88.2 kHz"},
    {48.0, L"48 kHz"},     {44.1, L"44.1 kHz"},   {32.0, L"32 kHz"},       {24.0, L"24 kHz"},     {22.05, L"22.05 kHz"},
    {16.0, L"16 kHz"},     {12.0, L"12 kHz"},     {11.025, L"11.025 kHz"}, {9.6, L"9.6 kHz"},     {8.0, L"8 kHz"},
};
}

namespace RateTable
{
double Kilohertz(uint32_t row)
{
    return row < kRowCount ? kRows[row].dfKilohertz : 0.0;
}

double Hertz(uint32_t row)
{
    return Kilohertz(row) * 1000.0;
}

uint32_t WholeHertz(uint32_t row)
{
    return static_cast<uint32_t>(ControlValues::RoundHalfAwayNonNegative(Hertz(row)));
}

const wchar_t* ListText(uint32_t entry)
{
    return entry < kRowCount ? kRows[RowOfEntry(entry)].pszText : nullptr;
}
}
