// A module that starts threads until it can start no more, 6,000 at
// most: getCreateGameOption(1) starts them and keeps them waiting, and
// answers how many started; getCreateGameOption(2) lets them end and
// answers how many ended. terminate, and the module's unload, end them too.
#include "hostile.hpp"

#include "ai_module.h"

#include <pthread.h>

#include <cerrno>
#include <mutex>
#include <vector>

namespace {

constexpr int most_threads = 6000;
constexpr std::size_t stack_size = 64 * 1024;

std::mutex lock;
pthread_cond_t released = PTHREAD_COND_INITIALIZER;
pthread_mutex_t waiting = PTHREAD_MUTEX_INITIALIZER;
bool go_on = false;
std::vector<pthread_t> threads;

void *wait_to_end(void *) {
    pthread_mutex_lock(&waiting);
    while (!go_on)
        pthread_cond_wait(&released, &waiting);
    pthread_mutex_unlock(&waiting);
    return nullptr;
}

int start_threads() {
    std::lock_guard<std::mutex> hold(lock);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stack_size);
    int error = 0;
    while (threads.size() < most_threads) {
        pthread_t thread;
        if ((error = pthread_create(&thread, &attributes, wait_to_end, nullptr)) != 0)
            break;
        threads.push_back(thread);
    }
    pthread_attr_destroy(&attributes);
    hostile::report("threads", "start " + std::to_string(most_threads),
                    std::to_string(threads.size()) + " started" +
                        (error ? ", then " + hostile::error_name(error) : std::string()));
    return static_cast<int>(threads.size());
}

int end_threads() {
    std::lock_guard<std::mutex> hold(lock);
    pthread_mutex_lock(&waiting);
    go_on = true;
    pthread_cond_broadcast(&released);
    pthread_mutex_unlock(&waiting);
    for (pthread_t thread : threads)
        pthread_join(thread, nullptr);
    const int ended = static_cast<int>(threads.size());
    threads.clear();
    go_on = false;
    return ended;
}

struct EndedAtUnload {
    ~EndedAtUnload() { end_threads(); }
} ended_at_unload;

} // namespace

int32_t AI_CALL getCreateGameOption(int32_t what) {
    return what == 1 ? start_threads() : what == 2 ? end_threads() : -1;
}

void AI_CALL terminate(void) { end_threads(); }

const char *AI_CALL getPublicName(void) { return "thread flood"; }
