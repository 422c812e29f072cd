#include "stdout_capture.hpp"

#include <stdexcept>

#if defined(_WIN32)
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#else
#include <unistd.h>
#endif

StdoutCapture::StdoutCapture() : file_(std::tmpfile()) {
    if (!file_)
        throw std::runtime_error("no temporary file for the capture");
    std::fflush(stdout);
    saved_fd_ = dup(fileno(stdout));
    dup2(fileno(file_), fileno(stdout));
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    dup2(saved_fd_, fileno(stdout));
    close(saved_fd_);
    std::fclose(file_);
}

std::string StdoutCapture::take() {
    std::fflush(stdout);
    std::fseek(file_, read_, SEEK_SET);
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
        text.append(buffer, got);
    read_ += static_cast<long>(text.size());
    return text;
}
