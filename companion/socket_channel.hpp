// The companion's channel on POSIX: one end of a socket pair. Writes never
// raise SIGPIPE (a companion gone is a broken channel, not a dead host).
#pragma once

#include "protocol.hpp"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrell::companion {

class SocketChannel : public BufferedChannel {
public:
    explicit SocketChannel(int socket) : socket_(socket) {}
    SocketChannel(const SocketChannel &) = delete;
    SocketChannel &operator=(const SocketChannel &) = delete;
    ~SocketChannel() override {
        if (socket_ >= 0)
            close(socket_);
    }

protected:
    std::size_t receive_some(char *data, std::size_t size) override {
        for (;;) {
            const ssize_t got = recv(socket_, data, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            return got > 0 ? static_cast<std::size_t>(got) : 0;
        }
    }
    std::size_t send_some(const char *data, std::size_t size) override {
        for (;;) {
            const ssize_t sent = send(socket_, data, size, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            return sent > 0 ? static_cast<std::size_t>(sent) : 0;
        }
    }

private:
    int socket_;
};

} // namespace vantrell::companion
