// A seccomp filter written as a list of instructions with forward jumps to
// named places, resolved once the program is complete.
#pragma once

#include <linux/filter.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vantrell::sandbox {

class BpfProgram {
public:
    using Place = int;
    static constexpr Place next = -1; // the following instruction

    // A new place, to jump to and mark().
    Place place() { return places_++; }
    void mark(Place place) { marks_.emplace_back(place, code_.size()); }

    void load(std::uint32_t offset) { code_.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
    void and_mask(std::uint32_t mask) { code_.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, mask)); }
    void give(std::uint32_t answer) { code_.push_back(BPF_STMT(BPF_RET | BPF_K, answer)); }

    // The accumulator compared with `value`: equal, at least, or sharing a
    // bit; on to `yes` or `no`.
    void if_equal(std::uint32_t value, Place yes, Place no = next) { jump(BPF_JEQ, value, yes, no); }
    void if_at_least(std::uint32_t value, Place yes, Place no = next) { jump(BPF_JGE, value, yes, no); }
    void if_any_bit(std::uint32_t bits, Place yes, Place no = next) { jump(BPF_JSET, bits, yes, no); }

    // The program with its jumps resolved; empty when a place was never
    // marked or a jump is too far for the instruction.
    std::vector<sock_filter> resolved() const {
        std::vector<sock_filter> code = code_;
        for (const Jump &jump : jumps_) {
            unsigned char offsets[2] = {0, 0};
            const Place targets[2] = {jump.yes, jump.no};
            for (int i = 0; i < 2; ++i) {
                if (targets[i] == next)
                    continue;
                const std::ptrdiff_t at = position(targets[i]);
                const std::ptrdiff_t distance = at - static_cast<std::ptrdiff_t>(jump.from) - 1;
                if (at < 0 || distance < 0 || distance > 255)
                    return {};
                offsets[i] = static_cast<unsigned char>(distance);
            }
            code[jump.from].jt = offsets[0];
            code[jump.from].jf = offsets[1];
        }
        return code;
    }

private:
    struct Jump {
        std::size_t from;
        Place yes, no;
    };
    void jump(std::uint16_t operation, std::uint32_t value, Place yes, Place no) {
        jumps_.push_back({code_.size(), yes, no});
        code_.push_back(BPF_JUMP(BPF_JMP | operation | BPF_K, value, 0, 0));
    }
    std::ptrdiff_t position(Place place) const {
        for (const auto &[marked, at] : marks_)
            if (marked == place)
                return static_cast<std::ptrdiff_t>(at);
        return -1;
    }

    std::vector<sock_filter> code_;
    std::vector<Jump> jumps_;
    std::vector<std::pair<Place, std::size_t>> marks_;
    Place places_ = 0;
};

} // namespace vantrell::sandbox
