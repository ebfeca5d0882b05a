#pragma once

#include "runtime/CpuFeatures.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>

// Runs `body` once for each vector form this machine executes, narrowest first, with the vector
// code held to that form, and prints the forms it ran.
template <typename Body>
void ForEachVectorForm(Body body)
{
    std::string ran;
    for (VectorForm form : {VectorForm::Plain, VectorForm::Sse2, VectorForm::Avx2})
    {
        if (form > WidestVectorForm())
            break;
        const char* name = form == VectorForm::Plain ? "plain" : form == VectorForm::Sse2 ? "sse2" : "avx2";
        SCOPED_TRACE(name);
        const VectorForm previous = SetVectorFormLimit(form);
        body();
        SetVectorFormLimit(previous);
        ran += std::string(ran.empty() ? "" : " ") + name;
    }
    std::cout << "vector forms run: " << ran << std::endl;
}
