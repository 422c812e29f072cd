// The bridge built for isolation, with its companion beside it, driven with
// the fake VM: what a module can do to its companion process stays there,
// and the host goes on with default answers, at once. And a companion that
// answers wrongly is not believed (a stand-in companion, POSIX).
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using bridge_test::Bridge;
using Clock = std::chrono::steady_clock;

Bridge &isolated_bridge() {
    static Bridge bridge(ISOLATED_BRIDGE_PATH);
    return bridge;
}

class Companion : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(b.missing.empty()) << b.missing; }
    void TearDown() override {
        b.terminate(env, cls);
        for (const auto &violation : vm.violations())
            ADD_FAILURE() << "VM misuse: " << violation;
    }
    bool load(const std::string &path) { return b.initializeLibrary(env, cls, vm.string(path)) != 0; }
    // A string the bridge returned, or "<null>".
    std::string text(jstring string) const { return string ? vm.modified_utf8(string) : "<null>"; }
    static double seconds_since(Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    fakejvm::FakeVm vm;
    Bridge &b = isolated_bridge();
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
};

TEST_F(Companion, ModuleThatCrashesGivesDefaultsAndTheNextLoadStartsAFreshCompanion) {
    ASSERT_TRUE(load(CRASHING_MODULE_PATH));
    EXPECT_TRUE(b.createGame(env, cls)) << "the module answers";
    EXPECT_EQ(b.getCreateGameMode(env, cls), 0) << "the call that crashed gives its default";
    EXPECT_EQ(b.getPublicName(env, cls), nullptr) << "and so does every later one";
    ASSERT_TRUE(load(TARROWBY_PATH));
    EXPECT_EQ(text(b.getPublicName(env, cls)), "Tarrowby");
}

TEST_F(Companion, CompanionEndedBetweenCallsGivesDefaults) {
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    EXPECT_EQ(b.getCreateGameOption(env, cls, 2), 2) << "the call before it ended";
    const auto start = Clock::now();
    while (b.getCreateGameOption(env, cls, 41) == 42 && seconds_since(start) < 60) {
    }
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 0);
    EXPECT_EQ(b.getPublicName(env, cls), nullptr);
    jbyteArray move = vm.bytes({9, 9, 9, 9, 9});
    b.getAIMove(env, cls, move);
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{9, 9, 9, 9, 9})) << "the host's array is left as it was";
}

// While the bridge sleeps for the answer, the companion crashes: the host
// learns it at once. A process the module starts first (POSIX) inherits
// nothing of the companion's, so it cannot hold that back either.
TEST_F(Companion, ModuleThatCrashesWhileTheBridgeSleepsGivesItsDefaultAtOnce) {
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    const auto start = Clock::now();
    EXPECT_EQ(b.getCreateGameOption(env, cls, 1), 0);
    EXPECT_LT(seconds_since(start), 20.0) << "the child (a minute long) held the crash back";
    EXPECT_EQ(b.getPublicName(env, cls), nullptr);
}

// A module can write into the area it shares with the bridge: what it
// writes is not believed.
TEST_F(Companion, ModuleThatWritesIntoTheSharedAreaIsNotBelieved) {
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    EXPECT_EQ(b.getCreateGameOption(env, cls, 4), 0);
    EXPECT_EQ(b.getPublicName(env, cls), nullptr) << "the companion was dropped";
    ASSERT_TRUE(load(TARROWBY_PATH)) << "a new companion plays the next module";
    EXPECT_EQ(text(b.getPublicName(env, cls)), "Tarrowby");
}

#if !defined(_WIN32)
// Nothing the bridge holds of a companion is inherited by a process the
// host starts later.
TEST_F(Companion, NothingOfANewCompanionIsInheritable) {
    auto inheritable = [] {
        int count = 0;
        for (int fd = 0; fd < 4096; ++fd) {
            const int flags = fcntl(fd, F_GETFD);
            count += flags >= 0 && !(flags & FD_CLOEXEC);
        }
        return count;
    };
    ASSERT_TRUE(load(CRASHING_MODULE_PATH));
    EXPECT_EQ(b.getCreateGameMode(env, cls), 0) << "the companion crashed: the next load starts a new one";
    const int before = inheritable();
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 42);
    EXPECT_EQ(inheritable(), before);
}

