// The main processor's hardware registers that the game reads and writes
// directly: typed views of the ones whose fields are used, and one accessor
// per register.  Every accessor is an out-of-line call into the stand-in: a
// safe point costing 20 bus cycles and a compiler barrier, so polling loops
// over a register see time pass.  Writes take effect before the call returns;
// reads see the state after the safe point.
#pragma once

#include "ee/types.h"

// ---------------------------------------------------------------------------
// GS privileged registers (64-bit).

struct tGS_PMODE
{
    u64 EN1 : 1;    // read circuit 1 on
    u64 EN2 : 1;    // read circuit 2 on
    u64 CRTMD : 3;  // always 1
    u64 MMOD : 1;   // 0: alpha from circuit 1 pixels, 1: ALP
    u64 AMOD : 1;   // output alpha from circuit 1 (0) or 2 (1)
    u64 SLBG : 1;   // blend circuit 1 with circuit 2 (0) or the background (1)
    u64 ALP : 8;    // fixed blend alpha
    u64 zero : 1;
    u64 p0 : 47;
};
static_assert(sizeof(tGS_PMODE) == 8);

struct tGS_SMODE2
{
    u64 INT : 1;   // interlaced
    u64 FFMD : 1;  // 0: field mode, 1: frame mode
    u64 DPMS : 2;  // display power state
    u64 p0 : 60;
};
static_assert(sizeof(tGS_SMODE2) == 8);

struct tGS_DISPFB1
{
    u64 FBP : 9;   // base in 2,048-word pages
    u64 FBW : 6;   // width in 64-pixel units
    u64 PSM : 5;   // pixel format
    u64 p0 : 12;
    u64 DBX : 11;  // read-out origin in the buffer
    u64 DBY : 11;
    u64 p1 : 10;
};
static_assert(sizeof(tGS_DISPFB1) == 8);
typedef tGS_DISPFB1 tGS_DISPFB2;

struct tGS_DISPLAY1
{
    u64 DX : 12;   // position on screen in video clock units
    u64 DY : 11;   // position on screen in raster lines
    u64 MAGH : 4;  // horizontal magnification - 1
    u64 MAGV : 2;  // vertical magnification - 1
    u64 p0 : 3;
    u64 DW : 12;   // width - 1 in video clock units
    u64 DH : 11;   // height - 1 in raster lines
    u64 p1 : 9;
};
static_assert(sizeof(tGS_DISPLAY1) == 8);
typedef tGS_DISPLAY1 tGS_DISPLAY2;

struct tGS_BGCOLOR
{
    u64 R : 8;
    u64 G : 8;
    u64 B : 8;
    u64 p0 : 40;
};
static_assert(sizeof(tGS_BGCOLOR) == 8);

struct tGS_CSR
{
    u64 SIGNAL : 1;
    u64 FINISH : 1;
    u64 HSINT : 1;
    u64 VSINT : 1;
    u64 EDWINT : 1;
    u64 ZERO1 : 1;
    u64 ZERO2 : 1;
    u64 p0 : 1;
    u64 FLUSH : 1;
    u64 RESET : 1;
    u64 p1 : 2;
    u64 NFIELD : 1;
    u64 FIELD : 1;  // field being displayed in interlaced modes (0 even, 1 odd)
    u64 FIFO : 2;
    u64 REV : 8;
    u64 ID : 8;
    u64 p2 : 32;
};
static_assert(sizeof(tGS_CSR) == 8);

// ---------------------------------------------------------------------------
// DMA controller registers (32-bit).

// Channel control.  0x145 = from memory, source chain, tag transfer, start.
struct tD_CHCR
{
    u32 DIR : 1;  // 0 to memory, 1 from memory
    u32 p0 : 1;
    u32 MOD : 2;  // 0 normal, 1 chain, 2 interleave
    u32 ASP : 2;  // call stack depth of a source chain (0 to 2)
    u32 TTE : 1;  // tag transfer: a chain tag's upper 64 bits go to the peripheral
    u32 TIE : 1;  // a tag's IRQ bit ends the transfer after that tag
    u32 STR : 1;  // start; reads 1 while the transfer runs
    u32 p1 : 7;
    u32 TAG : 16;  // upper 16 bits of the last tag read
};
static_assert(sizeof(tD_CHCR) == 4);

struct tD_MADR
{
    u32 ADDR : 31;
    u32 SPR : 1;
};
static_assert(sizeof(tD_MADR) == 4);

struct tD_QWC
{
    u32 QWC : 16;
    u32 p0 : 16;
};
static_assert(sizeof(tD_QWC) == 4);

