#include "smoke_under_wine.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace vantrell::check {
namespace {

namespace fs = std::filesystem;

fs::path cache_folder() {
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return fs::path(cache) / "vantrell";
    const char *home = std::getenv("HOME");
    return fs::path(home ? home : "/tmp") / ".cache" / "vantrell";
}

// A program that runs here: `path --version` exits 0.
bool starts(const std::string &path) {
    if (access(path.c_str(), X_OK) != 0)
        return false;
    const std::string command = "WINEDEBUG=-all '" + path + "' --version >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The Wine loader for programs of `bits`, or empty.
std::string wine_loader(int bits) {
    if (bits == 64)
        return starts("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : "";
    if (starts("/usr/lib/wine/wine"))
        return "/usr/lib/wine/wine";
    fs::path emulated = std::getenv("VANTRELL_I386_WINE_DIR") ? fs::path(std::getenv("VANTRELL_I386_WINE_DIR"))
                                                              : cache_folder() / "i386-wine";
    emulated /= "wine";
    return starts(emulated.string()) ? emulated.string() : "";
}

// Wine shows the machine's root as drive Z:.
std::string windows_path(const std::string &path) {
    std::string text = "Z:" + fs::absolute(path).lexically_normal().string();
    for (char &c : text)
        if (c == '/')
            c = '\\';
    return text;
}

// Runs `arguments` with `environment` added, standard output captured and
// standard error too when `errors` is given (else dropped); the exit status,
// or -1 when it could not start (`start_error` then says why). Standard
// error goes to a file, so that neither stream can block the other.
int run(const std::vector<std::string> &arguments, const std::vector<std::string> &environment, std::string &output,
        std::string *errors = nullptr, int *start_error = nullptr) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return -1;
    std::error_code error;
    std::string errors_path = (fs::temp_directory_path(error) / "aimodule-check-wine-XXXXXX").string();
    const int errors_file = errors ? mkstemp(errors_path.data()) : -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    if (errors_file >= 0)
        posix_spawn_file_actions_adddup2(&actions, errors_file, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env_text(environment);
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY")
            continue;
        bool replaced = false;
        for (const std::string &own : environment)
            replaced |= own.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            env_text.push_back(text);
    }
    std::vector<char *> envp;
    for (std::string &entry : env_text)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    int status = 0;
    if (spawned == 0) {
        char buffer[4096];
        for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) != 0;)
            if (got > 0)
                output.append(buffer, static_cast<std::size_t>(got));
            else if (errno != EINTR)
                break;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(pipe_ends[0]);
    if (errors_file >= 0) {
        std::ifstream kept(errors_path, std::ios::binary);
        errors->assign(std::istreambuf_iterator<char>(kept), {});
        close(errors_file);
        unlink(errors_path.c_str());
    }
    if (spawned != 0) {
        if (start_error)
            *start_error = spawned;
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// What making a prefix costs, as measured on a 2-core machine: 589 MB and
// 30 s for 32-bit Wine under emulation, 690 MB and 10 s for 64-bit Wine.
std::string prefix_cost(int bits) {
    return bits == 64 ? "about 690 MB, about 10 s" : "about 590 MB, about half a minute under emulation";
}

} // namespace

OtherChecker find_wine_smoke(int bits) {
    OtherChecker wine;
    wine.bits = bits;
    wine.checker_name = bits == 64 ? "aimodule-check-x64.exe" : "aimodule-check-x86.exe";
    std::error_code error;
    const fs::path checker = fs::read_symlink("/proc/self/exe", error).parent_path() / wine.checker_name;
    if (error || !fs::exists(checker)) {
        wine.not_run = "the module is for Windows, and there is no " + wine.checker_name +
                       " beside this checker to run it under Wine (scripts/install-sdk.sh installs it)";
        return wine;
    }
    wine.checker = checker.string();
    wine.loader = wine_loader(bits);
    if (wine.loader.empty())
        wine.not_run = "the module is for " + std::to_string(bits) + "-bit Windows, and no " + std::to_string(bits) +
                       "-bit Wine runs here" +
                       (bits == 32 ? " (natively, or emulated: emulation/setup-i386-wine.sh)" : "");
    return wine;
}

OtherChecker find_i386_smoke() {
    OtherChecker other;
    other.bits = 32;
    other.checker_name = "aimodule-check-i386";
    std::error_code error;
    const fs::path checker = fs::read_symlink("/proc/self/exe", error).parent_path() / other.checker_name;
    if (error || !fs::exists(checker))
        other.not_run = "the module is for 32-bit x86 Linux, and there is no aimodule-check-i386 beside this checker "
                        "(the SDK installs it where g++-multilib builds it)";
    else
        other.checker = checker.string();
    return other;
}

namespace {

// Why a 32-bit program does not start or run here, as a host's companion
// for the module (vantrell-companion-i386) would meet it too, with the fix.
std::string why_32_bit_programs_fail(int start_error, const std::string &errors) {
    const std::string host = "; a 64-bit host here could not play the module either: its companion, "
                             "vantrell-companion-i386, is such a program";
    if (start_error == ENOEXEC)
        return "this kernel refuses 32-bit programs (Exec format error)" + host +
               ". Play it in a 32-bit host, or on a machine whose kernel runs 32-bit programs";
    if (start_error == ENOENT)
        return "the i386 C library is not installed (no /lib/ld-linux.so.2)" + host +
               ". Debian: apt-get install libc6:i386 libgcc-s1:i386 (or g++-multilib)";
    if (errors.find("GLIBC_") != std::string::npos)
        return "this system's i386 C library is older than glibc 2.34, which the companion needs" + host;
    if (errors.find("libgcc_s") != std::string::npos)
        return "the i386 GCC runtime is not installed (libgcc_s.so.1)" + host +
               ". Debian: apt-get install libgcc-s1:i386 (or g++-multilib)";
    return start_error ? std::string("it could not start: ") + std::strerror(start_error) : errors;
}

// What the other checker's sandbox refused while the module loaded, as a
// clause, or nothing.
std::string refused_during_the_load(const nlohmann::json &report) {
    const std::string refused = report.value("load_refused", "");
    return refused.empty() ? "" : " (the sandbox refused during the load: " + refused + ")";
}

} // namespace

SmokeOutcome run_smoke_with(const OtherChecker &other, const std::string &module_path, int call_timeout_seconds,
                            const SessionSandbox &sandbox, std::ostream &progress) {
    SmokeOutcome outcome;
    std::error_code error;
    std::vector<std::string> environment;
    std::string output;
    const OtherChecker &wine = other;
    const bool under_wine = !other.loader.empty();
    if (under_wine) {
        const fs::path prefix = cache_folder() / (wine.bits == 64 ? "aimodule-check-wine64" : "aimodule-check-wine32");
        fs::create_directories(prefix.parent_path(), error);
        environment = {"WINEPREFIX=" + prefix.string(),
                       std::string("WINEARCH=") + (wine.bits == 64 ? "win64" : "win32"), "WINEDEBUG=-all",
                       "WINEDLLOVERRIDES=mscoree,mshtml=", "WINELOADER=" + wine.loader};
        // A new prefix is made first, so that Wine's words about it stay off
        // the module's output.
        if (!fs::exists(prefix / "system.reg")) {
            progress << "  making the Wine prefix of " << wine.checker_name << ", once: " << prefix.string() << " ("
                     << prefix_cost(wine.bits) << ")" << std::endl;
            run({wine.loader, "wineboot", "-i"}, environment, output);
        }
    }
    output.clear();
    const std::string &checker_name = wine.checker_name;
    std::vector<std::string> arguments;
    if (under_wine)
        arguments.push_back(wine.loader);
    arguments.insert(arguments.end(), {wine.checker, "--json", "--smoke"});
    if (sandbox.confined)
        arguments.push_back("--sandbox");
    if (sandbox.confined && !under_wine && !sandbox.granted.empty())
        arguments.insert(arguments.end(), {"--sandbox-read", join_path_list(sandbox.granted)});
    arguments.insert(arguments.end(), {"--call-timeout", std::to_string(call_timeout_seconds),
                                       under_wine ? windows_path(module_path) : module_path});
    int start_error = 0;
    const int status = run(arguments, environment, output, &outcome.module_output, &start_error);
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(output.substr(output.find('{') == std::string::npos ? 0 : output.find('{')));
    } catch (const nlohmann::json::exception &) {
        outcome.not_run =
            under_wine ? checker_name + " under Wine gave no report (exit status " + std::to_string(status) + ")"
                       : checker_name + " did not run: " + why_32_bit_programs_fail(start_error, outcome.module_output);
        return outcome;
    }
    if (json.contains("smoke_failure") && json["smoke_failure"].value("how", "").rfind("not run: ", 0) == 0) {
        const std::string load_error = json.value("load_error", "");
        outcome.not_run = load_error.empty()
                              ? checker_name + ": " + json["smoke_failure"].value("how", "")
                              : checker_name + " could not load it" + (under_wine ? " under Wine: " : ": ") +
                                    load_error + refused_during_the_load(json) +
                                    " (likely cause: " + json.value("likely_cause", "") + ")";
        return outcome;
    }
    outcome.ran = true;
    outcome.loaded = json.value("loaded", false);
    outcome.load_refused = json.value("load_refused", "");
    outcome.unload_refused = json.value("unload_refused", "");
    for (const auto &call : json.value("smoke", nlohmann::json::array()))
        outcome.calls.push_back(SmokeCall{call.value("function", ""), call.value("call", ""), call.value("answer", ""),
                                          call.value("problem", ""), call.value("refused", "")});
    for (const auto &failure : json.value("smoke_failures", nlohmann::json::array()))
        outcome.failures.push_back(SmokeFailure{
            SmokeCall{failure.value("function", ""), failure.value("call", ""), "", "", ""}, failure.value("how", "")});
    return outcome;
}

} // namespace vantrell::check
