#include "tools/lib/gsreplay.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
           "                [--from FIELD] [--stats]\n"
           "  plays a GS dump written with --gs-dump and prints each field's CRC as the frame log does;\n"
           "  --from measures the fields from FIELD on (the earlier ones are played untimed),\n"
           "  --stats draws on the calling thread and prints, per drawing state, the pixels drawn and the\n"
           "  time taken on the specialised pipelines and on the per-pixel path\n";
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
        } else if (a == "--from") {
            const char* v = value();
            if (!v || !ParseCount(v, 0, 0x7FFFFFFF, n))
                return fail("--from needs a field number");
            o.from = static_cast<u32>(n);
        } else if (a == "--stats") {
            o.stats = true;
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
    // Mapped rather than read: a long run's dump is hundreds of megabytes.
    const int fd = open(o.dump.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            close(fd);
        if (error)
            *error = "cannot read " + o.dump;
        return false;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* const map = size > 0 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    close(fd);
    if (size > 0 && map == MAP_FAILED) {
        if (error)
            *error = "cannot map " + o.dump + " (" + std::strerror(errno) + ")";
        return false;
    }
    struct Unmap {
        void* at;
        size_t size;
        ~Unmap()
        {
            if (at)
                munmap(at, size);
        }
    } const unmap{map, size};
    const std::span<const u8> bytes(static_cast<const u8*>(map), size);
    // The whole dump is checked before anything is played.
    {
        console::gs::DumpReader check;
        console::gs::DumpRecord r;
        bool ok = check.Open(bytes, error);
        while (ok && check.Next(r, error)) {
        }
        if (!ok || check.Failed()) {
            if (error)
                *error = o.dump + ": " + *error;
            return false;
        }
    }
    if (o.stats)
        console::gs::SetDrawThreads(0);
    else if (o.threads >= 0)
        console::gs::SetDrawThreads(o.threads);
    struct ReferencePath {
        explicit ReferencePath(bool on) { console::gs::SetReferencePath(on); }
        ~ReferencePath() { console::gs::SetReferencePath(false); }
    } const reference(o.reference);

    result = GsReplayResult{};
    console::host::RgbaImage picture;
    using Clock = std::chrono::steady_clock;
    double measured = 0;
    for (int play = 0; play < o.repeat; ++play) {
        const bool first = play == 0;
        // The accounts count pixels themselves, outside the time they take.
        const bool count = first && o.count_pixels && !o.stats;
        bool measuring = false;
        Clock::time_point start;
        auto begin_measuring = [&] {
            measuring = true;
            console::gs::CountPixels(count);
            if (first && o.stats)
                console::gs::CollectDrawStats(true);
            start = Clock::now();
        };
        console::gs::ResetGs(true);
        console::gs::CountPixels(false);
        console::gs::ReadOutMemo memo;
        u32 crc = 0;
        if (o.from == 0)
            begin_measuring();
        console::gs::DumpReader reader;
        reader.Open(bytes, nullptr);
        console::gs::DumpRecord r;
        while (reader.Next(r, nullptr)) {
            if (r.kind != console::gs::DumpKind::kField) {
                console::gs::ReplayRecord(r);
                continue;
            }
            // A field showing what the last one showed is not read out
            // again, as the run's display did not read it again.
            if (console::gs::ReadOutIfChanged(r.display, picture, memo) && first) {
                const std::span<const u8> px(reinterpret_cast<const u8*>(picture.pixels.data()),
                                             picture.pixels.size() * sizeof(u32));
                crc = console::Crc32(px);
            }
            if (!measuring && r.field + 1 >= o.from)
                begin_measuring();
            else if (measuring && first) {
                if (result.fields++ == 0)
                    result.first_field = r.field;
                result.last_field = r.field;
            }
            if (!first)
                continue;
            const std::span<const u8> px(reinterpret_cast<const u8*>(picture.pixels.data()),
                                         picture.pixels.size() * sizeof(u32));
            char line[64];
            std::snprintf(line, sizeof line, "%" PRIu32 " %08" PRIx32 " %" PRIu32 " %" PRIu32, r.field, crc,
                          picture.width, picture.height);
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
        console::gs::DrainDrawQueue();
        if (measuring)
            measured += std::chrono::duration<double>(Clock::now() - start).count();
        if (count)
            result.pixels = console::gs::PixelsCovered();
        if (first && o.stats && measuring) {
            result.stats = console::gs::DrawStatsRows();
            for (const auto& row : result.stats)
                result.pixels += row.pixels[0] + row.pixels[1];
        }
        console::gs::CollectDrawStats(false);
    }
    result.seconds = measured;
    console::gs::CountPixels(false);
    return true;
}

void PrintDrawStats(const GsReplayResult& result, std::FILE* out)
{
    u64 prims[console::gs::kDrawPaths] = {}, pixels[console::gs::kDrawPaths] = {};
    double seconds[console::gs::kDrawPaths] = {};
    for (const auto& r : result.stats)
        for (int k = 0; k < console::gs::kDrawPaths; ++k) {
            prims[k] += r.primitives[k];
            pixels[k] += r.pixels[k];
            seconds[k] += r.seconds[k];
        }
    const u64 all = pixels[0] + pixels[1];
    auto share = [&](u64 p) { return all > 0 ? 100.0 * static_cast<double>(p) / static_cast<double>(all) : 0.0; };
    std::fprintf(out,
                 "draw accounts, fields %" PRIu32 " to %" PRIu32 " drawn on the calling thread: %.1f s in all, %.3f s in "
                 "primitives\n"
                 "  pipelines: %" PRIu64 " primitives, %" PRIu64 " pixels (%.2f%%), %.3f s\n"
                 "  per-pixel: %" PRIu64 " primitives, %" PRIu64 " pixels (%.2f%%), %.3f s\n",
                 result.first_field, result.last_field, result.seconds, seconds[0] + seconds[1], prims[0], pixels[0], share(pixels[0]),
                 seconds[0], prims[1], pixels[1], share(pixels[1]), seconds[1]);
    std::fprintf(out, "%7s %9s %11s %9s %9s %11s %9s  %s\n", "pixels", "pipelines", "pixels", "ms", "per-pixel",
                 "pixels", "ms", "state");
    for (const auto& r : result.stats)
        std::fprintf(out, "%6.2f%% %9" PRIu64 " %11" PRIu64 " %9.2f %9" PRIu64 " %11" PRIu64 " %9.2f  %s\n",
                     share(r.pixels[0] + r.pixels[1]), r.primitives[0], r.pixels[0], r.seconds[0] * 1e3,
                     r.primitives[1], r.pixels[1], r.seconds[1] * 1e3, r.state.c_str());
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
    if (options.stats)
        PrintDrawStats(result, out);
    // The lines go out before the summary on the other stream, so that the
    // two never interleave mid-line where both reach one reader.
    std::fflush(out);
    const double per_play = result.seconds / options.repeat;
    std::fprintf(stderr,
                 "gsreplay: %" PRIu64 " fields, %" PRIu64 " pixels covered, %.3f s a play (%d draw threads): "
                 "%.1f fields/s, %.1f million pixels/s\n",
                 result.fields, result.pixels, per_play, console::gs::DrawThreads(),
                 per_play > 0 ? result.fields / per_play : 0.0, per_play > 0 ? result.pixels / per_play / 1e6 : 0.0);
    return 0;
}

}  // namespace tools
