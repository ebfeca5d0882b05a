#pragma once

#include "runtime/CpuFeatures.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>

// Runs `body` once for each vector form this machine executes, narrowest first, with the vector
// code held to that form, and reports the forms it ran.
template <typename Body>
void ForEachVectorForm(Body body)
{
    const char* const names[] = {"plain", "sse2", "avx2"};
    std::string ran;
    for (VectorForm form : {VectorForm::Plain, VectorForm::Sse2, VectorForm::Avx2})
    {
        if (form > WidestVectorForm())
            break;
        const char* name = names[static_cast<int>(form)];
        const VectorForm previous = SetVectorFormLimit(form);
        {
            SCOPED_TRACE(name);
            body();
        }
        SetVectorFormLimit(previous);
        ran += (ran.empty() ? "" : " ") + std::string(name);
    }
    ::testing::Test::RecordProperty("vector_forms", ran);
    std::cout << "vector forms run: " << ran << std::endl;
}
