// Pad scripts (--pad-script): parsed, then replayed field by field into both
// pads' input.
#include "fuzz_target.h"

#include <string_view>

#include "ee/console_out.h"
#include "host/headless/pad_script.h"

FUZZ_TARGET(padscript)
{
    console::host::PadScriptInput script;
    std::string error;
    if (!script.Parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.pad", &error)) {
        console::ConsoleWrite(error + "\n");
        return false;
    }
    console::host::PadInput pads[2];
    for (uint32_t vblank : {0u, 1u, 2u, 60u, 1000u, 100000u, 0xFFFFFFFFu})
        script.Poll(vblank, pads);
    return true;
}
