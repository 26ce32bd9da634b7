// Placeholder module images.  A module image crosses the SIF as data and is
// recognised by its header, not by its host address:
//
//   offset  0  magic "CSIRX\0\0\0"
//   offset  8  u32 format version (1), little-endian
//   offset 12  char[32] module name, zero-padded
//   offset 44  zeros up to the image's declared size
//
// The loader finds the module's start function by that name among the
// modules registered with CONSOLE_IOP_MODULE (<iop/module.h>).
#pragma once

#define CONSOLE_MODULE_IMAGE_MAGIC "CSIRX\0\0\0"
#define CONSOLE_MODULE_IMAGE_VERSION 1
#define CONSOLE_MODULE_IMAGE_NAME_OFFSET 12
#define CONSOLE_MODULE_IMAGE_NAME_SIZE 32
#define CONSOLE_MODULE_IMAGE_HEADER_SIZE 44

// Defines `symbol` as a module image of `size` bytes for the module `name`
// (at most 31 characters).  The array is initialised data of the program, so
// SIF DMA from it is valid.  The header is spelled as one string literal: the
// magic, the version word 1, then the name; the rest is zero.
#define CONSOLE_MODULE_IMAGE(symbol, name, size)                                                      \
    static_assert(sizeof(name) <= CONSOLE_MODULE_IMAGE_NAME_SIZE, "module name longer than 31 bytes"); \
    static_assert((size) >= CONSOLE_MODULE_IMAGE_HEADER_SIZE, "module image smaller than its header"); \
    alignas(64) unsigned char symbol[(size)] = "CSIRX" "\0\0\0" "\x01" "\0\0\0" name
