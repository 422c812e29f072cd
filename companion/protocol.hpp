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

} // namespace vantrell::companion
