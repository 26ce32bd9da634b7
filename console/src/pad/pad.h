// The pad library's controls inside the stand-in.  The library latches the
// host's input (host::Input()) at every field boundary and passes motor
// values to host::Rumble(); nothing else reaches the host.
#pragma once

#include "pad/pad_port.h"

namespace console::pad {

// The I/O processor's pad manager module is resident (the module loader
// calls this when it starts "padman", and with false at a reboot).
// scePadInit fails until it is.
void SetManagerLoaded(bool loaded);
bool ManagerLoaded();

// The port as the library sees it (tests, traces).  `port` is 0 or 1.
const PadPort& Port(int port);

// Power-on state: library not started, ports closed, manager not loaded.
// Part of ResetScheduler; also re-installs the field hook.
void ResetPads();

}  // namespace console::pad
