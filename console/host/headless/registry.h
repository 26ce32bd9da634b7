// The host front ends a build contains, and the choice among them at start-up.
// Every build links the headless front end (it lives beside this registry);
// a window front end adds itself from a static initialiser of its own library
// and is used when the run may open a window.
#pragma once

#include <string>

namespace console::host {

struct FrontEnd {
    const char* name;    // "headless", "window"
    bool windowed;       // needs a display to open a window on
    int priority;        // among usable windowed front ends, the highest wins
    // Reads its options, opens its outputs and installs its Backend.  On
    // failure it returns false with a message in `error` and leaves no
    // backend installed.
    bool (*install)(std::string* error);
};

// Adds a front end; a later one with the same name replaces the earlier.
void RegisterFrontEnd(const FrontEnd& front_end);

// True when a window could be opened: DISPLAY or WAYLAND_DISPLAY is set.
bool HostHasDisplay();

// Installs the front end for this run: headless with --headless or without a
// display, else the windowed front end of highest priority (falling back to
// headless, with a note, when the build has none or it fails).  Returns the
// name of the installed front end, or null after printing why none could be
// installed (the caller ends the run).
const char* StartFrontEnd();

}  // namespace console::host
