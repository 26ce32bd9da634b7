// Test support for the stand-in's diagnostics.
#pragma once

#include <string>

#include "core/diag.h"

namespace diagtest {

// Whether any line of the diagnostic log holds `needle`.
inline bool LogHas(const std::string& needle)
{
    for (const std::string& line : console::DiagLog())
        if (line.find(needle) != std::string::npos)
            return true;
    return false;
}

}  // namespace diagtest
