// Video field timing: the field boundaries of PAL (50 Hz), NTSC and 480p
// (60,000 / 1,001 Hz) derived exactly from the bus clock, CSR.FIELD and the
// vertical-blank start interrupt (cause 2).  At each boundary, in this order:
// the present hook gets the field that just ended, the pad-latch hook runs,
// the mixer hook catches up, CSR.FIELD toggles (interlaced modes) and cause 2
// becomes pending.
//
// No field passes before the timing starts: at the first SetVideoMode, the
// first handler installed for cause 2 or the first sceGsSyncV, whichever comes
// first.  The game installs its vertical-blank handler before anything else,
// so its own field counter and FieldCount() agree.
#pragma once

#include <cstdint>
#include <functional>

#include "core/scheduler.h"

namespace console {

enum class VideoMode { kNtsc, kPal, k480p };

// Selects the video mode.  Before the timing has started it applies at once
// (and starts it); afterwards it takes effect at the next field boundary,
// from which the new mode's boundaries are counted.  480p is progressive
// whatever `interlaced` says.
void SetVideoMode(VideoMode mode, bool interlaced = true);

// The mode whose fields are running now (a change waits for the boundary).
VideoMode CurrentVideoMode();
bool CurrentInterlaced();

// Starts the field timing in the current mode (PAL until set), if not yet.
void StartVideoTiming();
bool VideoTimingStarted();

// Field boundaries passed since the timing started.
uint64_t FieldCount();

// CSR.FIELD: toggles at every boundary in interlaced modes, 0 in progressive.
uint32_t CsrField();

// Time of the next field boundary (0 before the timing starts).
Cycles NextFieldBoundary();

// Offset of the k-th field boundary of `mode` from the start of its timing:
// k × 2,949,120 in PAL, floor(k × 147,456,000 × 1,001 / 60,000) otherwise.
Cycles FieldBoundaryOffset(VideoMode mode, uint64_t k);

// Hooks run at each boundary with the number of the boundary (1 for the
// first) and its exact virtual time (the clock may already be past it when a
// safe point jumped over several).  Each slot holds one function; an empty
// function clears it.
using FieldHook = std::function<void(uint64_t field, Cycles boundary)>;
void SetPresentHook(FieldHook hook);
void SetPadLatchHook(FieldHook hook);
void SetMixerHook(FieldHook hook);

// Power-on state: PAL interlaced, timing stopped, field 0.  Part of
// ResetScheduler.
void ResetVideo();

}  // namespace console
