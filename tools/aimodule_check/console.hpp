// Standard output sent to standard error while a module runs, so that its
// own prints cannot mix with a machine-readable report.
#pragma once

namespace vantrell::check {

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
