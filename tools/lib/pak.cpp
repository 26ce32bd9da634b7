// The disc archive builder and reader.
#include "tools/lib/pak.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "ZevEngine2/PS2/iop/IOPStream.h"

// The archive is written with the module's own records, byte for byte as
// they lie in memory: the layout must be the disc's.
static_assert(sizeof(DIRECTORY) == 20 && offsetof(DIRECTORY, child) == 8 && offsetof(DIRECTORY, sibling) == 12 &&
                  offsetof(DIRECTORY, entries) == 16,
              "archive directory record");
static_assert(sizeof(DIRENTRY) == 20 && offsetof(DIRENTRY, start) == 12 && offsetof(DIRENTRY, length) == 16,
              "archive file record");
static_assert(std::endian::native == std::endian::little, "archive words are little-endian");

namespace tools {

namespace {

constexpr u64 kMaxArchive = 0xFFFFFFFFull;  // the disc's file size is a 32-bit word

std::string Hex(u64 v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

u32 Sectors(u64 bytes)
{
    return static_cast<u32>((bytes + PAK_SECTOR_SIZE - 1) / PAK_SECTOR_SIZE);
}

std::string Trimmed(const char* name, size_t n)
{
    std::string s(name, n);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// A path component the module can look up: not empty, printable, no blank
// (names are padded with blanks) and no ';' (it ends a look-up).
bool UsableComponent(std::string_view c)
{
    if (c.empty())
        return false;
    for (char ch : c) {
        if (ch < '!' || ch > '~' || ch == ';')
            return false;
    }
    return true;
}

std::vector<std::string_view> SplitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t begin = 0;
    for (size_t i = 0; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '/' || path[i] == '\\') {
            parts.push_back(path.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    return parts;
}

// The tree being built, keyed by stored names so that std::map's bytewise
// order is the archive's order.
struct BuildDir {
    std::string name;  // 8 characters
    std::map<std::string, const PakInputFile*> files;
    std::map<std::string, BuildDir> dirs;
    u32 offset = 0;
};

u64 LayOut(BuildDir& dir, u64 cursor)
{
    dir.offset = static_cast<u32>(cursor);
    cursor += sizeof(DIRECTORY) + sizeof(DIRENTRY) * dir.files.size();
    for (auto& [key, sub] : dir.dirs)
        cursor = LayOut(sub, cursor);
    return cursor;
}

template <typename T>
void Put(std::vector<u8>& out, u64 offset, const T& record)
{
    std::memcpy(out.data() + offset, &record, sizeof record);
}

void EmitDirectory(const BuildDir& dir, std::vector<u8>& out, u32& sector, u32 sibling)
{
    DIRECTORY d;
    std::memcpy(d.name, dir.name.data(), sizeof d.name);
    d.child = dir.dirs.empty() ? 0 : dir.dirs.begin()->second.offset;
    d.sibling = sibling;
    d.entries = static_cast<s32>(dir.files.size());
    Put(out, dir.offset, d);

    u64 at = dir.offset + sizeof(DIRECTORY);
    for (const auto& [stored, file] : dir.files) {
        DIRENTRY e;
        std::memcpy(e.name, stored.data(), sizeof e.name);
        e.start = sector;
        e.length = static_cast<u32>(file->data.size());
        Put(out, at, e);
        at += sizeof(DIRENTRY);
        u64 data = u64(sector) * PAK_SECTOR_SIZE;
        if (!file->data.empty())
            std::memcpy(out.data() + data, file->data.data(), file->data.size());
        sector += Sectors(file->data.size());
    }
    for (auto it = dir.dirs.begin(); it != dir.dirs.end(); ++it) {
        auto next = std::next(it);
        EmitDirectory(it->second, out, sector, next == dir.dirs.end() ? 0 : next->second.offset);
    }
}

u64 DataBytes(const BuildDir& dir)
{
    u64 total = 0;
    for (const auto& [stored, file] : dir.files)
        total += u64(Sectors(file->data.size())) * PAK_SECTOR_SIZE;
    for (const auto& [key, sub] : dir.dirs)
        total += DataBytes(sub);
    return total;
}

}  // namespace

std::string PakStoredName(std::string_view component)
{
    std::string out(12, ' ');
    size_t col = 0;
    for (char ch : component) {
        // Plain char, as the module reads it: only 0x61..0x7F lose 0x20.
        if (ch > 0x60)
            ch = static_cast<char>(ch - 0x20);
        if (ch == '.' && col >= 8)
            col = 8;
        if (col < out.size())
            out[col++] = ch;
    }
    return out;
}

std::string PakStoredPath(std::string_view path)
{
    const auto parts = SplitPath(path);
    std::string out;
    for (size_t i = 0; i < parts.size(); i++) {
        const std::string stored = PakStoredName(parts[i]);
        if (i + 1 < parts.size())
            out += Trimmed(stored.data(), 8) + "\\";
        else
            out += Trimmed(stored.data(), stored.size());
    }
    return out;
}

bool BuildPak(const std::vector<PakInputFile>& files, std::string_view root, std::vector<u8>& archive,
              std::string& error)
{
    if (!UsableComponent(root) || root.size() > 8) {
        error = "root directory name \"" + std::string(root) + "\" is not 1 to 8 printable characters";
        return false;
    }
    BuildDir top;
    top.name = PakStoredName(root).substr(0, 8);

    std::map<std::string, const PakInputFile*> stored_paths;
    for (const PakInputFile& f : files) {
        const std::string& who = f.source.empty() ? f.path : f.source;
        auto parts = SplitPath(f.path);
        BuildDir* dir = &top;
        std::string stored_path;
        for (size_t i = 0; i < parts.size(); i++) {
            if (!UsableComponent(parts[i])) {
                error = who + ": path \"" + f.path + "\" has an empty component or a character outside '!'..'~' or ';'";
                return false;
            }
            std::string stored = PakStoredName(parts[i]);
            if (i + 1 < parts.size()) {
                stored = stored.substr(0, 8);
                if (dir == &top && stored == top.name) {
                    error = who + ": directory \"" + std::string(parts[i]) +
                            "\" has the root's name and could never be found";
                    return false;
                }
                BuildDir& sub = dir->dirs[stored];
                sub.name = stored;
                dir = &sub;
                stored_path += Trimmed(stored.data(), stored.size()) + "\\";
                continue;
            }
            stored_path += Trimmed(stored.data(), stored.size());
            auto [it, fresh] = stored_paths.emplace(stored_path, &f);
            if (!fresh) {
                const PakInputFile& other = *it->second;
                error = who + ": stored as " + stored_path + ", like " +
                        (other.source.empty() ? other.path : other.source);
                return false;
            }
            if (f.data.size() > kMaxArchive) {
                error = who + ": larger than 4 GiB";
                return false;
            }
            dir->files[stored] = &f;
        }
    }

    u64 dir_bytes = LayOut(top, 0);
    u64 first_data = u64(Sectors(dir_bytes)) * PAK_SECTOR_SIZE;
    u64 total = first_data + DataBytes(top);
    if (total > kMaxArchive) {
        error = "archive of " + std::to_string(total) + " bytes is beyond 4 GiB";
        return false;
    }

    archive.assign(static_cast<size_t>(total), 0);
    u32 sector = static_cast<u32>(first_data / PAK_SECTOR_SIZE);
    EmitDirectory(top, archive, sector, static_cast<u32>(dir_bytes));
    return true;
}

bool CollectPakInputs(const std::string& dir, std::vector<PakInputFile>& files, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = dir + ": not a directory";
        return false;
    }
    std::vector<std::string> paths;
    fs::recursive_directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec))
            continue;
        std::string rel = fs::relative(it->path(), dir, ec).generic_string();
        if (!it->is_regular_file(ec)) {
            error = it->path().string() + ": not a regular file";
            return false;
        }
        paths.push_back(rel);
    }
    if (ec) {
        error = dir + ": " + ec.message();
        return false;
    }
    std::sort(paths.begin(), paths.end());
    files.clear();
    for (const std::string& rel : paths) {
        PakInputFile f;
        f.path = rel;
        f.source = (fs::path(dir) / rel).string();
        if (!ReadHostFile(f.source, f.data, error))
            return false;
        files.push_back(std::move(f));
    }
    return true;
}

