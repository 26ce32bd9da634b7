// The game's end of its window: starts the window program (protocol.h),
// shakes hands with it, and carries each field's picture, the sound, the
// pads and the motors.  Every call after the program has gone returns false
// and Gone() says what became of it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "host/host.h"
#include "host/window/channel.h"

namespace console::host::window {

class WindowLink {
public:
    struct Settings {
        std::string program;      // the window program to start
        uint32_t scale = 1;       // 1 to 8
        bool sound = true;        // ask for a sound device
        int answer_ms = 10'000;   // the longest wait for the program's hello and readiness
    };

    WindowLink() = default;
    ~WindowLink();
    WindowLink(const WindowLink&) = delete;
    WindowLink& operator=(const WindowLink&) = delete;

    // Makes the picture memory and the socket, starts the program with them
    // and waits until its window is open.  False with a message otherwise
    // (the program is then ended).
    bool Start(const Settings& settings, std::string* error);
    // The same over a socket whose other end is already running, and whose
    // pictures are read from Pictures() (the program is not started).
    bool Attach(int socket, const Settings& settings, std::string* error);

    // Hands over a picture; waits for a free slot when the window is behind.
    // Pictures larger than the protocol allows are not shown.
    bool Show(const RgbaImage& image, uint32_t field);
    // Plays sound (48 kHz stereo) when the window has a sound device.
    bool Play(const int16_t* stereo, size_t frames);
    // The pads as the window's keys and controllers hold them now.
    bool ReadPads(uint32_t field, PadInput pads[2]);
    bool SetRumble(int port, bool small_on, uint8_t large_level);
    // Takes in what the window said without waiting.
    bool Drain();

    bool HasSound() const { return sound_; }
    // Escape was pressed or the window closed.
    bool QuitAsked() const { return quit_; }
    // F12 was pressed since the last call.
    bool TakeScreenshotRequest();
    // Empty while the window is there; else why it is not.
    const std::string& Gone() const { return gone_; }
    pid_t Pid() const { return pid_; }
    // The shared picture memory (kPicturesBytes), null before Start/Attach.
    uint8_t* Pictures() const { return pictures_; }
    // After Close: how the program ended ("exit status 0"), empty for an
    // attached peer.
    const std::string& Ending() const { return ending_; }

    // Says goodbye, waits briefly for the program to end (ending it if it
    // does not) and frees everything.  Safe to call twice.
    void Close();

private:
    bool MakePictures(std::string* error);
    bool Handshake(const Settings& settings, std::string* error);
    // Handles one message from the window; false when it breaks the protocol.
    bool Handle(const Message& message);
    // Receives and handles messages until `done` holds or the window goes.
    template <typename Done>
    bool WaitFor(Done done);
    bool Lost(const std::string& why);
    bool SendOrLose(Kind kind, const void* payload, uint32_t bytes);
    // Waits up to `wait_ms` for the program to end; its ending, or empty.
    std::string Reap(int wait_ms);

    Channel channel_;
    int socket_ = -1;
    int memory_ = -1;
    uint8_t* pictures_ = nullptr;
    pid_t pid_ = -1;
    bool sound_ = false;
    bool busy_[kPictureSlots] = {};
    uint32_t next_slot_ = 0;
    bool pads_pending_ = false;
    uint32_t pads_field_ = 0;
    Pads pads_{};
    bool quit_ = false;
    uint32_t screenshots_ = 0;
    bool warned_size_ = false;
    std::string gone_;
    std::string ending_;
};

// "exit status 3", "killed by signal 9": how a child that ended did.
std::string DescribeEnding(int wait_status);

}  // namespace console::host::window
