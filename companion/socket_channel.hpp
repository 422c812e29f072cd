// The companion's channel on POSIX: one end of a socket pair. Writes never
// raise SIGPIPE (a companion gone is a broken channel, not a dead host).
#pragma once

#include "protocol.hpp"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vantrell::companion {

// What is written waits in a buffer until the next read, so that a call's
// request and its answer each cross as one message: one wake-up of the
// other side each way. Reads take what the socket holds at once.
class SocketChannel : public Channel {
public:
    explicit SocketChannel(int socket) : socket_(socket) {}
    SocketChannel(const SocketChannel &) = delete;
    SocketChannel &operator=(const SocketChannel &) = delete;
    ~SocketChannel() override {
        if (socket_ >= 0)
            close(socket_);
    }

    bool read(void *data, std::size_t size) override {
        if (!flush())
            return false;
        auto *bytes = static_cast<char *>(data);
        while (size > 0) {
            if (in_start_ == in_end_) {
                const ssize_t got = recv(socket_, in_, sizeof in_, 0);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return false;
                in_start_ = 0;
                in_end_ = static_cast<std::size_t>(got);
            }
            const std::size_t take = size < in_end_ - in_start_ ? size : in_end_ - in_start_;
            std::memcpy(bytes, in_ + in_start_, take);
            in_start_ += take;
            bytes += take;
            size -= take;
        }
        return true;
    }

    bool write(const void *data, std::size_t size) override {
        const auto *bytes = static_cast<const char *>(data);
        out_.insert(out_.end(), bytes, bytes + size);
        return out_.size() < (1u << 16) || flush();
    }

    bool flush() override {
        const char *bytes = out_.data();
        std::size_t size = out_.size();
        while (size > 0) {
            const ssize_t sent = send(socket_, bytes, size, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            bytes += sent;
            size -= static_cast<std::size_t>(sent);
        }
        out_.clear();
        return true;
    }

private:
    int socket_;
    char in_[4096];
    std::size_t in_start_ = 0, in_end_ = 0;
    std::vector<char> out_;
};

} // namespace vantrell::companion