namespace {

struct PakReader {
    std::span<const u8> archive;
    const std::string& name;
    u32 block = 0;  // directory block size
    std::vector<PakEntry>& entries;
    std::string& error;

    bool Fail(u64 offset, const std::string& what)
    {
        error = name + ": offset " + Hex(offset) + ": " + what;
        return false;
    }

    bool Printable(const char* s, size_t n, u64 offset)
    {
        for (size_t i = 0; i < n; i++) {
            if (s[i] < ' ' || s[i] > '~')
                return Fail(offset + i, "name byte " + Hex(u8(s[i])) + " is not printable");
        }
        return true;
    }

    // Walks the directory tree from the root record, each directory's files,
    // then its subdirectories, then its later siblings.  Every link must
    // point forward and reach a record no other link reaches, so the walk
    // ends, and visits each record once, however the block was damaged; the
    // records still to visit are kept on a list of its own, not on the
    // program's stack, however deeply the directories nest.
    bool Walk()
    {
        struct Pending {
            u32 offset;
            std::string prefix;
        };
        std::vector<Pending> pending{{0, ""}};
        std::vector<bool> reached(block / 4 + 1);
        reached[0] = true;
        // The link in the word at from + field.
        auto follow = [&](u32 from, u32 field, u32 link, const char* what, std::string prefix) {
            if (link <= from)
                return Fail(from + field, std::string(what) + " link " + Hex(link) + " does not point forward");
            if (link / 4 < reached.size()) {
                if (reached[link / 4])
                    return Fail(from, "directory record " + Hex(link) + " is reached by two links");
                reached[link / 4] = true;
            }
            pending.push_back({link, std::move(prefix)});
            return true;
        };
        while (!pending.empty()) {
            const u32 offset = pending.back().offset;
            const std::string prefix = std::move(pending.back().prefix);
            pending.pop_back();
            if (u64(offset) + sizeof(DIRECTORY) > block || offset % 4 != 0)
                return Fail(offset, "directory record outside the directory block of " + Hex(block) + " bytes");
            DIRECTORY d;
            std::memcpy(&d, archive.data() + offset, sizeof d);
            if (!Printable(d.name, sizeof d.name, offset))
                return false;
            if (d.entries < 0 || u64(offset) + sizeof(DIRECTORY) + u64(d.entries) * sizeof(DIRENTRY) > block)
                return Fail(offset + 16, std::to_string(d.entries) + " file records do not fit the directory block");
            const bool is_root = offset == 0;
            std::string path = is_root ? prefix : prefix + Trimmed(d.name, sizeof d.name) + "\\";
            for (s32 i = 0; i < d.entries; i++) {
                u64 at = offset + sizeof(DIRECTORY) + u64(i) * sizeof(DIRENTRY);
                DIRENTRY e;
                std::memcpy(&e, archive.data() + at, sizeof e);
                if (!Printable(e.name, sizeof e.name, at))
                    return false;
                if (u64(e.start) * PAK_SECTOR_SIZE + e.length > archive.size())
                    return Fail(at + 12, "file " + path + Trimmed(e.name, sizeof e.name) +
                                             " reaches past the end of the archive");
                entries.push_back({path + Trimmed(e.name, sizeof e.name), e.start, e.length});
            }
            // The sibling goes on the list first, so the subdirectory's
            // tree is walked before it.  The root's sibling word is the
            // block size.
            if (!is_root && d.sibling != 0 && !follow(offset, 12, d.sibling, "sibling", prefix))
                return false;
            if (d.child != 0 && !follow(offset, 8, d.child, "subdirectory", path))
                return false;
        }
        return true;
    }
};

}  // namespace

