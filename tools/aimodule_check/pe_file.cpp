#include "pe_file.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace aimodule_check {
namespace {

class Image {
public:
    explicit Image(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

    bool has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::uint32_t u16(std::uint64_t offset) const {
        return has(offset, 2) ? bytes_[offset] | bytes_[offset + 1] << 8 : 0;
    }
    std::uint32_t u32(std::uint64_t offset) const { return u16(offset) | u16(offset + 2) << 16; }
    // A NUL-terminated string inside the file, or nothing.
    std::optional<std::string> text(std::uint64_t offset) const {
        if (offset >= bytes_.size())
            return std::nullopt;
        auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
        auto end = std::find(begin, bytes_.end(), 0);
        if (end == bytes_.end())
            return std::nullopt;
        return std::string(begin, end);
    }
    bool contains(const std::string &needle) const {
        return std::search(bytes_.begin(), bytes_.end(), needle.begin(), needle.end()) != bytes_.end();
    }

private:
    std::vector<unsigned char> bytes_;
};

struct Section {
    std::uint32_t address, size, file_offset;
};

// The file offset of a relative virtual address, or nothing outside every
// section's data.
std::optional<std::uint64_t> offset_of(const std::vector<Section> &sections, std::uint32_t rva) {
    for (const Section &section : sections)
        if (rva >= section.address && rva - section.address < section.size)
            return std::uint64_t(section.file_offset) + (rva - section.address);
    return std::nullopt;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::optional<std::vector<unsigned char>> read_file(const std::string &path) {
    std::error_code error;
    const auto file_path = std::filesystem::u8path(path);
    if (!std::filesystem::is_regular_file(file_path, error))
        return std::nullopt;
    try {
        std::ifstream file(file_path, std::ios::binary);
        if (!file)
            return std::nullopt;
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
    } catch (const std::exception &) { // a read error, or no memory for the file
        return std::nullopt;
    }
}

} // namespace

std::optional<PeFacts> read_pe_facts(const std::string &path) {
    auto bytes = read_file(path);
    if (!bytes)
        return std::nullopt;
    Image image(std::move(*bytes));
    if (image.u16(0) != 0x5A4D) // "MZ"
        return std::nullopt;
    const std::uint64_t pe = image.u32(0x3C);
    if (!image.has(pe, 24) || image.u32(pe) != 0x00004550) // "PE\0\0"
        return std::nullopt;
    PeFacts facts;
    facts.machine = static_cast<std::uint16_t>(image.u16(pe + 4));
    const std::uint32_t section_count = image.u16(pe + 6);
    const std::uint64_t optional_header = pe + 24;
    const std::uint64_t section_table = optional_header + image.u16(pe + 20);

    std::vector<Section> sections;
    for (std::uint32_t i = 0; i < section_count && image.has(section_table + 40 * i, 40); ++i) {
        const std::uint64_t entry = section_table + 40 * i;
        sections.push_back(
            {image.u32(entry + 12), std::max(image.u32(entry + 8), image.u32(entry + 16)), image.u32(entry + 20)});
    }

    // The import directory: data directory 1, after 96 bytes of a PE32
    // optional header or 112 of a PE32+ one.
    const bool pe32_plus = image.u16(optional_header) == 0x20B;
    const std::uint64_t directories = optional_header + (pe32_plus ? 112 : 96);
    const std::uint32_t directory_count = image.u32(optional_header + (pe32_plus ? 108 : 92));
    if (directory_count > 1) {
        if (auto imports = offset_of(sections, image.u32(directories + 8))) {
            // Descriptors of 20 bytes, the name's address at 12; a zeroed one ends them.
            for (std::uint64_t entry = *imports; image.has(entry, 20) && image.u32(entry + 12); entry += 20) {
                auto name_offset = offset_of(sections, image.u32(entry + 12));
                auto name = name_offset ? image.text(*name_offset) : std::nullopt;
                if (!name)
                    break;
                facts.imported_dlls.push_back(*name);
            }
        }
    }
    // The default terminate handler of GCC's C++ runtime: linked into the
    // module whenever it can throw and carries that runtime itself.
    facts.carries_gcc_cxx_runtime = image.contains("terminate called after throwing");
    return facts;
}

std::vector<std::string> runtime_warnings(const PeFacts &facts) {
    std::vector<std::string> warnings;
    const bool imports_libgcc =
        std::any_of(facts.imported_dlls.begin(), facts.imported_dlls.end(),
                    [](const std::string &dll) { return lowercase(dll).rfind("libgcc_s_", 0) == 0; });
    // On x86 a GCC exception unwinds through the tables of the libgcc that
    // threw it: with a private copy, the bridge's guard is never reached.
    if (facts.machine == pe_machine_x86 && facts.carries_gcc_cxx_runtime && !imports_libgcc)
        warnings.push_back("this 32-bit module carries its own copy of GCC's exception runtime (linked with "
                           "-static-libgcc): a C++ exception that leaves endGame will end the host instead of "
                           "reaching the bridge's guard. Link with -shared-libgcc (add_ai_module does), so that "
                           "the module imports libgcc_s_dw2-1.dll and ships it beside itself.");
    return warnings;
}

} // namespace aimodule_check
