#pragma once

// Whether this processor and the operating system run AVX2 code (the processor has it and the
// system saves the 256-bit registers). Asked once; the answer is kept.
bool HasAvx2();
