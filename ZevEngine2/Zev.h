// Common header of the game's code: every game header includes it first.
//
// The game carries its own heap, text formatting, random numbers and floor.
// On this host they must not replace the C library's (the host libraries and
// the console stand-in run on the C library's heap), so the game's versions get
// link names of their own: within game code `malloc` means zev_malloc, and so
// on.  The standard headers are included here, before the renames, so their
// declarations are untouched; game code includes no standard header after it.
#pragma once

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include <ee/types.h>
#include <ee/memmap.h>
#include <ee/kernel.h>

#define malloc zev_malloc
#define calloc zev_calloc
#define free zev_free
#define printf zev_printf
#define vprintf zev_vprintf
#define sprintf zev_sprintf
#define vsprintf zev_vsprintf
#define sscanf zev_sscanf
#define rand zev_rand
#define srand zev_srand
#define floor zev_floor
#define __assert zev_assert
