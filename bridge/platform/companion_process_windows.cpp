#include "companion_process.hpp"

#include "pipe_channel.hpp"

#include <windows.h>

#include <string>
#include <vector>

namespace vantrell::platform {
namespace {

// The companion for 32-bit modules, beside the bridge's own DLL.
std::wstring companion_program(int bits) {
    if (bits != 32)
        return L"";
    HMODULE bridge = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&companion_program), &bridge))
        return L"";
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(bridge, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return L"";
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash)) + L"\\vantrell-companion-x86.exe";
}

class WindowsCompanion : public CompanionProcess {
public:
    WindowsCompanion(HANDLE process, HANDLE job, HANDLE in, HANDLE out)
        : process_(process), job_(job), channel_(in, out) {}
    ~WindowsCompanion() override {
        if (process_) {
            TerminateProcess(process_, 1);
            wait();
        }
        CloseHandle(job_);
    }
    bool read(void *data, std::size_t size) override { return channel_.read(data, size); }
    bool write(const void *data, std::size_t size) override { return channel_.write(data, size); }
    bool flush() override { return channel_.flush(); }
    void wait() override {
        if (!process_)
            return;
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        process_ = nullptr;
    }

private:
    HANDLE process_;
    HANDLE job_;
    companion::PipeChannel channel_;
};

// An inheritable duplicate of one of this process's handles, or null.
HANDLE inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!handle || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

} // namespace

std::unique_ptr<CompanionProcess> CompanionProcess::start(int bits, const std::uint16_t *path, std::size_t count) {
    const std::wstring program = companion_program(bits);
    if (program.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        return nullptr;
    // Two pipes; the companion's ends inheritable, the bridge's not.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE to_companion_read = nullptr, to_companion_write = nullptr, from_companion_read = nullptr,
           from_companion_write = nullptr;
    if (!CreatePipe(&to_companion_read, &to_companion_write, &inherit, 0))
        return nullptr;
    if (!CreatePipe(&from_companion_read, &from_companion_write, &inherit, 0)) {
        CloseHandle(to_companion_read);
        CloseHandle(to_companion_write);
        return nullptr;
    }
    SetHandleInformation(to_companion_write, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(from_companion_read, HANDLE_FLAG_INHERIT, 0);
    // Only the channel and the standard streams reach the companion.
    HANDLE std_in = inheritable(GetStdHandle(STD_INPUT_HANDLE)), std_out = inheritable(GetStdHandle(STD_OUTPUT_HANDLE)),
           std_err = inheritable(GetStdHandle(STD_ERROR_HANDLE));
    std::vector<HANDLE> handles{to_companion_read, from_companion_write};
    for (HANDLE h : {std_in, std_out, std_err})
        if (h)
            handles.push_back(h);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = std_in;
    startup.StartupInfo.hStdOutput = std_out;
    startup.StartupInfo.hStdError = std_err;
    if (InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                  handles.size() * sizeof(HANDLE), nullptr, nullptr))
        startup.lpAttributeList = list;
    std::wstring command = L"\"" + program + L"\" " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(to_companion_read)) + L" " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(from_companion_write));
    // A job that ends the companion when the host ends, however it ends.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                        &startup.StartupInfo, &process);
    if (startup.lpAttributeList)
        DeleteProcThreadAttributeList(list);
    for (HANDLE h : {std_in, std_out, std_err, to_companion_read, from_companion_write})
        if (h)
            CloseHandle(h);
    if (!started) {
        CloseHandle(to_companion_write);
        CloseHandle(from_companion_read);
        if (job)
            CloseHandle(job);
        return nullptr;
    }
    if (job)
        AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    std::unique_ptr<CompanionProcess> session =
        std::make_unique<WindowsCompanion>(process.hProcess, job, from_companion_read, to_companion_write);
    if (!companion::start_session(*session, path, count))
        return nullptr; // the destructor ends and reaps it
    return session;
}

} // namespace vantrell::platform
