// Views of GS local memory dumps as pictures: any buffer (base block, width,
// pixel storage mode, rectangle) of a raw 4 MiB dump, converted to RGBA8 and
// written as a PNG.  The `gsmem` command is a thin main around RunGsView.
#pragma once

#include <ee/types.h>

#include <array>
#include <span>
#include <string>
#include <vector>

#include "console/src/gs/gsmem.h"

namespace tools {

struct GsViewOptions {
    std::string dump;  // raw 4 MiB dump
    std::string out;   // PNG to write
    console::gs::Psm psm = console::gs::Psm::kCT32;
    u32 bp = 0;  // base, in 256-byte blocks
    u32 bw = 0;  // buffer width, in 64-pixel units
    u32 x = 0;   // rectangle of the buffer to show
    u32 y = 0;
    u32 w = 0;
    u32 h = 0;
    bool alpha = false;  // keep the stored alpha in the PNG instead of opaque
};

// The usage text.
const char* GsViewUsage();

// Parses the arguments after the program name.  False with a message for a
// missing or unknown option, a value out of the GS's ranges, or a rectangle
// beyond the 2,048 x 2,048 coordinate space.
bool ParseGsViewArgs(std::span<const char* const> args, GsViewOptions& options, std::string& error);

// One stored pixel value of `psm` as R, G, B, A bytes: colour modes with
// 16-bit channels widened (c << 3 | c >> 2); the GS's alpha (0x80 = opaque)
// doubled and clamped when `alpha`, else 255; indices and depths as grey
// (4-bit indices times 17, depths by their top 8 bits).
std::array<u8, 4> GsPixelToRgba(console::gs::Psm psm, u32 value, bool alpha);

// The rectangle of the options as RGBA8 rows, top to bottom.
std::vector<u8> RenderGsView(const console::gs::LocalMemory& memory, const GsViewOptions& options);

// Reads a dump; false with a message naming the file unless it is exactly 4 MiB.
bool LoadGsDump(const std::string& path, console::gs::LocalMemory& memory, std::string& error);

// The whole command: parse, load, render, write.  Returns the exit status
// (0 done, 2 bad arguments, 1 bad input or output file); messages go to stderr.
int RunGsView(std::span<const char* const> args);

}  // namespace tools
