// The companion's channel on POSIX: one end of a socket pair. Writes never
// raise SIGPIPE (a companion gone is a broken channel, not a dead host).
#pragma once

#include "protocol.hpp"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrell::companion {

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
        auto *bytes = static_cast<char *>(data);
        while (size > 0) {
            const ssize_t got = recv(socket_, bytes, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            bytes += got;
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

    bool write(const void *data, std::size_t size) override {
        const auto *bytes = static_cast<const char *>(data);
        while (size > 0) {
            const ssize_t sent = send(socket_, bytes, size, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            bytes += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }

private:
    int socket_;
};

} // namespace vantrell::companion
