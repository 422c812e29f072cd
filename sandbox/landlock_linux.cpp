#include "landlock_linux.hpp"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace vantrell::sandbox {
namespace {

// The kernel's interface (the headers of an older system may lack the
// newer parts).
struct RulesetAttributes {
    std::uint64_t handled_access_fs;
    std::uint64_t handled_access_net;
    std::uint64_t scoped;
};
struct __attribute__((packed)) PathBeneathAttributes {
    std::uint64_t allowed_access;
    std::int32_t parent_fd;
};
constexpr unsigned version_query = 1u << 0; // LANDLOCK_CREATE_RULESET_VERSION
constexpr int rule_path_beneath = 1;        // LANDLOCK_RULE_PATH_BENEATH

constexpr std::uint64_t write_file = 1ull << 1, read_file = 1ull << 2, read_dir = 1ull << 3;
// Every file-system right of an ABI: the first 13, then refer (2),
// truncate (3), ioctl on devices (5).
std::uint64_t file_system_rights(int abi) {
    std::uint64_t rights = (1ull << 13) - 1;
    if (abi >= 2)
        rights |= 1ull << 13;
    if (abi >= 3)
        rights |= 1ull << 14;
    if (abi >= 5)
        rights |= 1ull << 15;
    return rights;
}
constexpr std::uint64_t tcp_bind_and_connect = (1ull << 0) | (1ull << 1);
constexpr std::uint64_t scope_abstract_sockets_and_signals = (1ull << 0) | (1ull << 1);

// Where the loader finds the system's libraries: the usual folders, and
// those its configuration names.
const char *const library_folders[] = {"/lib",       "/lib64",     "/lib32",      "/libx32",       "/usr/lib",
                                       "/usr/lib64", "/usr/lib32", "/usr/libx32", "/usr/local/lib"};
const char *const readable_files[] = {
    "/etc/ld.so.cache", // the loader's index of them
    "/dev/urandom",     // a C++ runtime's random device, where it reads one
    "/dev/random",
    "/sys/devices/system/cpu/online", // the processors a thread pool is sized by
};

// The folders /etc/ld.so.conf names, following its includes (a few levels).
void configured_folders(const std::string &file, int depth, std::vector<std::string> &folders) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        const auto begin = line.find_first_not_of(" \t"), end = line.find_last_not_of(" \t\r");
        if (begin == std::string::npos)
            continue;
        line = line.substr(begin, end - begin + 1);
        if (line.rfind("include", 0) == 0 && line.size() > 7 && (line[7] == ' ' || line[7] == '\t')) {
            if (depth >= 4)
                continue;
            std::string pattern = line.substr(line.find_first_not_of(" \t", 7));
            if (pattern[0] != '/')
                pattern = file.substr(0, file.rfind('/') + 1) + pattern;
            glob_t found{};
            if (glob(pattern.c_str(), 0, nullptr, &found) == 0)
                for (std::size_t i = 0; i < found.gl_pathc; ++i)
                    configured_folders(found.gl_pathv[i], depth + 1, folders);
            globfree(&found);
        } else if (line[0] == '/') {
            folders.push_back(line);
        }
    }
}

// Lets the ruleset read `path` (a folder with what is beneath it, or a
// file), when it exists; `also` adds rights for a file.
bool allow_reading(int ruleset, const std::string &path, std::uint64_t also = 0) {
    const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR || errno == EACCES; // nothing there to read
    struct stat status {};
    bool added = fstat(fd, &status) == 0;
    if (added) {
        const PathBeneathAttributes rule{S_ISDIR(status.st_mode) ? read_file | read_dir : read_file | also, fd};
        added = syscall(__NR_landlock_add_rule, ruleset, rule_path_beneath, &rule, 0) == 0;
    }
    close(fd);
    return added;
}

} // namespace

int landlock_abi() {
    const long abi = syscall(__NR_landlock_create_ruleset, nullptr, 0, version_query);
    return abi < 0 ? -1 : static_cast<int>(abi);
}

std::string restrict_to_reading(const Readable &readable, int abi) {
    const RulesetAttributes attributes{file_system_rights(abi), tcp_bind_and_connect,
                                       scope_abstract_sockets_and_signals};
    const long ruleset_fd = syscall(__NR_landlock_create_ruleset, &attributes, sizeof attributes, 0);
    if (ruleset_fd < 0)
        return std::string("Landlock: the ruleset was refused (") + std::strerror(errno) + ")";
    const int ruleset = static_cast<int>(ruleset_fd);
    std::vector<std::string> folders(std::begin(library_folders), std::end(library_folders));
    configured_folders("/etc/ld.so.conf", 0, folders);
    std::string failed;
    auto allow = [&](const std::string &path, std::uint64_t also = 0) {
        if (failed.empty() && !allow_reading(ruleset, path, also))
            failed = "Landlock: " + path + " could not be made readable (" + std::strerror(errno) + ")";
    };
    for (const std::string &folder : folders)
        allow(folder);
    for (const char *file : readable_files)
        allow(file);
    allow("/dev/null", write_file); // a sink to write to
    allow(readable.module);
    for (const std::string &granted : readable.granted)
        allow(granted);
    if (failed.empty() && syscall(__NR_landlock_restrict_self, ruleset, 0) != 0)
        failed = std::string("Landlock: the process could not be restricted (") + std::strerror(errno) + ")";
    close(ruleset);
    return failed;
}

} // namespace vantrell::sandbox
