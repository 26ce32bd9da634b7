// korvalis-window: the game's window, sound and pads, in a program of the
// host's own architecture.  korvalis starts it with the socket and the picture
// memory as descriptors 3 and 4 (host/window/protocol.h) and it lives as long
// as that socket: it shows what the game sends, answers the game's questions
// about the pads, and tells the game about Escape, a closed window and F12.
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "host/sdl/sdl_frontend.h"
#include "host/window/channel.h"

namespace {

using console::host::PadInput;
using console::host::sdl::Window;
using namespace console::host::window;

int Refuse(const std::string& why)
{
    std::fprintf(stderr, "korvalis-window: %s\n", why.c_str());
    return 2;
}

PadState ToWire(const PadInput& pad)
{
    PadState state{};
    state.connected = pad.connected ? 1 : 0;
    state.buttons = pad.buttons;
    std::copy(std::begin(pad.sticks), std::end(pad.sticks), state.sticks);
    std::copy(std::begin(pad.pressure), std::end(pad.pressure), state.pressure);
    return state;
}

// Carries the game's messages to the window until the game says goodbye or
// its socket closes.  0 then; 1 when the game broke the protocol.
int Serve(Channel& game, const uint8_t* pictures, Window& window)
{
    bool quit_told = false;
    for (;;) {
        // Of the pictures that arrived together only the newest is shown; the
        // others are given back at once.
        std::optional<Picture> newest;
        auto give_back = [&](const Picture& picture) { return game.Send(Kind::kShown, Shown{picture.slot}); };
        Message message;
        Channel::Status status = game.Receive(&message, 10);
        bool bye = false;
        while (status == Channel::Status::kMessage && !bye) {
            switch (message.kind) {
            case Kind::kPicture: {
                const Picture picture = message.As<Picture>();
                if (picture.slot >= kPictureSlots || picture.width == 0 || picture.height == 0 ||
                    picture.width > kMaxPictureSide || picture.height > kMaxPictureSide) {
                    std::fprintf(stderr, "korvalis-window: the game sent a picture it cannot have (slot %u, %ux%u)\n",
                                 picture.slot, picture.width, picture.height);
                    return 1;
                }
                if (newest)
                    give_back(*newest);
                newest = picture;
                window.CountField();
                break;
            }
            case Kind::kSound:
                window.Write(reinterpret_cast<const int16_t*>(message.payload.data()), message.payload.size() / 4);
                break;
            case Kind::kPollPads: {
                PadInput pads[2];
                window.ReadPads(pads);
                const Pads answer{message.As<PollPads>().field, {ToWire(pads[0]), ToWire(pads[1])}};
                game.Send(Kind::kPads, answer);
                break;
            }
            case Kind::kRumble: {
                const Rumble rumble = message.As<Rumble>();
                window.Set(static_cast<int>(rumble.port), rumble.small_on != 0,
                           static_cast<uint8_t>(std::min<uint32_t>(rumble.large_level, 255)));
                break;
            }
            case Kind::kBye: bye = true; break;
            default:
                std::fprintf(stderr, "korvalis-window: the game sent a message of kind %u out of turn\n",
                             static_cast<uint32_t>(message.kind));
                return 1;
            }
            if (!bye)
                status = game.Receive(&message, 0);
        }
        if (newest) {
            window.Present(reinterpret_cast<const uint32_t*>(pictures + newest->slot * kSlotBytes), newest->width,
                           newest->height);
            give_back(*newest);
        }
        if (bye || status == Channel::Status::kClosed)
            return 0;
        if (status == Channel::Status::kBad) {
            std::fprintf(stderr, "korvalis-window: the game sent %s\n", game.Problem().c_str());
            return 1;
        }
        window.Pump();
        if (window.QuitAsked() && !quit_told)
            quit_told = game.Send(Kind::kQuit);
        for (uint32_t n = window.TakeScreenshotRequests(); n > 0; --n)
            game.Send(Kind::kScreenshot);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        std::printf("usage: %s\nThe window of korvalis: korvalis starts it when a display is there; it is not run "
                    "by hand.\n",
                    argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    struct stat socket_stat {};
    if (fstat(kSocketFd, &socket_stat) != 0 || !S_ISSOCK(socket_stat.st_mode))
        return Refuse("korvalis starts this program when it opens a window; run korvalis instead");
    Channel game(kSocketFd);
    if (!game.Send(Kind::kHello, Hello{kMagic, kProtocolVersion}))
        return Refuse("the game has gone: " + game.Problem());
    Message message;
    const Channel::Status status = game.Receive(&message, 30'000);
    if (status != Channel::Status::kMessage)
        return Refuse(status == Channel::Status::kNothing ? "the game did not answer"
                                                          : "the game did not set the window up: " + game.Problem());
    const Setup setup = message.As<Setup>();
    if (message.kind != Kind::kSetup || setup.magic != kMagic || setup.version != kProtocolVersion ||
        setup.slots != kPictureSlots || setup.max_side != kMaxPictureSide)
        return Refuse("refusing a peer that is not this build's korvalis (it does not set the window up as protocol "
                      "version " + std::to_string(kProtocolVersion) + " does)");
    struct stat memory_stat {};
    if (fstat(kPicturesFd, &memory_stat) != 0 || static_cast<uint64_t>(memory_stat.st_size) < kPicturesBytes)
        return Refuse("the game's picture memory is missing or too small");
    void* map = mmap(nullptr, kPicturesBytes, PROT_READ, MAP_SHARED, kPicturesFd, 0);
    if (map == MAP_FAILED)
        return Refuse(std::string("cannot map the game's picture memory: ") + std::strerror(errno));

    Window window;
    std::string error;
    if (!window.Open(setup.scale, setup.sound != 0, &error)) {
        game.Send(Kind::kFailed, error.data(), static_cast<uint32_t>(std::min<size_t>(error.size(), kMaxPayload)));
        return 1;
    }
    if (!game.Send(Kind::kReady, Ready{window.HasAudio() ? 1u : 0u}))
        return 0;
    const int served = Serve(game, static_cast<const uint8_t*>(map), window);
    window.Close();
    munmap(map, kPicturesBytes);
    return served;
}