// Interrupt status (write 1 to clear) and mask (write 1 to flip) bits.
struct tD_STAT
{
    u32 CIS0 : 1;
    u32 CIS1 : 1;
    u32 CIS2 : 1;
    u32 CIS3 : 1;
    u32 CIS4 : 1;
    u32 CIS5 : 1;
    u32 CIS6 : 1;
    u32 CIS7 : 1;
    u32 CIS8 : 1;
    u32 CIS9 : 1;
    u32 p0 : 3;
    u32 SIS : 1;   // stall
    u32 MEIS : 1;  // MFIFO empty
    u32 BEIS : 1;  // bus error
    u32 CIM0 : 1;
    u32 CIM1 : 1;
    u32 CIM2 : 1;
    u32 CIM3 : 1;
    u32 CIM4 : 1;
    u32 CIM5 : 1;
    u32 CIM6 : 1;
    u32 CIM7 : 1;
    u32 CIM8 : 1;
    u32 CIM9 : 1;
    u32 p1 : 3;
    u32 SIM : 1;
    u32 MEIM : 1;
    u32 p2 : 1;
};
static_assert(sizeof(tD_STAT) == 4);

// ---------------------------------------------------------------------------
// Timer 0, VIF1, GIF and IPU registers whose fields are used.

struct tT_MODE
{
    u32 CLKS : 2;  // 0 bus clock, 1 bus/16, 2 bus/256, 3 horizontal blank
    u32 GATE : 1;
    u32 GATS : 1;
    u32 GATM : 2;
    u32 ZRET : 1;
    u32 CUE : 1;  // count enable
    u32 CMPE : 1;
    u32 OVFE : 1;
    u32 EQUF : 1;
    u32 OVFF : 1;
    u32 p0 : 20;
};
static_assert(sizeof(tT_MODE) == 4);

struct tVIF1_FBRST
{
    u32 RST : 1;  // reset VIF1 and its FIFO
    u32 FBK : 1;  // force break
    u32 STP : 1;  // stop
    u32 STC : 1;  // cancel a stall (interrupt bit, break, stop)
    u32 p0 : 28;
};
static_assert(sizeof(tVIF1_FBRST) == 4);

struct tGIF_CTRL
{
    u32 RST : 1;
    u32 p0 : 2;
    u32 PSE : 1;
    u32 p1 : 28;
};
static_assert(sizeof(tGIF_CTRL) == 4);

struct tIPU_CTRL
{
    u32 IFC : 4;   // input FIFO quadwords
    u32 OFC : 4;   // output FIFO quadwords
    u32 CBP : 6;   // coded block pattern
    u32 ECD : 1;   // error: code not found
    u32 SCD : 1;   // start code detected
    u32 IDP : 2;   // intra DC precision
    u32 p0 : 2;
    u32 AS : 1;    // alternate scan
    u32 IVF : 1;   // intra VLC format
    u32 QST : 1;   // quantiser step type
    u32 MP1 : 1;   // MPEG-1 bitstream
    u32 PCT : 3;   // picture type
    u32 p1 : 3;
    u32 RST : 1;   // reset
    u32 BUSY : 1;
};
static_assert(sizeof(tIPU_CTRL) == 4);

// ---------------------------------------------------------------------------
// Writes.

void DPUT_GS_PMODE(u64 value);
void DPUT_GS_SMODE2(u64 value);
void DPUT_GS_DISPFB1(u64 value);
void DPUT_GS_DISPFB2(u64 value);
void DPUT_GS_DISPLAY1(u64 value);
void DPUT_GS_DISPLAY2(u64 value);
void DPUT_GS_BGCOLOR(u64 value);

void DPUT_VIF1_FBRST(u32 value);
void DPUT_VIF1_ERR(u32 value);
void DPUT_VIF1_MARK(u32 value);

void DPUT_GIF_CTRL(u32 value);
void DPUT_GIF_MODE(u32 value);

// A CHCR write with STR set starts the channel's transfer.
void DPUT_D1_CHCR(u32 value);
void DPUT_D2_QWC(u32 value);
void DPUT_D2_TADR(u32 value);
void DPUT_D2_CHCR(u32 value);
void DPUT_D8_SADR(u32 value);
void DPUT_D8_MADR(u32 value);
void DPUT_D8_QWC(u32 value);
void DPUT_D8_CHCR(u32 value);

void DPUT_IPU_CMD(u32 value);
void DPUT_IPU_CTRL(u32 value);

void DPUT_T0_MODE(u32 value);
void DPUT_T0_COUNT(u32 value);

// ---------------------------------------------------------------------------
// Reads.

u64 DGET_GS_CSR();
u32 DGET_VIF1_MARK();
u32 DGET_VIF1_STAT();
u32 DGET_GIF_STAT();
u32 DGET_D1_CHCR();
u32 DGET_D3_CHCR();
u32 DGET_D8_CHCR();
u32 DGET_D_STAT();
// Data in bits 0 to 31, busy in bit 63.
u64 DGET_IPU_CMD();
u32 DGET_IPU_CTRL();
u32 DGET_T0_COUNT();
