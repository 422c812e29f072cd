// A module that starts a thread as it is loaded; the thread waits for the
// host's initialize and then reads /etc/passwd, creates a file in the
// module's folder, connects to the test's TCP port ("port") and runs
// /bin/sh. initialize returns once the thread is done (within a minute).
#include "hostile.hpp"

#include "ai_module.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct LoadTimeThread {
    std::mutex lock;
    std::condition_variable changed;
    bool go = false, stop = false, done = false;
    std::thread thread;

    LoadTimeThread() : thread([this] { run(); }) {}
    // The module is unloaded (the checker loads it once without calling it).
    ~LoadTimeThread() {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop = true;
        }
        changed.notify_all();
        thread.join();
    }

    void run() {
        {
            std::unique_lock<std::mutex> hold(lock);
            if (!changed.wait_for(hold, 60s, [this] { return go || stop; }) || stop)
                return;
        }
        const std::string who = "load-time thread", folder = hostile::module_folder();
        hostile::read_file(who, "/etc/passwd");
        hostile::create_file(who, folder + "/created-by-thread");
        hostile::connect_and_send(who, static_cast<int>(hostile::number_parameter("port", 9)), "hello from a thread");
        hostile::run_shell(who, "echo ran > '" + folder + "/shell-of-thread'");
        std::lock_guard<std::mutex> hold(lock);
        done = true;
        changed.notify_all();
    }

    bool release_and_wait() {
        std::unique_lock<std::mutex> hold(lock);
        go = true;
        changed.notify_all();
        return changed.wait_for(hold, 60s, [this] { return done; });
    }
} load_time_thread;

} // namespace

int32_t AI_CALL initialize(const char *) { return load_time_thread.release_and_wait() ? 1 : 0; }

const char *AI_CALL getPublicName(void) { return "load-time thread"; }
