// The companion's channel on Windows: a pair of anonymous pipes, one each
// way.
#pragma once

#include "protocol.hpp"

#include <windows.h>

namespace vantrell::companion {

class PipeChannel : public BufferedChannel {
public:
    PipeChannel(HANDLE in, HANDLE out) : in_(in), out_(out) {}
    PipeChannel(const PipeChannel &) = delete;
    PipeChannel &operator=(const PipeChannel &) = delete;
    ~PipeChannel() override {
        CloseHandle(in_);
        CloseHandle(out_);
    }

protected:
    std::size_t receive_some(char *data, std::size_t size) override {
        DWORD got = 0;
        return ReadFile(in_, data, static_cast<DWORD>(size), &got, nullptr) ? got : 0;
    }
    std::size_t send_some(const char *data, std::size_t size) override {
        DWORD sent = 0;
        return WriteFile(out_, data, static_cast<DWORD>(size), &sent, nullptr) ? sent : 0;
    }

private:
    HANDLE in_, out_;
};

} // namespace vantrell::companion
