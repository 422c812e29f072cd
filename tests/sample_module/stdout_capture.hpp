// Captures what the process writes to its standard output (file descriptor
// 1, shared by every library in the process) while the capture lives.
#pragma once

#include <cstdio>
#include <string>

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything written since the capture began (or since the last take()).
    std::string take();

private:
    std::FILE *file_;
    int saved_fd_;
    long read_ = 0;
};
