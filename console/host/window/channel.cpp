#include "host/window/channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace console::host::window {

void Channel::Reset(int fd)
{
    fd_ = fd;
    in_.clear();
    problem_.clear();
}

bool Channel::Send(Kind kind, const void* payload, uint32_t bytes)
{
    if (bytes > kMaxPayload) {
        problem_ = "a message too large to send";
        return false;
    }
    const Header header{static_cast<uint32_t>(kind), bytes};
    std::vector<uint8_t> out(sizeof header + bytes);
    std::memcpy(out.data(), &header, sizeof header);
    if (bytes)
        std::memcpy(out.data() + sizeof header, payload, bytes);
    size_t sent = 0;
    while (sent < out.size()) {
        // MSG_NOSIGNAL: a peer that has gone is an answer, not a signal.
        const ssize_t n = send(fd_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) {
            problem_ = std::string("the other end has gone (") + std::strerror(errno) + ")";
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

Channel::Status Channel::Take(Message* message)
{
    if (in_.size() < sizeof(Header))
        return Status::kNothing;
    Header header;
    std::memcpy(&header, in_.data(), sizeof header);
    const Kind kind = static_cast<Kind>(header.kind);
    const int64_t expected = PayloadSize(kind);
    bool good = header.bytes <= kMaxPayload;
    if (kind == Kind::kSound)
        good = good && header.bytes % 4 == 0;
    else if (kind != Kind::kFailed)
        good = good && expected == static_cast<int64_t>(header.bytes);
    if (!good) {
        problem_ = "a message of kind " + std::to_string(header.kind) + " with " + std::to_string(header.bytes) +
                   " bytes, which this end does not know";
        return Status::kBad;
    }
    if (in_.size() < sizeof header + header.bytes)
        return Status::kNothing;
    message->kind = kind;
    message->payload.assign(in_.begin() + sizeof header, in_.begin() + static_cast<ptrdiff_t>(sizeof header + header.bytes));
    in_.erase(in_.begin(), in_.begin() + static_cast<ptrdiff_t>(sizeof header + header.bytes));
    return Status::kMessage;
}

Channel::Status Channel::Receive(Message* message, int wait_ms)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms < 0 ? 0 : wait_ms);
    for (;;) {
        const Status buffered = Take(message);
        if (buffered != Status::kNothing)
            return buffered;
        int timeout = -1;
        if (wait_ms >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timeout = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            problem_ = std::string("cannot wait for the other end: ") + std::strerror(errno);
            return Status::kClosed;
        }
        if (ready == 0)
            return Status::kNothing;
        uint8_t buffer[16 * 1024];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0) {
            problem_ = n == 0 ? "the other end closed the connection"
                              : std::string("the connection broke: ") + std::strerror(errno);
            if (n == 0 && !in_.empty())
                problem_ += " in the middle of a message";
            return Status::kClosed;
        }
        in_.insert(in_.end(), buffer, buffer + n);
    }
}

}  // namespace console::host::window
