#include "cdvd/disc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"

namespace console::cdvd {
namespace {

namespace fs = std::filesystem;

struct Disc {
    bool built = false;
    bool present = false;
    std::string root;
    std::vector<DiscFile> files;  // in sector order, which is path order
};

Disc& D()
{
    static Disc disc;
    return disc;
}

std::string Upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// "\\DIR/File.ext;1" -> "DIR\\FILE.EXT".  Empty components are dropped.
std::string NormalisePath(std::string_view path)
{
    size_t semicolon = path.rfind(';');
    if (semicolon != std::string_view::npos && path.find_first_of("\\/", semicolon) == std::string_view::npos)
        path = path.substr(0, semicolon);
    std::string out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            if (!out.empty())
                out += '\\';
            out += Upper(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

void Build(Disc& d)
{
    d.built = true;
    d.present = false;
    d.files.clear();
    d.root = GetString("disc");
    if (d.root.empty())
        return;
    std::error_code ec;
    if (!fs::is_directory(d.root, ec)) {
        Diag(Level::kError, "cd", "--disc %s is not a directory (ISO images are not read)", d.root.c_str());
        return;
    }
    d.present = true;
    std::vector<DiscFile> found;
    // Folders linked from elsewhere are read as the disc's own; a folder
    // reached a second time (a link back up the tree) is not entered again.
    std::set<fs::path> entered;
    entered.insert(fs::canonical(d.root, ec));
    fs::recursive_directory_iterator it(
        d.root, fs::directory_options::skip_permission_denied | fs::directory_options::follow_directory_symlink, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) {
            if (!entered.insert(fs::canonical(it->path(), ec)).second)
                it.disable_recursion_pending();
            ec.clear();
            continue;
        }
        if (!it->is_regular_file(ec))
            continue;
        DiscFile f;
        f.host_path = it->path().string();
        // The name below the disc's folder as it is written, whatever links
        // lie on the way.
        f.iso_path = NormalisePath(it->path().lexically_relative(d.root).generic_string());
        f.size = it->file_size(ec);
        if (ec) {
            Diag(Level::kWarning, "cd", "cannot read the size of %s: %s", f.host_path.c_str(), ec.message().c_str());
            ec.clear();
            continue;
        }
        found.push_back(std::move(f));
    }
    if (ec)
        Diag(Level::kWarning, "cd", "reading the disc directory %s: %s", d.root.c_str(), ec.message().c_str());
    // Sorted by the ISO path, ties (names differing only in case) by the host
    // path; the first of such a pair is the one the disc shows.
    std::sort(found.begin(), found.end(), [](const DiscFile& a, const DiscFile& b) {
        return a.iso_path != b.iso_path ? a.iso_path < b.iso_path : a.host_path < b.host_path;
    });
    uint32_t lsn = kFirstFileLsn;
    for (DiscFile& f : found) {
        if (!d.files.empty() && d.files.back().iso_path == f.iso_path) {
            Diag(Level::kWarning, "cd", "%s and %s have the same disc name; only the first is on the disc",
                 d.files.back().host_path.c_str(), f.host_path.c_str());
            continue;
        }
        uint64_t sectors = std::max<uint64_t>(1, (f.size + kSectorSize - 1) / kSectorSize);
        if (f.size > 0xFFFFFFFFu || lsn + sectors > 0xFFFFFFFFu) {
            Diag(Level::kWarning, "cd", "%s does not fit on the disc", f.host_path.c_str());
            continue;
        }
        f.lsn = lsn;
        f.sectors = static_cast<uint32_t>(sectors);
        lsn += f.sectors;
        Trace("cd", "disc file %s at sector %u, %llu bytes", f.iso_path.c_str(), f.lsn,
              static_cast<unsigned long long>(f.size));
        d.files.push_back(std::move(f));
    }
}

Disc& Current()
{
    Disc& d = D();
    if (!d.built || d.root != GetString("disc"))
        Build(d);
    return d;
}

const bool g_registered = [] {
    RegisterResetHook("disc", ResetDisc);
    return true;
}();

}  // namespace

bool DiscPresent()
{
    return Current().present;
}

const DiscFile* FindFile(std::string_view iso_path)
{
    Disc& d = Current();
    std::string key = NormalisePath(iso_path);
    auto it = std::lower_bound(d.files.begin(), d.files.end(), key,
                               [](const DiscFile& f, const std::string& k) { return f.iso_path < k; });
    if (it == d.files.end() || it->iso_path != key)
        return nullptr;
    return &*it;
}

void ReadSectors(uint32_t lsn, uint32_t count, uint8_t* out)
{
    Disc& d = Current();
    std::memset(out, 0, static_cast<size_t>(count) * kSectorSize);
    uint64_t first = lsn;
    uint64_t last = first + count;  // exclusive
    // The first file whose range ends after `first`.
    auto it = std::upper_bound(d.files.begin(), d.files.end(), first,
                               [](uint64_t s, const DiscFile& f) { return s < uint64_t{f.lsn} + f.sectors; });
    for (; it != d.files.end() && it->lsn < last; ++it) {
        uint64_t from = std::max<uint64_t>(first, it->lsn);
        uint64_t to = std::min<uint64_t>(last, uint64_t{it->lsn} + it->sectors);
        uint64_t offset = (from - it->lsn) * kSectorSize;
        if (offset >= it->size)
            continue;
        uint64_t bytes = std::min<uint64_t>((to - from) * kSectorSize, it->size - offset);
        FILE* f = std::fopen(it->host_path.c_str(), "rb");
        if (!f) {
            Diag(Level::kWarning, "cd", "cannot open %s", it->host_path.c_str());
            continue;
        }
        uint8_t* dst = out + (from - first) * kSectorSize;
        if (std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0)
            std::fread(dst, 1, static_cast<size_t>(bytes), f);
        std::fclose(f);
    }
}

void ResetDisc()
{
    D() = Disc{};
}

}  // namespace console::cdvd
