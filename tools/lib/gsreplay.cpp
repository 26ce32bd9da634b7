#include "tools/lib/gsreplay.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "console/src/core/png.h"
#include "gs/display.h"
#include "gs/drawthreads.h"
#include "gs/gs.h"
#include "gs/gsdump.h"
#include "gs/raster.h"

namespace tools {
namespace {

bool ParseCount(const char* text, long lo, long hi, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= lo && value <= hi;
}

std::string FieldPng(const std::string& dir, u64 field)
{
    char name[32];
    std::snprintf(name, sizeof name, "/field-%06" PRIu64 ".png", field);
    return dir + name;
}

}  // namespace

std::string GsReplayUsage()
{
    return "usage: gsreplay DUMP [--png DIR [--png-at F1,F2,...]] [--gs-threads N] [--repeat N] [--quiet] [--reference]\n"
           "  plays a GS dump written with --gs-dump and prints each field's CRC as the frame log does\n";
}

bool ParseGsReplayArgs(std::span<const char* const> args, GsReplayOptions& o, std::string* error)
{
    auto fail = [&](const std::string& message) {
        if (error)
            *error = message;
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = args[i];
        auto value = [&]() -> const char* { return i + 1 < args.size() ? args[++i] : nullptr; };
        long n;
        if (a == "--png") {
            const char* v = value();
            if (!v)
                return fail("--png needs a directory");
            o.png_dir = v;
        } else if (a == "--png-at") {
            const char* v = value();
            if (!v)
                return fail("--png-at needs a list of fields");
            std::string list = v;
            for (size_t at = 0; at <= list.size();) {
                const size_t comma = std::min(list.find(',', at), list.size());
                if (!ParseCount(list.substr(at, comma - at).c_str(), 0, 0x7FFFFFFF, n))
                    return fail("--png-at: '" + list + "' is not a list of field numbers");
                o.png_at.push_back(static_cast<u32>(n));
                at = comma + 1;
            }
        } else if (a == "--gs-threads") {
            const char* v = value();
            if (!v || !ParseCount(v, 0, 8, n))
                return fail("--gs-threads needs a number 0..8");
            o.threads = static_cast<int>(n);
        } else if (a == "--repeat") {
            const char* v = value();
            if (!v || !ParseCount(v, 1, 100000, n))
                return fail("--repeat needs a number 1..100000");
            o.repeat = static_cast<int>(n);
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--reference") {
            o.reference = true;
        } else if (!a.empty() && a[0] != '-' && o.dump.empty()) {
            o.dump = a;
        } else {
            return fail("unknown argument '" + a + "'");
        }
    }
    if (o.dump.empty())
        return fail("no dump given");
    return true;
}

bool ReplayGsDump(const GsReplayOptions& o, GsReplayResult& result, std::string* error)
{
    std::ifstream in(o.dump, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read " + o.dump;
        return false;
    }
    const std::vector<u8> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<console::gs::DumpRecord> records;
    if (!console::gs::ParseGsDump(bytes, records, error)) {
        if (error)
            *error = o.dump + ": " + *error;
        return false;
    }
    if (o.threads >= 0)
        console::gs::SetDrawThreads(o.threads);
    struct ReferencePath {
        explicit ReferencePath(bool on) { console::gs::SetReferencePath(on); }
        ~ReferencePath() { console::gs::SetReferencePath(false); }
    } const reference(o.reference);

    result = GsReplayResult{};
    console::host::RgbaImage picture;
    const auto start = std::chrono::steady_clock::now();
    for (int play = 0; play < o.repeat; ++play) {
        const bool first = play == 0;
        console::gs::ResetGs(true);
        console::gs::CountPixels(first && o.count_pixels);
        for (const auto& r : records) {
            if (r.kind != console::gs::DumpKind::kField) {
                console::gs::ReplayRecord(r);
                continue;
            }
            console::gs::ReadOut(r.display, picture);
            if (!first)
                continue;
            ++result.fields;
            const std::span<const u8> px(reinterpret_cast<const u8*>(picture.pixels.data()),
                                         picture.pixels.size() * sizeof(u32));
            char line[64];
            std::snprintf(line, sizeof line, "%" PRIu32 " %08" PRIx32 " %" PRIu32 " %" PRIu32, r.field,
                          console::Crc32(px), picture.width, picture.height);
            result.log.emplace_back(line);
            const bool png = !o.png_dir.empty() &&
                             (o.png_at.empty() ||
                              std::find(o.png_at.begin(), o.png_at.end(), r.field) != o.png_at.end());
            std::string message;
            if (png && !console::WritePng(FieldPng(o.png_dir, r.field), picture.width, picture.height, px,
                                          console::PngColor::kRgb, &message)) {
                if (error)
                    *error = message;
                return false;
            }
        }
        if (first && o.count_pixels)
            result.pixels = console::gs::PixelsCovered();
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    console::gs::CountPixels(false);
    return true;
}

int RunGsReplay(std::span<const char* const> args, std::FILE* out)
{
    GsReplayOptions options;
    std::string error;
    if (!ParseGsReplayArgs(args, options, &error)) {
        std::fprintf(stderr, "gsreplay: %s\n%s", error.c_str(), GsReplayUsage().c_str());
        return 2;
    }
    GsReplayResult result;
    if (!ReplayGsDump(options, result, &error)) {
        std::fprintf(stderr, "gsreplay: %s\n", error.c_str());
        return 1;
    }
    if (!options.quiet)
        for (const auto& line : result.log)
            std::fprintf(out, "%s\n", line.c_str());
    const double per_play = result.seconds / options.repeat;
    std::fprintf(stderr,
                 "gsreplay: %" PRIu64 " fields, %" PRIu64 " pixels covered, %.3f s a play (%d draw threads): "
                 "%.1f fields/s, %.1f million pixels/s\n",
                 result.fields, result.pixels, per_play, console::gs::DrawThreads(),
                 per_play > 0 ? result.fields / per_play : 0.0, per_play > 0 ? result.pixels / per_play / 1e6 : 0.0);
    return 0;
}

}  // namespace tools
