// Screenshots: a rectangle of GS memory read back one row at a time and
// written to a host file as an uncompressed BMP.  Blocking; it reads through
// the VIF1 path, so it runs between frames while no chain is being sent.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"

// Writes the rectangle (x, y, w, h) of the buffer at GS block bp, bw 64-pixel
// units wide, in pixel format psm to the host file `name` ("host0:...").
// 32-, 24- and 16-bit pixels are turned into the BMP's BGR order; 8- and
// 4-bit indices are written with a grey palette.  True when the whole file
// was written.
bool StoreImage(const char* name, u16 bp, u8 psm, u16 bw, u32 x, u32 y, u32 w, u32 h);
// The whole surface s.
bool StoreImage(const char* name, const Surface& s);
