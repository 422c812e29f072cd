#include "companion_process.hpp"

#include <windows.h>
// After windows.h.
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vantrell::platform {
namespace {

// The companion for `bits`-bit modules, beside the bridge's own DLL.
std::wstring companion_program(int bits) {
    HMODULE bridge = nullptr;
    if ((bits != 32 && bits != 64) ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&companion_program), &bridge))
        return L"";
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(bridge, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return L"";
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return L"";
    return path.substr(0, slash) + (bits == 32 ? L"\\vantrell-companion-x86.exe" : L"\\vantrell-companion-x64.exe");
}

// A name no other process can guess, for the mapping the companion opens:
// the only thing it is handed by name.
std::wstring unguessable_mapping_name() {
    unsigned char random[16];
    if (BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        return L"";
    std::wstring name = L"Local\\vantrell-companion-";
    for (unsigned char byte : random) {
        wchar_t hex[3];
        std::swprintf(hex, 3, L"%02x", byte);
        name += hex;
    }
    return name;
}

// Closes what it holds when it goes out of scope, unless released.
struct Handle {
    HANDLE handle = nullptr;
    Handle() = default;
    explicit Handle(HANDLE h) : handle(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() {
        if (handle)
            CloseHandle(handle);
    }
    HANDLE release() { return std::exchange(handle, nullptr); }
};

class WindowsCompanion : public CompanionProcess {
public:
    // `job`: the job object that holds the companion and all it starts,
    // ended with it (or null: then the process alone is ended).
    WindowsCompanion(HANDLE process, HANDLE job, HANDLE mapping, channel::SharedArea *area, HANDLE reply_event,
                     HANDLE request_event, HANDLE process_to_watch, HANDLE leaving)
        : process_(process), job_(job), mapping_(mapping), area_(area),
          link_(reply_event, request_event, process_to_watch, leaving) {}
    ~WindowsCompanion() override {
        end();
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        if (job_)
            CloseHandle(job_);
        UnmapViewOfFile(area_);
        CloseHandle(mapping_);
    }
    channel::SharedArea &area() override { return *area_; }
    channel::PeerLink &link() override { return link_; }

    void end() noexcept override {
        if (!job_ || !TerminateJobObject(job_, 1))
            TerminateProcess(process_, 1);
    }

    bool wait_for_end(std::chrono::milliseconds limit) noexcept override {
        return WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
    }

private:
    HANDLE process_;
    HANDLE job_;
    HANDLE mapping_;
    channel::SharedArea *area_;
    channel::PeerLink link_;
};

// A job for the companion: whatever it starts is in it, and all of it ends
// with the job, at the latest when this process ends (its last handle
// closes). Null where jobs cannot be made.
HANDLE job_that_ends_with_the_host() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// An inheritable duplicate of one of this process's standard handles, or
// null. (A process that another thread of the host starts at this moment
// may inherit it too: it is the host's own standard stream.)
HANDLE inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!handle || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

// Nothing to read, as an inheritable handle.
HANDLE empty_input() {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
}

// Starts `program` suspended with this process's standard streams (its
// standard input empty when `no_input`) and nothing else inherited; its
// process and thread, or false.
bool start_suspended(const std::wstring &program, std::wstring command, bool no_input, PROCESS_INFORMATION &process) {
    Handle std_in(no_input ? empty_input() : inheritable(GetStdHandle(STD_INPUT_HANDLE))),
        std_out(inheritable(GetStdHandle(STD_OUTPUT_HANDLE))), std_err(inheritable(GetStdHandle(STD_ERROR_HANDLE)));
    std::vector<HANDLE> handles;
    for (HANDLE h : {std_in.handle, std_out.handle, std_err.handle})
        if (h)
            handles.push_back(h);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = std_in.handle;
    startup.StartupInfo.hStdOutput = std_out.handle;
    startup.StartupInfo.hStdError = std_err.handle;
    if (!handles.empty() && InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                  handles.size() * sizeof(HANDLE), nullptr, nullptr))
        startup.lpAttributeList = list;
    const BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, !handles.empty(),
                                        CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                        &startup.StartupInfo, &process);
    if (startup.lpAttributeList)
        DeleteProcThreadAttributeList(list);
    return started != FALSE;
}

// `handle`, duplicated into `process`: its value there, or 0.
std::uint64_t give(HANDLE process, HANDLE handle, DWORD access, DWORD options) {
    HANDLE theirs = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, process, &theirs, access, FALSE, options))
        return 0;
    return reinterpret_cast<std::uintptr_t>(theirs);
}

} // namespace

std::unique_ptr<CompanionProcess> CompanionProcess::start(int bits, bool sandboxed) {
    const std::wstring program = companion_program(bits);
    const std::wstring name = unguessable_mapping_name();
    if (program.empty() || name.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        return nullptr;
    // Nothing here is inheritable: the companion gets its handles by
    // duplication into it while it is suspended, and the mapping by name.
    Handle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(channel::SharedArea),
                                      name.c_str()));
    const bool mapping_is_new = mapping.handle && GetLastError() != ERROR_ALREADY_EXISTS;
    Handle request_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        reply_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)), leaving(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!mapping_is_new || !request_event.handle || !reply_event.handle || !leaving.handle)
        return nullptr;
    auto *area = static_cast<channel::SharedArea *>(
        MapViewOfFile(mapping.handle, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(channel::SharedArea)));
    if (!area)
        return nullptr;
    area->magic = channel::protocol_magic;
    area->version = channel::protocol_version;
    area->sandboxed = sandboxed ? 1 : 0;

    PROCESS_INFORMATION process{};
    if (!start_suspended(program, L"\"" + program + L"\" " + name, sandboxed, process)) {
        UnmapViewOfFile(area);
        return nullptr;
    }
    Handle thread(process.hThread);
    // In its job before its first instruction.
    Handle job(job_that_ends_with_the_host());
    if (job.handle && !AssignProcessToJobObject(job.handle, process.hProcess))
        CloseHandle(job.release());
    Handle companion_to_watch;
    DuplicateHandle(GetCurrentProcess(), process.hProcess, GetCurrentProcess(), &companion_to_watch.handle, SYNCHRONIZE,
                    FALSE, 0);
    area->companion_handles[0] = give(process.hProcess, request_event.handle, 0, DUPLICATE_SAME_ACCESS);
    area->companion_handles[1] = give(process.hProcess, reply_event.handle, 0, DUPLICATE_SAME_ACCESS);
    // (A real handle of this process in the companion: the duplicate of
    // the pseudo-handle that names it here.)
    area->companion_handles[2] = give(process.hProcess, GetCurrentProcess(), SYNCHRONIZE, 0);
    area->companion_handles[3] = give(process.hProcess, leaving.handle, SYNCHRONIZE, 0);
    auto companion = std::make_unique<WindowsCompanion>(process.hProcess, job.release(), mapping.release(), area,
                                                        reply_event.release(), request_event.release(),
                                                        companion_to_watch.release(), leaving.release());
    if (!area->companion_handles[0] || !area->companion_handles[1] || !area->companion_handles[2] ||
        !area->companion_handles[3])
        return nullptr; // the destructor ends it
    ResumeThread(thread.handle);
    return companion;
}

} // namespace vantrell::platform