// The host's thread may block signals (a JVM's do): the companion starts
// with none blocked.
TEST_F(Companion, CompanionStartsWithNoSignalBlocked) {
    sigset_t quit, before;
    sigemptyset(&quit);
    sigaddset(&quit, SIGQUIT);
    pthread_sigmask(SIG_BLOCK, &quit, &before);
    const bool loaded = load(FAULTS_MODULE_PATH);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 3), 0);
}
#endif

// A host thread of its own, with a VM environment of its own (the fake VM
// serves one thread), that calls getCreateGameOption once.
class CallOnAnotherThread {
public:
    CallOnAnotherThread(Bridge &b, jint option) : b_(b), option_(option) {
#if defined(_WIN32)
        thread_ = CreateThread(nullptr, 0, &CallOnAnotherThread::run, this, 0, nullptr);
#else
        pthread_create(&thread_, nullptr, &CallOnAnotherThread::run, this);
#endif
    }
    // Its answer, once the call has returned.
    jint answer() {
#if defined(_WIN32)
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
#else
        pthread_join(thread_, nullptr);
#endif
        return answer_;
    }

private:
#if defined(_WIN32)
    static DWORD WINAPI run(void *self) {
#else
    static void *run(void *self) {
#endif
        auto *call = static_cast<CallOnAnotherThread *>(self);
        fakejvm::FakeVm vm;
        call->answer_ = call->b_.getCreateGameOption(vm.env(), vm.klass(), call->option_);
        return 0;
    }
    Bridge &b_;
    jint option_;
    jint answer_ = -1;
#if defined(_WIN32)
    HANDLE thread_ = nullptr;
#else
    pthread_t thread_{};
#endif
};

constexpr jint never_returns = 6;

// A call that never returns is given up by a terminate or a load from
// another thread: it returns its default, and the next module plays.
TEST_F(Companion, TerminateOrLoadFromAnotherThreadEndsAHungCall) {
    for (bool by_load : {false, true}) {
        ASSERT_TRUE(load(FAULTS_MODULE_PATH));
        CallOnAnotherThread hung(b, never_returns);
        if (by_load)
            ASSERT_TRUE(load(TARROWBY_PATH));
        else
            b.terminate(env, cls);
        EXPECT_EQ(hung.answer(), 0) << (by_load ? "load" : "terminate");
        ASSERT_TRUE(load(TARROWBY_PATH));
        EXPECT_EQ(text(b.getPublicName(env, cls)), "Tarrowby");
        b.terminate(env, cls);
    }
}

// With the host's deadline, a call that never returns ends its module:
// that call and every later one give their defaults until the next load.
TEST_F(Companion, DeadlineEndsACallThatNeverReturns) {
    vm.set_property("vantrell.callTimeout", "200");
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 42);
    EXPECT_EQ(b.getCreateGameOption(env, cls, never_returns), 0);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 0) << "the module is gone";
    ASSERT_TRUE(load(TARROWBY_PATH));
    EXPECT_EQ(text(b.getPublicName(env, cls)), "Tarrowby");
}

TEST_F(Companion, SlowUnloadDoesNotHoldTerminate) {
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    EXPECT_TRUE(b.setSkillLevel(env, cls, 1));
    const auto start = Clock::now();
    b.terminate(env, cls);
    EXPECT_LT(seconds_since(start), 30.0) << "the unload takes a minute";
    ASSERT_TRUE(load(TARROWBY_PATH)) << "a companion of its width plays the next module";
    EXPECT_EQ(text(b.getPublicName(env, cls)), "Tarrowby");
}

TEST_F(Companion, ExceptionOutOfEndGameStaysInTheCompanion) {
    ASSERT_TRUE(load(THROWING_MODULE_PATH));
    b.endGame(env, cls, 1, 0);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 42) << "the module still answers";
    EXPECT_EQ(b.getCreateGameMode(env, cls), 1) << "endGame's frame was cleaned up";
}

TEST_F(Companion, TextAnswerOverTheLimitIsNullAndTheModuleStays) {
    ASSERT_TRUE(load(FAULTS_MODULE_PATH));
    EXPECT_EQ(b.getPostGameChat(env, cls), nullptr);
    EXPECT_EQ(text(b.getPublicName(env, cls)), "companion faults");
}

