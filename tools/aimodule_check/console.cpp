#include "console.hpp"

#include <cstdio>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#else
#include <unistd.h>
#endif

namespace vantrell::check {

bool standard_error_to_file(const std::string &path) {
    std::fflush(stderr);
#if defined(_WIN32)
    const int file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
#endif
    if (file < 0)
        return false;
    const bool moved = dup2(file, 2) != -1;
    close(file);
#if defined(_WIN32)
    // For code that writes to the handle rather than through this C runtime.
    if (moved)
        SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(2)));
#endif
    return moved;
}

ModuleOutputToStderr::ModuleOutputToStderr(bool active) {
    if (!active)
        return;
    std::fflush(stdout);
    saved_stdout_ = dup(1);
    dup2(2, 1);
}

void ModuleOutputToStderr::restore() {
    if (saved_stdout_ < 0)
        return;
    std::fflush(stdout);
    dup2(saved_stdout_, 1);
    close(saved_stdout_);
    saved_stdout_ = -1;
}

} // namespace vantrell::check
