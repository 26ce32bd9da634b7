// One end of the socket between the game and its window program: whole
// messages out and in (protocol.h), with the peer's going away and its
// mistakes told apart.  Built into both programs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/window/protocol.h"

namespace console::host::window {

struct Message {
    Kind kind{};
    std::vector<uint8_t> payload;

    // The payload as a record of its own size (the channel has checked it).
    template <typename T>
    T As() const
    {
        T value{};
        if (payload.size() == sizeof(T))
            std::memcpy(&value, payload.data(), sizeof(T));
        return value;
    }
    std::string Text() const { return std::string(payload.begin(), payload.end()); }
};

class Channel {
public:
    enum class Status {
        kMessage,  // one message received
        kNothing,  // none came within the wait
        kClosed,   // the peer closed its end
        kBad,      // the peer broke the protocol (Problem() says how)
    };

    Channel() = default;
    explicit Channel(int fd) : fd_(fd) {}
    // Takes another descriptor (closing none); clears what was buffered.
    void Reset(int fd);
    int Fd() const { return fd_; }

    // Sends a whole message; false once the peer has gone.
    bool Send(Kind kind, const void* payload, uint32_t bytes);
    template <typename T>
    bool Send(Kind kind, const T& record)
    {
        return Send(kind, &record, sizeof record);
    }
    bool Send(Kind kind) { return Send(kind, nullptr, 0); }

    // The next message, waiting at most `wait_ms` for it (0: only what has
    // arrived, -1: as long as it takes).
    Status Receive(Message* message, int wait_ms);

    // Why the last Receive said kBad or kClosed, or a Send failed.
    const std::string& Problem() const { return problem_; }

private:
    // A whole message from what is buffered, if there is one.
    Status Take(Message* message);

    int fd_ = -1;
    std::vector<uint8_t> in_;
    std::string problem_;
};

}  // namespace console::host::window
