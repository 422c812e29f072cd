// A host that plays one scene through the bridge it is given, writing a
// line for each call it makes, so that a run through a companion can be
// compared with one in process (same_transcript.cmake):
//   companion_host <bridge> repeated-loads <module>
//       loads the module twice, then terminates twice, asking its name
//       between: the loader counts the loads, so the module stays loaded
//       after the first terminate;
//   companion_host <bridge> exit-without-terminate <module>
//       initializes the module and exits without terminate: what the
//       module left in its output buffer still comes out;
//   companion_host <bridge> load <module>
//       loads it, and says whether it could.
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// A line on standard output as a JVM writes one: straight to the stream,
// past the C library's buffer (which a module in this process shares).
void say(const std::string &text) {
    const std::string line = "host: " + text + "\n";
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
#else
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t written = write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
#endif
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: companion_host <bridge> repeated-loads|exit-without-terminate|load <module>\n");
        return 2;
    }
    bridge_test::Bridge b(argv[1]);
    const std::string scene = argv[2];
    fakejvm::FakeVm vm;
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
    auto name = [&] {
        jstring answer = b.getPublicName(env, cls);
        say(std::string("getPublicName() -> ") + (answer ? "\"" + vm.modified_utf8(answer) + "\"" : "null"));
    };
    if (scene == "repeated-loads") {
        for (int load = 0; load < 2; ++load)
            say(std::string("initializeLibrary(module) -> ") +
                (b.initializeLibrary(env, cls, vm.string(std::string(argv[3]))) ? "true" : "false"));
        name();
        b.terminate(env, cls);
        say("terminate()");
        name();
        b.terminate(env, cls);
        say("terminate()");
        return 0;
    }
    if (scene == "load") {
        say(std::string("initializeLibrary(module) -> ") +
            (b.initializeLibrary(env, cls, vm.string(std::string(argv[3]))) ? "true" : "false"));
        b.terminate(env, cls);
        return 0;
    }
    if (scene == "exit-without-terminate") {
        say(std::string("initializeLibrary(module) -> ") +
            (b.initializeLibrary(env, cls, vm.string(std::string(argv[3]))) ? "true" : "false"));
        say(std::string("initialize(\"host\") -> ") +
            (b.initialize(env, cls, vm.string(std::string("host"))) ? "true" : "false"));
        return 0;
    }
    return 2;
}
