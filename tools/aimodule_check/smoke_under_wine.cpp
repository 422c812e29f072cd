#include "smoke_under_wine.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
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

// Runs `arguments` with `environment` added, standard output captured
// (and standard error dropped when `quiet`); the exit status, or -1 when it
// could not start.
int run(const std::vector<std::string> &arguments, const std::vector<std::string> &environment, std::string &output,
        bool quiet = false) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    if (quiet)
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
    if (spawned != 0) {
        close(pipe_ends[0]);
        return -1;
    }
    char buffer[4096];
    for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) != 0;)
        if (got > 0)
            output.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    close(pipe_ends[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

} // namespace

SmokeOutcome run_smoke_under_wine(const std::string &module_path, int bits, int call_timeout_seconds) {
    SmokeOutcome outcome;
    const std::string checker_name = bits == 64 ? "aimodule-check-x64.exe" : "aimodule-check-x86.exe";
    std::error_code error;
    const fs::path checker = fs::read_symlink("/proc/self/exe", error).parent_path() / checker_name;
    if (error || !fs::exists(checker)) {
        outcome.not_run = "the module is for Windows, and there is no " + checker_name +
                          " beside this checker to run it under Wine (scripts/install-sdk.sh installs it)";
        return outcome;
    }
    const std::string loader = wine_loader(bits);
    if (loader.empty()) {
        outcome.not_run = "the module is for " + std::to_string(bits) + "-bit Windows, and no " + std::to_string(bits) +
                          "-bit Wine runs here" +
                          (bits == 32 ? " (natively, or emulated: emulation/setup-i386-wine.sh)" : "");
        return outcome;
    }
    const fs::path prefix = cache_folder() / (bits == 64 ? "aimodule-check-wine64" : "aimodule-check-wine32");
    fs::create_directories(prefix.parent_path(), error);
    const std::vector<std::string> environment{
        "WINEPREFIX=" + prefix.string(), std::string("WINEARCH=") + (bits == 64 ? "win64" : "win32"), "WINEDEBUG=-all",
        "WINEDLLOVERRIDES=mscoree,mshtml=", "WINELOADER=" + loader};
    std::string output;
    // A new prefix is made first, so that Wine's words about it stay off
    // the module's standard error.
    if (!fs::exists(prefix / "system.reg"))
        run({loader, "wineboot", "-i"}, environment, output, true);
    output.clear();
    const int status = run({loader, checker.string(), "--json", "--smoke", "--call-timeout",
                            std::to_string(call_timeout_seconds), windows_path(module_path)},
                           environment, output);
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(output.substr(output.find('{') == std::string::npos ? 0 : output.find('{')));
    } catch (const nlohmann::json::exception &) {
        outcome.not_run = checker_name + " under Wine gave no report (exit status " + std::to_string(status) + ")";
        return outcome;
    }
    if (json.contains("smoke_failure") && json["smoke_failure"].value("how", "").rfind("not run: ", 0) == 0) {
        outcome.not_run = checker_name + ": " + json["smoke_failure"].value("how", "");
        return outcome;
    }
    outcome.ran = true;
    for (const auto &call : json.value("smoke", nlohmann::json::array()))
        outcome.calls.push_back(SmokeCall{call.value("function", ""), call.value("call", ""), call.value("answer", ""),
                                          call.value("problem", "")});
    for (const auto &failure : json.value("smoke_failures", nlohmann::json::array()))
        outcome.failures.push_back(SmokeFailure{
            SmokeCall{failure.value("function", ""), failure.value("call", ""), "", ""}, failure.value("how", "")});
    return outcome;
}

} // namespace vantrell::check
