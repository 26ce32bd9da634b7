// Replays of GS dumps (--gs-dump): every recorded write played into the GS
// stand-in without the game, each field's picture read out as the run read
// it, its CRC printed as the frame log prints it, and the time taken and the
// pixels drawn per second reported.  The `gsreplay` command is a thin main
// around RunGsReplay.
#pragma once

#include <ee/types.h>

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "console/src/gs/drawstats.h"

namespace tools {

struct GsReplayOptions {
    std::string dump;
    std::string png_dir;       // where PNGs of fields go, if anywhere
    std::vector<u32> png_at;   // fields written as PNG (all with --png and no --png-at)
    int threads = -1;          // draw threads; -1 keeps the default
    int repeat = 1;            // plays of the whole dump (timing)
    bool quiet = false;        // no per-field lines
    bool reference = false;    // draw on the GS's reference path (checks the fast paths)
    // Count the pixels primitives cover in the first play (each triangle is
    // then set up on the calling thread as well as where it is drawn).
    bool count_pixels = true;
    // Fields before this one are played untimed, as the state the measured
    // fields start from: the time, the pixels and the accounts are the
    // later fields'.
    u32 from = 0;
    // Account the first play's primitives by state (drawstats.h): drawn on
    // the calling thread, each timed.
    bool stats = false;
};

struct GsReplayResult {
    u64 fields = 0;        // measured (from `from` on), one play
    u32 first_field = 0, last_field = 0;  // the measured ones
    u64 pixels = 0;        // covered by primitives, one play
    double seconds = 0;    // all plays, the measured fields
    std::vector<console::gs::DrawStatsRow> stats;  // with `stats`
    std::vector<std::string> log;  // the frame log lines of one play
};

std::string GsReplayUsage();
bool ParseGsReplayArgs(std::span<const char* const> args, GsReplayOptions& options, std::string* error);

// Plays the dump; false with a message when it cannot be read or is
// malformed (nothing is played then).
bool ReplayGsDump(const GsReplayOptions& options, GsReplayResult& result, std::string* error);

// The accounts of `result` as a table: the share of the pixels on the
// per-pixel path, then each state's primitives, pixels and time on each path.
void PrintDrawStats(const GsReplayResult& result, std::FILE* out);

// The command: prints the log lines (and the accounts) to `out` and the
// summary to stderr; returns the exit status.
int RunGsReplay(std::span<const char* const> args, std::FILE* out);

}  // namespace tools
