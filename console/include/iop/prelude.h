// Included first by every I/O-processor module source.  The IOP's calls that
// share a name with a main-processor call get their own link names, and
// printf writes to the IOP console ("IOP: " lines).  A module source uses
// only the iop/ headers: a host mutex or sleep would stall the scheduler.
#pragma once

// The standard headers a module may use are included before the mappings, so
// their own declarations of printf stay untouched.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ee/types.h"

#define printf iop_printf
#define sceSifInitRpc iop_sceSifInitRpc
#define sceSifSetDma iop_sceSifSetDma
#define sceSifDmaStat iop_sceSifDmaStat
#define sceCdInit iop_sceCdInit
#define sceCdMmode iop_sceCdMmode

#include "iop/cdvd.h"
#include "iop/kernel.h"
#include "iop/module.h"
#include "iop/sd.h"
#include "iop/sif.h"
