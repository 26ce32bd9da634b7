// The disc archive "KORVALIS.PAK": building one from host files and reading
// one back.  The records are the streaming module's own (DIRECTORY, DIRENTRY
// in ZevEngine2/PS2/iop/IOPStream.h); names are stored as the module's path
// look-up forms them, so every path the module accepts for a file finds it.
//
// Layout of a built archive: the directory block at offset 0 (the root record,
// its file records, then every subdirectory in depth-first order, each
// followed by its file records), then the files, each starting on a 2048-byte
// sector, in the same depth-first order, the archive padded to whole sectors.
// Names are sorted bytewise by their stored form, so the same files give the
// same archive byte for byte.
#pragma once

#include <ee/types.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// One file to store: its path below the archive's root directory (components
// separated by '/' or '\'), its bytes, and where it came from (for messages).
struct PakInputFile {
    std::string path;
    std::vector<u8> data;
    std::string source;
};

// The 12-character stored form of one path component, as the module's look-up
// forms it: bytes above 0x60 lose 0x20 (a-z become upper case), a '.' met at
// column 8 or later moves to column 8 (the base name is cut to 8), at most 12
// characters are kept, and blanks pad the rest.  Directories compare the first
// 8 of them.
std::string PakStoredName(std::string_view component);

// A whole path's stored form as the look-up compares it
// ("DEMODATA\CINE\M11\M11_S7B0.CIN"): directories keep 8 characters of
// theirs, blanks are dropped.  Two paths of the same stored form name one file.
std::string PakStoredPath(std::string_view path);

// Builds an archive whose root directory is called root (at most 8
// characters).  False, with a message naming the offending file, for an empty
// or unusable path component (characters outside '!'..'~', or ';', which ends
// a look-up), two inputs with the same stored path, a top-level directory
// with the root's name (the look-up would never enter it), or an archive
// beyond 4 GiB.
bool BuildPak(const std::vector<PakInputFile>& files, std::string_view root, std::vector<u8>& archive,
              std::string& error);

// Every regular file below dir, with its path relative to dir, in sorted path
// order.  False with a message naming the file that cannot be read.
bool CollectPakInputs(const std::string& dir, std::vector<PakInputFile>& files, std::string& error);

// One file of an archive as read back.
struct PakEntry {
    std::string path;  // stored names, trailing blanks removed, joined by '\'
    u32 start;         // first sector, relative to the archive
    u32 length;        // bytes
};

// Reads and checks an archive's directory: the block size, every record and
// link inside the block, links pointing forward only (so no walk can loop),
// printable names, and every file inside the archive.  False with a message
// naming the archive (name) and the byte offset of the first bad field.
bool ReadPak(std::span<const u8> archive, const std::string& name, std::string& root,
             std::vector<PakEntry>& entries, std::string& error);

// Host files in and out; false with a message naming the file.
bool ReadHostFile(const std::string& path, std::vector<u8>& data, std::string& error);
bool WriteHostFile(const std::string& path, std::span<const u8> data, std::string& error);

// The pakbuild command:
//   pakbuild [--root NAME] OUT.PAK DIR   build OUT.PAK from the files below DIR
//   pakbuild --list FILE.PAK             check an archive and list its files
// Returns the exit status (0 done, 2 bad arguments, 1 bad input or output);
// messages go to stderr, the listing to stdout.
int RunPakBuild(std::span<const char* const> args);

}  // namespace tools
