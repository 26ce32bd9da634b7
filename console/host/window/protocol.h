// What the game and its window program say to each other.  The game runs as a
// 32-bit process; the window, the sound device and the pads live in a program
// built for the host's own architecture (korvalis-window, beside korvalis),
// so a host needs no 32-bit copies of its display and sound libraries.
//
// The game starts the program with a stream socket as descriptor 3 and a
// memory file as descriptor 4.  Every message is a Header and `bytes` of
// payload, in the host's byte order (both ends run on the same machine).
// Pictures go through the memory file, in kPictureSlots slots the game fills
// in turn; a slot is the game's again once the program answers kShown.
//
//   program -> game   kHello, then kReady or kFailed (with the reason as text)
//   game -> program   kSetup after a good kHello
//   game -> program   kPicture, kSound, kPollPads, kRumble, kBye
//   program -> game   kShown per kPicture, kPads per kPollPads; kQuit (Escape
//                     or the window closed) and kScreenshot (F12) at any time
//
// Either end refuses a peer whose magic or version differs, and a message of
// an unknown kind or the wrong size; the program ends when the socket closes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace console::host::window {

constexpr uint32_t kMagic = 0x4E57564B;  // "KVWN" in memory
constexpr uint32_t kProtocolVersion = 1;

constexpr int kSocketFd = 3;    // in the window program
constexpr int kPicturesFd = 4;  // in the window program

constexpr uint32_t kPictureSlots = 2;
// The largest picture the GS can show, and so a slot's size.
constexpr uint32_t kMaxPictureSide = 2048;
constexpr uint64_t kSlotBytes = uint64_t{kMaxPictureSide} * kMaxPictureSide * 4;
constexpr uint64_t kPicturesBytes = kSlotBytes * kPictureSlots;

// No payload is larger; sound is sent in pieces that fit.
constexpr uint32_t kMaxPayload = 64 * 1024;
constexpr uint32_t kSoundFramesPerMessage = kMaxPayload / 4;

enum class Kind : uint32_t {
    // program -> game
    kHello = 1,
    kReady = 2,
    kFailed = 3,
    kShown = 4,
    kPads = 5,
    kQuit = 6,
    kScreenshot = 7,
    // game -> program
    kSetup = 101,
    kPicture = 102,
    kSound = 103,
    kPollPads = 104,
    kRumble = 105,
    kBye = 106,
};

struct Header {
    uint32_t kind;
    uint32_t bytes;  // of payload, at most kMaxPayload
};
static_assert(sizeof(Header) == 8);

struct Hello {
    uint32_t magic;
    uint32_t version;
};
static_assert(sizeof(Hello) == 8);

struct Setup {
    uint32_t magic;
    uint32_t version;
    uint32_t scale;     // window size 640 x 512 times this, 1 to 8
    uint32_t sound;     // 1: open a sound device
    uint32_t slots;     // kPictureSlots
    uint32_t max_side;  // kMaxPictureSide
};
static_assert(sizeof(Setup) == 24);

struct Ready {
    uint32_t sound;  // 1: a sound device is open, so kSound is worth sending
};
static_assert(sizeof(Ready) == 4);

// The picture in `slot`: width * height pixels, RGBA8 with red in the lowest
// byte, rows top to bottom.
struct Picture {
    uint32_t slot;
    uint32_t field;
    uint32_t width;
    uint32_t height;
};
static_assert(sizeof(Picture) == 16);

struct Shown {
    uint32_t slot;
};
static_assert(sizeof(Shown) == 4);

// kSound's payload is 48 kHz interleaved stereo 16-bit samples.

struct PollPads {
    uint32_t field;
};
static_assert(sizeof(PollPads) == 4);

// One pad's state, as host::PadInput says it.
struct PadState {
    uint8_t connected;
    uint8_t unused;
    uint16_t buttons;
    uint8_t sticks[4];
    uint8_t pressure[12];
};
static_assert(sizeof(PadState) == 20);

struct Pads {
    uint32_t field;  // as asked
    PadState pads[2];
};
static_assert(sizeof(Pads) == 44);

struct Rumble {
    uint32_t port;
    uint32_t small_on;
    uint32_t large_level;  // 0 to 255
};
static_assert(sizeof(Rumble) == 12);

// The payload size a message of `kind` must have; -1 for kinds whose payload
// varies (kFailed: text; kSound: whole stereo frames) and for unknown kinds.
constexpr int64_t PayloadSize(Kind kind)
{
    switch (kind) {
    case Kind::kHello: return sizeof(Hello);
    case Kind::kReady: return sizeof(Ready);
    case Kind::kShown: return sizeof(Shown);
    case Kind::kPads: return sizeof(Pads);
    case Kind::kQuit:
    case Kind::kScreenshot:
    case Kind::kBye: return 0;
    case Kind::kSetup: return sizeof(Setup);
    case Kind::kPicture: return sizeof(Picture);
    case Kind::kPollPads: return sizeof(PollPads);
    case Kind::kRumble: return sizeof(Rumble);
    case Kind::kFailed:
    case Kind::kSound: return -1;
    }
    return -1;
}

}  // namespace console::host::window
