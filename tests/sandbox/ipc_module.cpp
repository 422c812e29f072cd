// A module that reaches other processes through System V IPC and the
// kernel's keyrings: in initialize it sends a message to the test's queue
// ("msqid"), makes a shared memory segment ("shm_key") and a semaphore set
// ("sem_key"), both meant to outlive the host, and adds a key
// ("key_description") to its user's keyring.
#include "hostile.hpp"

#include "ai_module.h"

#include <linux/keyctl.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

const std::string who = "ipc";

} // namespace

int32_t AI_CALL initialize(const char *) {
    struct {
        long type;
        char text[16];
    } message{1, "hostile message"};
    const int queue = static_cast<int>(hostile::number_parameter("msqid", -1));
    hostile::report(who, "msgsnd", hostile::outcome(msgsnd(queue, &message, sizeof message.text, IPC_NOWAIT) == 0));

    const auto shm_key = static_cast<key_t>(hostile::number_parameter("shm_key", 0x7654a001));
    hostile::report(who, "shmget", hostile::outcome(shmget(shm_key, 4096, IPC_CREAT | IPC_EXCL | 0600) >= 0));

    const auto sem_key = static_cast<key_t>(hostile::number_parameter("sem_key", 0x7654a002));
    hostile::report(who, "semget", hostile::outcome(semget(sem_key, 1, IPC_CREAT | IPC_EXCL | 0600) >= 0));

    const std::string description = hostile::parameter("key_description", "vantrell-hostile-checker");
    const long key =
        syscall(__NR_add_key, "user", description.c_str(), "hostile", std::strlen("hostile"), KEY_SPEC_USER_KEYRING);
    hostile::report(who, "add_key", hostile::outcome(key >= 0));
    return 1;
}

const char *AI_CALL getPublicName(void) { return "ipc"; }
