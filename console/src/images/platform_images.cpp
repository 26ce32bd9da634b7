// The platform's own IOP modules: the serial bus manager, the pad manager and
// the sound device library.  Their images are placeholders of at least the
// sizes the game passes to its loader; their start functions only make their
// services available (the pad and sound libraries check that their module is
// resident).
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/module.h>

#include "iop/modules.h"
#include "iop/threadman.h"
#include "pad/pad.h"

CONSOLE_MODULE_IMAGE(sio2man, "sio2man", 6560);
CONSOLE_MODULE_IMAGE(padman, "padman", 44928);
CONSOLE_MODULE_IMAGE(libsd, "libsd", 28576);

namespace {

int StartSio2man(int, char**)
{
    return RESIDENT_END;
}

// The pad manager talks to the pads through the serial bus manager.
int StartPadman(int, char**)
{
    if (!console::iop::ModuleResident("sio2man")) {
        iop_printf("padman: sio2man is not loaded\n");
        return NO_RESIDENT_END;
    }
    console::pad::SetManagerLoaded(true);
    return RESIDENT_END;
}

int StartLibsd(int, char**)
{
    return RESIDENT_END;
}

// A reboot unloads every module, the pad manager with it.
const bool g_registered = [] {
    console::iop::RegisterRebootHook("padman", [] { console::pad::SetManagerLoaded(false); });
    return true;
}();

}  // namespace

CONSOLE_IOP_MODULE("sio2man", StartSio2man);
CONSOLE_IOP_MODULE("padman", StartPadman);
CONSOLE_IOP_MODULE("libsd", StartLibsd);
