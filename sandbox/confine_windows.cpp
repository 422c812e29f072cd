#include "confine.hpp"

#include <windows.h>

#include <string>
#include <vector>

namespace vantrell::sandbox {
namespace {

std::string why(const char *what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

// A job that holds this process alone: no process it starts may run, and
// its memory is capped.
std::string join_job() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return why("job objects");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(address_space_limit);
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        const std::string missing = why("job object limits");
        CloseHandle(job);
        return missing;
    }
    if (!AssignProcessToJobObject(job, GetCurrentProcess())) {
        const std::string missing = why("a job object for this process");
        CloseHandle(job);
        return missing;
    }
    // The job lives as long as this process is in it; a handle kept here
    // would let the module lift its limits.
    CloseHandle(job);
    return "";
}

// The process's integrity level lowered to Low: it can no longer write
// where processes of the user's own level write.
std::string lower_integrity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_DEFAULT | TOKEN_QUERY, &token))
        return why("integrity levels");
    SID_IDENTIFIER_AUTHORITY mandatory = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID low = nullptr;
    std::string missing;
    if (!AllocateAndInitializeSid(&mandatory, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low)) {
        missing = why("integrity levels");
    } else {
        TOKEN_MANDATORY_LABEL label{};
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        label.Label.Sid = low;
        if (!SetTokenInformation(token, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(low)))
            missing = why("integrity levels");
        FreeSid(low);
    }
    CloseHandle(token);
    return missing;
}

} // namespace

std::string confine(const Readable &, bool, unsigned) {
    if (std::string missing = join_job(); !missing.empty())
        return missing;
    return lower_integrity();
}

std::vector<std::string> refusals() { return {}; }

} // namespace vantrell::sandbox