bool ReadPak(std::span<const u8> archive, const std::string& name, std::string& root,
             std::vector<PakEntry>& entries, std::string& error)
{
    entries.clear();
    if (archive.size() < sizeof(DIRECTORY)) {
        error = name + ": offset 0x0: " + std::to_string(archive.size()) + " bytes, shorter than the root record";
        return false;
    }
    DIRECTORY r;
    std::memcpy(&r, archive.data(), sizeof r);
    PakReader reader{archive, name, r.sibling, entries, error};
    if (r.sibling < sizeof(DIRECTORY) || r.sibling > archive.size())
        return reader.Fail(12, "directory block size " + Hex(r.sibling) + " outside 0x14.." + Hex(archive.size()));
    if (!reader.Walk())
        return false;
    root = Trimmed(r.name, sizeof r.name);
    return true;
}

bool ReadHostFile(const std::string& path, std::vector<u8>& data, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool WriteHostFile(const std::string& path, std::span<const u8> data, std::string& error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

namespace {

const char kUsage[] =
    "usage: pakbuild [--root NAME] OUT.PAK DIR   build an archive of the files below DIR\n"
    "       pakbuild --list FILE.PAK             check an archive and list its files\n";

int ListPak(const std::string& path)
{
    std::vector<u8> data;
    std::string error, root;
    std::vector<PakEntry> entries;
    if (!ReadHostFile(path, data, error) || !ReadPak(data, path, root, entries, error)) {
        std::fprintf(stderr, "pakbuild: %s\n", error.c_str());
        return 1;
    }
    std::printf("root %s, %zu files, %zu bytes\n", root.c_str(), entries.size(), data.size());
    for (const PakEntry& e : entries)
        std::printf("%8u %10u %s\n", e.start, e.length, e.path.c_str());
    return 0;
}

}  // namespace

int RunPakBuild(std::span<const char* const> args)
{
    std::string root = "KORVALIS";
    std::vector<std::string> positional;
    bool list = false;
    for (size_t i = 0; i < args.size(); i++) {
        std::string_view a = args[i];
        if (a == "--root" && i + 1 < args.size()) {
            root = args[++i];
        } else if (a == "--list") {
            list = true;
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "pakbuild: unknown option %s\n%s", args[i], kUsage);
            return 2;
        } else {
            positional.emplace_back(a);
        }
    }
    if (list) {
        if (positional.size() != 1) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return ListPak(positional[0]);
    }
    if (positional.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::vector<PakInputFile> files;
    std::vector<u8> archive;
    std::string error;
    if (!CollectPakInputs(positional[1], files, error) || !BuildPak(files, root, archive, error) ||
        !WriteHostFile(positional[0], archive, error)) {
        std::fprintf(stderr, "pakbuild: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %zu files, %zu bytes\n", positional[0].c_str(), files.size(), archive.size());
    return 0;
}

}  // namespace tools
