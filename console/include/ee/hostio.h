// Host file output: "host0:path" (or "host:path") names a file below the
// directory given with --host-dir (the current directory by default).
#pragma once

#include "ee/types.h"

constexpr int SCE_RDONLY = 0x0001;
constexpr int SCE_WRONLY = 0x0002;
constexpr int SCE_RDWR = 0x0003;
constexpr int SCE_APPEND = 0x0100;
constexpr int SCE_CREAT = 0x0200;
constexpr int SCE_TRUNC = 0x0400;

// Opens a host file; returns a descriptor >= 0 or a negative error.
int sceOpen(const char* name, int flags, ...);
// Writes n bytes; returns the count written or a negative error.
int sceWrite(int fd, const void* buf, int n);
// Reads up to n bytes; returns the count read or a negative error.
int sceRead(int fd, void* buf, int n);
int sceClose(int fd);
