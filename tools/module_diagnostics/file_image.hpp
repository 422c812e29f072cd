// A module file's bytes, read with every offset checked against its size:
// a value outside the file reads as zero, a string must end inside it. For
// the readers of module_file.cpp, which never trust what a file says.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrell::diagnostics {

class FileImage {
public:
    explicit FileImage(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

    bool has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::uint64_t u8(std::uint64_t offset) const { return has(offset, 1) ? bytes_[offset] : 0; }
    std::uint64_t u16(std::uint64_t offset) const { return u8(offset) | u8(offset + 1) << 8; }
    std::uint64_t u32(std::uint64_t offset) const { return u16(offset) | u16(offset + 2) << 16; }
    std::uint64_t u64(std::uint64_t offset) const { return u32(offset) | u32(offset + 4) << 32; }
    // A NUL-terminated string starting at `offset` and ending before
    // `limit` (and inside the file), or nothing.
    std::optional<std::string> text(std::uint64_t offset, std::uint64_t limit = UINT64_MAX) const {
        limit = std::min<std::uint64_t>(limit, bytes_.size());
        if (offset >= limit)
            return std::nullopt;
        auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
        auto end = std::find(begin, bytes_.begin() + static_cast<std::ptrdiff_t>(limit), 0);
        if (end == bytes_.begin() + static_cast<std::ptrdiff_t>(limit))
            return std::nullopt;
        return std::string(begin, end);
    }
    bool contains(const std::string &needle) const {
        return std::search(bytes_.begin(), bytes_.end(), needle.begin(), needle.end()) != bytes_.end();
    }

private:
    std::vector<unsigned char> bytes_;
};

} // namespace vantrell::diagnostics
