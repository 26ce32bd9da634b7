#include "tools/lib/gsview.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "console/src/core/png.h"

namespace tools {
namespace {

using console::gs::Psm;

// GS coordinates are 11 bits; a buffer is at most 63 width units wide.
constexpr u32 kCoordinateLimit = 2048;
constexpr u32 kMaxBw = 63;

// A decimal or 0x-prefixed number with nothing after it.
std::optional<u32> ParseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || s[0] == '-' || s[0] == '+' || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<u32>(v);
}

// "A,B" or "AxB".
bool ParsePair(std::string_view text, u32& a, u32& b)
{
    const size_t sep = text.find_first_of(",x", text.starts_with("0x") ? 2 : 0);
    if (sep == std::string_view::npos)
        return false;
    const auto first = ParseNumber(text.substr(0, sep)), second = ParseNumber(text.substr(sep + 1));
    if (!first || !second)
        return false;
    a = *first;
    b = *second;
    return true;
}

u8 Widen5(u32 c)
{
    c &= 0x1F;
    return static_cast<u8>((c << 3) | (c >> 2));
}

u8 GsAlpha(u32 a)
{
    return static_cast<u8>(std::min<u32>(255, a * 2));
}

}  // namespace

const char* GsViewUsage()
{
    return "usage: gsmem DUMP OUT.png --psm MODE --bp BLOCK --bw WIDTH --size W,H [--at X,Y] [--alpha]\n"
           "  DUMP    raw 4 MiB GS local memory dump\n"
           "  --psm   pixel storage mode: CT32 CT24 CT16 CT16S T8 T4 T8H T4HL T4HH Z32 Z24 Z16 Z16S\n"
           "          (or its register code, e.g. 0x31)\n"
           "  --bp    base block, 0..16383 (256-byte blocks)\n"
           "  --bw    buffer width in 64-pixel units, 1..63\n"
           "  --size  rectangle size in pixels; --at its top-left corner (default 0,0)\n"
           "  --alpha keep the stored alpha (0x80 = opaque) instead of an opaque picture\n";
}

bool ParseGsViewArgs(std::span<const char* const> args, GsViewOptions& options, std::string& error)
{
    options = GsViewOptions{};
    std::vector<std::string_view> positional;
    bool have_psm = false, have_bp = false, have_bw = false, have_size = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--alpha") {
            options.alpha = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        const std::string_view value = args[++i];
        if (arg == "--psm") {
            auto psm = console::gs::PsmFromName(value);
            if (!psm) {
                if (auto code = ParseNumber(value))
                    psm = console::gs::PsmFromCode(*code);
            }
            if (!psm) {
                error = "unknown pixel storage mode '" + std::string(value) + "'";
                return false;
            }
            options.psm = *psm;
            have_psm = true;
        } else if (arg == "--bp") {
            const auto bp = ParseNumber(value);
            if (!bp || *bp >= console::gs::kBlockCount) {
                error = "--bp '" + std::string(value) + "' is not a block number 0..16383";
                return false;
            }
            options.bp = *bp;
            have_bp = true;
        } else if (arg == "--bw") {
            const auto bw = ParseNumber(value);
            if (!bw || *bw == 0 || *bw > kMaxBw) {
                error = "--bw '" + std::string(value) + "' is not a width 1..63 (64-pixel units)";
                return false;
            }
            options.bw = *bw;
            have_bw = true;
        } else if (arg == "--size") {
            if (!ParsePair(value, options.w, options.h) || options.w == 0 || options.h == 0 ||
                options.w > kCoordinateLimit || options.h > kCoordinateLimit) {
                error = "--size '" + std::string(value) + "' is not W,H with each 1..2048";
                return false;
            }
            have_size = true;
        } else if (arg == "--at") {
            if (!ParsePair(value, options.x, options.y)) {
                error = "--at '" + std::string(value) + "' is not X,Y";
                return false;
            }
        } else {
            error = "unknown option " + std::string(arg);
            return false;
        }
    }
    if (positional.size() != 2) {
        error = "expected a dump file and an output file, got " + std::to_string(positional.size()) + " names";
        return false;
    }
    options.dump = positional[0];
    options.out = positional[1];
    if (!have_psm || !have_bp || !have_bw || !have_size) {
        error = std::string("missing ") + (!have_psm ? "--psm" : !have_bp ? "--bp" : !have_bw ? "--bw" : "--size");
        return false;
    }
    if (options.x >= kCoordinateLimit || options.y >= kCoordinateLimit ||
        options.w > kCoordinateLimit - options.x || options.h > kCoordinateLimit - options.y) {
        error = "rectangle at " + std::to_string(options.x) + "," + std::to_string(options.y) + " of " +
                std::to_string(options.w) + "x" + std::to_string(options.h) +
                " leaves the 2048 x 2048 coordinate space";
        return false;
    }
    return true;
}

