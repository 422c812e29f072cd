// The channel between the bridge and its companion: a small program of the
// other x86 width that loads a module the bridge's process cannot (a 32-bit
// module in a 64-bit host) and calls it for the bridge, one call at a time.
// Both ends are x86, so numbers travel in their native little-endian form.
//
// Start: the bridge sends the magic number, the protocol version and the
// module's path (a count of UTF-16 units, then the units); the companion
// answers with the magic number, its version and one byte, 1 when it has
// loaded the module. A version other than its own, it answers 0 and ends.
//
// A call: the function's index in the contract's list (fn::Index). For a
// function with a text or a host move to read (which the bridge takes from
// the VM only for a function the module has), the companion first answers
// whether the module exports it; when it does, the bridge sends a byte, 1
// to go on with the arguments or 0 when it has none to give. For any other
// function the arguments follow the index at once. Then the companion
// answers whether the module exports the function and, when it does and
// called it, the result and the move the module may have written.
//   int32 and flag: 4 bytes; text: a 4-byte length, then the bytes, or the
//   length 0xFFFFFFFF for null; move: its 5 bytes (the bridge's move
//   buffer, or the host's move), sent back after the call.
// The end: the request `unload`; the companion unloads the module, answers
// one byte and ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vantrell::companion {

constexpr std::uint32_t protocol_magic = 0x50435456; // "VTCP"
constexpr std::uint32_t protocol_version = 1;
constexpr std::uint8_t request_unload = 0xFF;
constexpr std::uint32_t null_text = 0xFFFFFFFFu;

// A byte stream both ends read and write whole; false once it is broken.
class Channel {
public:
    virtual ~Channel() = default;
    // A read sends what was written before it first.
    virtual bool read(void *data, std::size_t size) = 0;
    virtual bool write(const void *data, std::size_t size) = 0;
    // Sends what was written; a read does so by itself.
    virtual bool flush() { return true; }

    template <class T> bool put(const T &value) { return write(&value, sizeof value); }
    template <class T> bool get(T &value) { return read(&value, sizeof value); }

    bool put_text(const char *text) {
        if (!text)
            return put(null_text);
        const auto length = static_cast<std::uint32_t>(std::strlen(text));
        return put(length) && write(text, length);
    }
    // A text as the companion keeps it for a call: `is_null` for null.
    bool get_text(std::string &text, bool &is_null) {
        std::uint32_t length = 0;
        if (!get(length))
            return false;
        is_null = length == null_text;
        text.assign(is_null ? 0 : length, '\0');
        return is_null || length == 0 || read(&text[0], length);
    }
};

// A channel over a byte stream of the platform's (a socket, two pipes):
// what is written waits in a buffer until the next read, so that a call's
// request and its answer each cross as one message, one wake-up of the
// other side each way; reads take what the stream holds at once.
class BufferedChannel : public Channel {
public:
    bool read(void *data, std::size_t size) override {
        if (!flush())
            return false;
        auto *bytes = static_cast<char *>(data);
        while (size > 0) {
            if (start_ == end_) {
                const std::size_t got = receive_some(buffer_, sizeof buffer_);
                if (got == 0)
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
        pending_.append(bytes, size);
        return pending_.size() < (1u << 16) || flush();
    }

    bool flush() override {
        for (std::size_t done = 0; done < pending_.size();) {
            const std::size_t sent = send_some(pending_.data() + done, pending_.size() - done);
            if (sent == 0)
                return false;
            done += sent;
        }
        pending_.clear();
        return true;
    }

protected:
    // What the stream holds, up to `size` bytes, waiting for some; 0 when
    // it is broken or closed.
    virtual std::size_t receive_some(char *data, std::size_t size) = 0;
    // Some of the bytes sent; 0 when the stream is broken.
    virtual std::size_t send_some(const char *data, std::size_t size) = 0;

private:
    char buffer_[4096];
    std::size_t start_ = 0, end_ = 0;
    std::string pending_;
};

// The bridge's side of the start: the module's path out, the companion's
// word back. True when the companion speaks this version and loaded it.
inline bool start_session(Channel &c, const std::uint16_t *path, std::size_t count) {
    std::uint32_t magic = 0, version = 0;
    std::uint8_t loaded = 0;
    return c.put(protocol_magic) && c.put(protocol_version) && c.put(static_cast<std::uint32_t>(count)) &&
           c.write(path, count * sizeof(std::uint16_t)) && c.get(magic) && c.get(version) && c.get(loaded) &&
           magic == protocol_magic && version == protocol_version && loaded == 1;
}

} // namespace vantrell::companion
