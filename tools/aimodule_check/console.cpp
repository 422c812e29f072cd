#include "console.hpp"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#else
#include <unistd.h>
#endif

namespace vantrell::check {

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