// The bridge built for a sandbox: what the probe module can do in process,
// it cannot do in the sandbox, and it plays on. (Windows: Wine accepts the
// job's limits and the lowered integrity level, and enforces neither; they
// hold on Windows itself.)
class Sandbox : public Companion {
protected:
    static Bridge &in_process() {
        static Bridge bridge(IN_PROCESS_BRIDGE_PATH);
        return bridge;
    }
    static Bridge &sandboxed() {
        static Bridge bridge(SANDBOXED_BRIDGE_PATH);
        return bridge;
    }
    void TearDown() override {
        for (Bridge *bridge : {&in_process(), &sandboxed()})
            bridge->terminate(env, cls);
    }
    // Done in process, refused in the sandbox.
    const std::pair<jint, jint> refused_in_the_sandbox{1, 0};
    // What the probe answers for `what`, in process and in the sandbox.
    std::pair<jint, jint> try_both(jint what, jint port = 0) {
        jint answers[2] = {-2, -2};
        int i = 0;
        for (Bridge *bridge : {&in_process(), &sandboxed()}) {
            if (bridge->initializeLibrary(env, cls, vm.string(std::string(SANDBOX_PROBE_PATH)))) {
                bridge->setGameOption(env, cls, 1, port);
                answers[i] = bridge->getCreateGameOption(env, cls, what);
                EXPECT_EQ(bridge->getCreateGameOption(env, cls, 6), 1) << "threads run, and the module plays on";
            }
            ++i;
        }
        return {answers[0], answers[1]};
    }
};

#if !defined(_WIN32) && defined(SANDBOX_TESTS)
TEST_F(Sandbox, ReadingAFileOutsideTheModulesFolderIsRefused) { EXPECT_EQ(try_both(1), refused_in_the_sandbox); }

TEST_F(Sandbox, WritingAFileInTheWorkingFolderIsRefused) { EXPECT_EQ(try_both(2), refused_in_the_sandbox); }

TEST_F(Sandbox, ConnectingToTheHostsOwnPortIsRefused) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    EXPECT_EQ(try_both(3, ntohs(address.sin_port)), refused_in_the_sandbox);
    close(listener);
}

TEST_F(Sandbox, StartingAProcessIsRefused) { EXPECT_EQ(try_both(4), refused_in_the_sandbox); }

TEST_F(Sandbox, AllocatingPastTheLimitFails) { EXPECT_EQ(try_both(5), refused_in_the_sandbox); }
#endif

#if defined(FAKE_BRIDGE_PATH)
// A stand-in companion that answers as its "module" says
// (fake_companion.cpp). Whatever it answers, the host gets the right
// answer or the default, and nothing of what the companion says allocates.
class HostileCompanion : public Companion {
protected:
    static Bridge &fake_bridge() {
        static Bridge bridge(FAKE_BRIDGE_PATH);
        return bridge;
    }
    void SetUp() override {
        b_ = &fake_bridge();
        ASSERT_TRUE(b_->missing.empty()) << b_->missing;
    }
    void TearDown() override { b_->terminate(env, cls); }
    bool load_scenario(const std::string &scenario) {
        return b_->initializeLibrary(env, cls, vm.string("/" + scenario)) != 0;
    }
    Bridge *b_ = nullptr;
};

TEST_F(HostileCompanion, HonestAnswersArrive) {
    ASSERT_TRUE(load_scenario("honest"));
    EXPECT_EQ(b_->getCreateGameMode(env, cls), 12345);
    EXPECT_EQ(text(b_->getPublicName(env, cls)), "fake");
}

TEST_F(HostileCompanion, TextLengthsOverTheLimitAreNotBelieved) {
    for (const char *scenario : {"oversized-text", "huge-text"}) {
        ASSERT_TRUE(load_scenario(scenario)) << scenario;
        EXPECT_EQ(b_->getPublicName(env, cls), nullptr) << scenario;
        EXPECT_EQ(b_->getCreateGameMode(env, cls), 0) << scenario << ": the companion was dropped";
    }
}

TEST_F(HostileCompanion, AnswersThatDoNotFitTheirCallAreNotBelieved) {
    for (const char *scenario : {"stray-bytes", "other-call", "next-sequence"}) {
        ASSERT_TRUE(load_scenario(scenario)) << scenario;
        EXPECT_EQ(b_->getCreateGameMode(env, cls), 0) << scenario;
        EXPECT_EQ(b_->getPublicName(env, cls), nullptr) << scenario << ": the companion was dropped";
    }
}
#endif

} // namespace
