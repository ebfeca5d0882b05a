#pragma once

#include "runtime/CpuFeatures.h"

#include <gtest/gtest.h>

// Runs `body` once for each vector form this machine executes, narrowest first, with the vector
// code held to that form.
template <typename Body>
void ForEachVectorForm(Body body)
{
    for (VectorForm form : {VectorForm::Plain, VectorForm::Sse2, VectorForm::Avx2})
    {
        if (form > WidestVectorForm())
            break;
        const char* name = form == VectorForm::Plain ? "plain" : form == VectorForm::Sse2 ? "sse2" : "avx2";
        SCOPED_TRACE(name);
        const VectorForm previous = SetVectorFormLimit(form);
        body();
        SetVectorFormLimit(previous);
    }
}
