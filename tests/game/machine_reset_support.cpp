// A machine reset takes the I/O processor's servers with it: the streaming
// client and the sound module's client forget what they bound, as at
// power-on, so whatever runs next loads and binds them afresh rather than
// calling a server that no longer exists.
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "core/scheduler.h"

namespace {

const bool g_registered = (console::RegisterResetHook("game clients",
                                                      [] {
                                                          irxloaded = 0;
                                                          initialized = 0;
                                                          numvfdsallocated = 0;
                                                          SoundForgetModule();
                                                      }),
                           true);

}  // namespace
