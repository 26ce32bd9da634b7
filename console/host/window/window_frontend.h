// The window front end, the game's side: each field's picture, the sound and
// the motors go to the window program (link.h), the pads come from it at the
// field's latch, and every file a headless run writes is written the same way
// (headless.h's RunFiles), so a run's frame log, dumps, WAV and recording do
// not depend on whether it had a window.  F12 in the window writes the next
// picture to korvalis-field-NNNNNN.png; Escape or closing the window ends the
// run with status 0; the window program going away ends it with status 3.
// Runs on the real-time clock unless --clock says otherwise.
//
// It registers itself as the "window" front end (host/headless/registry.h),
// chosen when a display is there and --headless is not given.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"
#include "host/window/link.h"

namespace console::host::window {

// korvalis-window in the directory of the running program.
std::string WindowProgramPath();

// Starts the window program beside this one and installs the front end as the
// Backend (the registry's install function); false with a message when the
// window cannot open or an option is wrong.
bool Install(std::string* error);
// The same over a link already started or attached (tests).
bool InstallOn(std::unique_ptr<WindowLink> link, std::string* error);
// The installed front end's link (null before Install).
WindowLink* InstalledLink();
// Closes the window and the files and clears the Backend (tests).
void Uninstall();

}  // namespace console::host::window