std::array<u8, 4> GsPixelToRgba(Psm psm, u32 value, bool alpha)
{
    auto grey = [](u32 g) { return std::array<u8, 4>{u8(g), u8(g), u8(g), 255}; };
    switch (psm) {
    case Psm::kCT32:
        return {u8(value), u8(value >> 8), u8(value >> 16), alpha ? GsAlpha(value >> 24) : u8(255)};
    case Psm::kCT24: return {u8(value), u8(value >> 8), u8(value >> 16), 255};
    case Psm::kCT16:
    case Psm::kCT16S:
        return {Widen5(value), Widen5(value >> 5), Widen5(value >> 10),
                u8(!alpha || (value & 0x8000) ? 255 : 0)};
    case Psm::kT8:
    case Psm::kT8H: return grey(value & 0xFF);
    case Psm::kT4:
    case Psm::kT4HL:
    case Psm::kT4HH: return grey((value & 0xF) * 17);
    case Psm::kZ32: return grey(value >> 24);
    case Psm::kZ24: return grey((value >> 16) & 0xFF);
    case Psm::kZ16:
    case Psm::kZ16S: return grey((value >> 8) & 0xFF);
    }
    return grey(0);
}

std::vector<u8> RenderGsView(const console::gs::LocalMemory& memory, const GsViewOptions& options)
{
    const console::gs::Layout& layout = console::gs::LayoutOf(options.psm);
    std::vector<u8> rgba(static_cast<size_t>(options.w) * options.h * 4);
    u8* dst = rgba.data();
    for (u32 row = 0; row < options.h; ++row) {
        const console::gs::RowCursor cursor(layout, options.bp, options.bw, options.y + row);
        for (u32 col = 0; col < options.w; ++col) {
            const u32 value = memory.ReadAt(options.psm, cursor.Offset(options.x + col));
            const std::array<u8, 4> px = GsPixelToRgba(options.psm, value, options.alpha);
            dst = std::copy(px.begin(), px.end(), dst);
        }
    }
    return rgba;
}

bool LoadGsDump(const std::string& path, console::gs::LocalMemory& memory, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::vector<u8> data(console::gs::kMemoryBytes + 1);
    const size_t got = std::fread(data.data(), 1, data.size(), f);
    const bool read_error = std::ferror(f) != 0;
    std::fclose(f);
    if (read_error) {
        error = path + ": read error";
        return false;
    }
    if (got != console::gs::kMemoryBytes) {
        error = path + ": " + (got > console::gs::kMemoryBytes ? "more than " + std::to_string(got - 1)
                                                                : std::to_string(got)) +
                " bytes; a GS memory dump is exactly 4194304";
        return false;
    }
    data.resize(got);
    memory.Load(data);
    return true;
}

int RunGsView(std::span<const char* const> args)
{
    GsViewOptions options;
    std::string error;
    if (!ParseGsViewArgs(args, options, error)) {
        std::fprintf(stderr, "gsmem: %s\n%s", error.c_str(), GsViewUsage());
        return 2;
    }
    auto memory = std::make_unique<console::gs::LocalMemory>();
    if (!LoadGsDump(options.dump, *memory, error)) {
        std::fprintf(stderr, "gsmem: %s\n", error.c_str());
        return 1;
    }
    const std::vector<u8> rgba = RenderGsView(*memory, options);
    const auto color = options.alpha ? console::PngColor::kRgba : console::PngColor::kRgb;
    if (!console::WritePng(options.out, options.w, options.h, rgba, color, &error)) {
        std::fprintf(stderr, "gsmem: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace tools
