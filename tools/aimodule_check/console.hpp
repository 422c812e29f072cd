// Standard output sent to standard error while a module runs, so that its
// own prints cannot mix with a machine-readable report; and standard error
// sent to a file, for a child process whose parent reads it.
#pragma once

#include <string>

namespace vantrell::check {

// Sends this process's standard error, its C runtime's and (Windows) its
// standard handle's, to the file at `path`, made anew; false when it cannot.
bool standard_error_to_file(const std::string &path);

class ModuleOutputToStderr {
public:
    explicit ModuleOutputToStderr(bool active);
    ~ModuleOutputToStderr() { restore(); }
    void restore();
    ModuleOutputToStderr(const ModuleOutputToStderr &) = delete;
    ModuleOutputToStderr &operator=(const ModuleOutputToStderr &) = delete;

private:
    int saved_stdout_ = -1;
};

} // namespace vantrell::check
