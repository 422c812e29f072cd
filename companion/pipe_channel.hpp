// The companion's channel on Windows: a pair of anonymous pipes, one each
// way. As on POSIX, what is written waits until the next read, so that a
// call's request and its answer each cross as one message.
#pragma once

#include "protocol.hpp"

#include <windows.h>

#include <cstring>
#include <vector>

namespace vantrell::companion {

class PipeChannel : public Channel {
public:
    PipeChannel(HANDLE in, HANDLE out) : in_(in), out_(out) {}
    PipeChannel(const PipeChannel &) = delete;
    PipeChannel &operator=(const PipeChannel &) = delete;
    ~PipeChannel() override {
        CloseHandle(in_);
        CloseHandle(out_);
    }

    bool read(void *data, std::size_t size) override {
        if (!flush())
            return false;
        auto *bytes = static_cast<char *>(data);
        while (size > 0) {
            if (start_ == end_) {
                DWORD got = 0;
                if (!ReadFile(in_, buffer_, sizeof buffer_, &got, nullptr) || got == 0)
                    return false;
                start_ = 0;
                end_ = got;
            }
            const std::size_t take = size < end_ - start_ ? size : end_ - start_;
            std::memcpy(bytes, buffer_ + start_, take);
            start_ += take;
            bytes += take;
            size -= take;
        }
        return true;
    }

    bool write(const void *data, std::size_t size) override {
        const auto *bytes = static_cast<const char *>(data);
        pending_.insert(pending_.end(), bytes, bytes + size);
        return pending_.size() < (1u << 16) || flush();
    }

    bool flush() override {
        std::size_t done = 0;
        while (done < pending_.size()) {
            DWORD wrote = 0;
            if (!WriteFile(out_, pending_.data() + done, static_cast<DWORD>(pending_.size() - done), &wrote, nullptr) ||
                wrote == 0)
                return false;
            done += wrote;
        }
        pending_.clear();
        return true;
    }

private:
    HANDLE in_, out_;
    char buffer_[4096];
    std::size_t start_ = 0, end_ = 0;
    std::vector<char> pending_;
};

} // namespace vantrell::companion
