#include "child_process.hpp"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vantrell::check {
namespace {

std::wstring wide(const std::string &utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], size);
    return text;
}

// One argument as the C runtime's parser reads it back: quoted, with the
// backslashes before a quote doubled.
std::wstring quoted(const std::wstring &argument) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

class WindowsChild : public ChildProcess {
public:
    explicit WindowsChild(HANDLE process) : process_(process) {}
    ~WindowsChild() override {
        if (!ended_) {
            kill();
            wait_for(-1);
        }
        CloseHandle(process_);
    }

    bool wait_for(int milliseconds) override {
        if (!ended_ && WaitForSingleObject(process_, milliseconds < 0 ? INFINITE : milliseconds) == WAIT_OBJECT_0) {
            ended_ = true;
            GetExitCodeProcess(process_, &code_);
        }
        return ended_;
    }

    void kill() override {
        if (!ended_)
            TerminateProcess(process_, 1);
    }

    std::string how_it_ended() const override {
        if (code_ == 0)
            return "";
        if (code_ < 0xC0000000u)
            return "exit status " + std::to_string(code_);
        char text[64];
        std::snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(code_));
        std::string how = text;
        if (code_ == EXCEPTION_ACCESS_VIOLATION)
            how += " (access violation)";
        else if (code_ == EXCEPTION_STACK_OVERFLOW)
            how += " (stack overflow)";
        else if (code_ == EXCEPTION_INT_DIVIDE_BY_ZERO)
            how += " (integer division by zero)";
        return how;
    }

private:
    HANDLE process_;
    DWORD code_ = 0;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string> &arguments) {
    wchar_t self[32768];
    const DWORD length = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
    if (length == 0 || length >= sizeof self / sizeof self[0])
        return nullptr;
    std::wstring command_line = quoted(self);
    for (const std::string &argument : arguments)
        command_line += L" " + quoted(wide(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return std::make_unique<WindowsChild>(process.hProcess);
}

// A handle of this process that only waits for its end, inherited by every
// child (they are started inheriting handles), made once.
std::string this_process_as_parent() {
    static const HANDLE self = [] {
        HANDLE handle = nullptr;
        return DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &handle, SYNCHRONIZE,
                               TRUE, 0)
                   ? handle
                   : nullptr;
    }();
    return self ? std::to_string(reinterpret_cast<std::uintptr_t>(self)) : std::string();
}

namespace {

// Waits for the parent's end, then ends this process: Windows ends no
// process with its parent.
DWORD WINAPI watch_parent(void *parent) {
    WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    TerminateProcess(GetCurrentProcess(), 1);
    return 0;
}

} // namespace

bool end_with_parent(const std::string &parent) {
    char *end = nullptr;
    const unsigned long long value = std::strtoull(parent.c_str(), &end, 10);
    const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
    if (parent.empty() || *end != '\0' || value == 0 || WaitForSingleObject(handle, 0) != WAIT_TIMEOUT)
        return false;
    const HANDLE watcher = CreateThread(nullptr, 0, watch_parent, handle, 0, nullptr);
    if (!watcher)
        return false;
    CloseHandle(watcher);
    return true;
}

} // namespace vantrell::check
