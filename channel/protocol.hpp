// What the bridge and its companion say to each other. The companion is a
// process of its own that loads modules for the bridge (one of the other x86
// width, or any module when the host asks for isolation) and calls them, one
// call at a time. They share one mapping (SharedArea): a request area the
// bridge writes and a reply area the companion writes, each with the words
// that say a message is ready (endpoint.hpp). Both ends are x86, so numbers
// travel in their native little-endian form.
//
// Every request carries a sequence number, one more than the last; its reply
// carries the same number, the request's kind and function index, a status,
// and a payload of a length the kind allows. A reply that does not match is
// not believed: the bridge gives up on that companion. Requests:
//   hello   (payload: nothing)            reply: ok, the companion's version
//   load    (payload: UTF-16 path units; to a sandboxed companion, then each
//            path it grants for reading, each after a unit 0)
//                                         reply: ok and a module number, or failed
//   probe   (module, index)               reply: ok when the module exports the function, or missing
//   call    (module, index, arguments)    reply: ok with the result and the move
//                                         written back, missing, or too_long (a
//                                         text answer over max_text)
//   unload  (module)                      reply: ok
// Arguments and results: int32 and flag 4 bytes; text a 4-byte length and
// the bytes, or the length null_text; move its 5 bytes. The bridge probes
// before a call whose arguments it must take from the host's VM (a text, the
// host's move), so that the VM is asked for nothing on a default path; when
// it then cannot hand the arguments out, the bridge sends no call.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vantrell::channel {

constexpr std::uint32_t protocol_magic = 0x50435456; // "VTCP"
constexpr std::uint32_t protocol_version = 5;

// The longest text that crosses, either way: far above any real text, and
// a bound on what a module can make the host allocate.
constexpr std::uint32_t max_text = 1u << 20;
constexpr std::uint32_t null_text = 0xFFFFFFFFu;
// A path, in UTF-16 units (the longest Windows path).
constexpr std::uint32_t max_path_units = 32767;
// Room for the longest payload: a text with the other arguments of its call,
// or a path.
constexpr std::uint32_t payload_capacity = max_text + 64;
static_assert(payload_capacity >= max_path_units * 2);

enum class Kind : std::uint8_t { hello = 1, load, probe, call, unload };
enum class Status : std::uint8_t { ok = 1, failed, missing, too_long };

struct Header {
    std::uint32_t sequence;
    Kind kind;
    std::uint8_t index; // the function's place in the contract's list (call, probe)
    Status status;      // replies only
    std::uint8_t reserved;
    std::uint32_t module; // the companion's number of a loaded module
    std::uint32_t length; // of the payload
};

// One direction's message. Its sequence number is set by the writer once
// the message is complete; it shares its cache line with the header and the
// start of the payload, so that a short message crosses as one line.
struct alignas(64) Message {
    std::atomic<std::uint32_t> sequence;
    Header header;
    unsigned char payload[payload_capacity];
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// Set by a direction's reader before it sleeps, so that the writer wakes it
// only then; on a cache line of its own.
struct alignas(64) Sleeper {
    std::atomic<std::uint32_t> sleeping;
};

struct SharedArea {
    std::uint32_t magic;
    std::uint32_t version;
    // Non-zero when the companion is to confine itself before it loads its
    // module (sandbox/confine.hpp), and to load no other.
    std::uint32_t sandboxed;
    // Windows: the handles the bridge gave the companion (its values of the
    // two events, of the host's process and of the event the host sets when
    // it leaves), written before it starts.
    std::uint64_t companion_handles[4];
    Sleeper request_sleeper;
    Message request;
    Sleeper reply_sleeper;
    Message reply;
};

// Writes a payload into a message's room, never past it.
class PayloadWriter {
public:
    explicit PayloadWriter(Message &message) : message_(message) {}
    bool write(const void *data, std::size_t size) {
        if (size > payload_capacity - used_)
            return (ok_ = false);
        std::memcpy(message_.payload + used_, data, size);
        used_ += static_cast<std::uint32_t>(size);
        return true;
    }
    template <class T> bool put(const T &value) { return write(&value, sizeof value); }
    // False (and nothing written) for a text over max_text.
    bool put_text(const char *text) {
        if (!text)
            return put(null_text);
        const std::size_t length = std::strlen(text);
        if (length > max_text)
            return (ok_ = false);
        return put(static_cast<std::uint32_t>(length)) && write(text, length);
    }
    std::uint32_t length() const { return used_; }
    bool ok() const { return ok_; }

private:
    Message &message_;
    std::uint32_t used_ = 0;
    bool ok_ = true;
};

// Reads a payload that was copied out of the shared area (the other side
// can change the area at any moment), never past its length.
class PayloadReader {
public:
    PayloadReader(const unsigned char *data, std::uint32_t length) : data_(data), length_(length) {}
    bool read(void *data, std::size_t size) {
        if (size > length_ - used_)
            return false;
        std::memcpy(data, data_ + used_, size);
        used_ += static_cast<std::uint32_t>(size);
        return true;
    }
    template <class T> bool get(T &value) { return read(&value, sizeof value); }
    bool get_text(std::string &text, bool &is_null) {
        std::uint32_t length = 0;
        if (!get(length))
            return false;
        is_null = length == null_text;
        if (is_null) {
            text.clear();
            return true;
        }
        if (length > max_text || length > length_ - used_)
            return false;
        text.assign(reinterpret_cast<const char *>(data_ + used_), length);
        used_ += length;
        return true;
    }
    // Whether every byte was read: a payload longer than its kind allows is
    // as wrong as a short one.
    bool done() const { return used_ == length_; }

private:
    const unsigned char *data_;
    std::uint32_t length_;
    std::uint32_t used_ = 0;
};

} // namespace vantrell::channel
