#pragma once

// The vector instructions the engine's arithmetic may use, narrowest first. Every form gives the
// same bits; the wider ones are faster.
enum class VectorForm
{
    Plain,
    Sse2,
    Avx2
};

// The widest form this build, this processor and the operating system run (AVX2 also needs the
// system to save the 256-bit registers). Asked once; the answer is kept.
VectorForm WidestVectorForm();

// The form for the vector code to take: the widest, unless a test limited it. Read once per call
// of the code that chooses.
VectorForm ChosenVectorForm();

// Limits the chosen form to `limit` (Avx2 lifts the limit) and returns the previous limit, so
// that a test runs each form the machine can execute.
VectorForm SetVectorFormLimit(VectorForm limit);
