// What a module left in System V IPC and its user's keyring, seen from
// outside the sandbox, and removed:
//
//   ipc-witness make-queue
//       makes a message queue anyone may write to; prints its id
//   ipc-witness collect <queue id> <shm key> <sem key> <key description>
//       prints "queue messages: <n>" (the queue is then removed; an id
//       below 0 is left out), "shm segment: present|absent",
//       "semaphore set: present|absent" and "key: present|absent" (the
//       key of that description in the user keyring of whoever runs
//       this), and removes what it found.
#include <linux/keyctl.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *presence(bool present) { return present ? "present" : "absent"; }

int collect(int queue, key_t shm_key, key_t sem_key, const char *description) {
    if (queue >= 0) {
        msqid_ds state{};
        if (msgctl(queue, IPC_STAT, &state) != 0) {
            std::perror("ipc-witness: the queue");
            return 1;
        }
        std::printf("queue messages: %lu\n", static_cast<unsigned long>(state.msg_qnum));
        msgctl(queue, IPC_RMID, nullptr);
    }
    const int segment = shmget(shm_key, 0, 0);
    std::printf("shm segment: %s\n", presence(segment >= 0));
    if (segment >= 0)
        shmctl(segment, IPC_RMID, nullptr);
    const int semaphores = semget(sem_key, 0, 0);
    std::printf("semaphore set: %s\n", presence(semaphores >= 0));
    if (semaphores >= 0)
        semctl(semaphores, 0, IPC_RMID);
    const long key = syscall(__NR_keyctl, KEYCTL_SEARCH, KEY_SPEC_USER_KEYRING, "user", description, 0);
    std::printf("key: %s\n", presence(key >= 0));
    if (key >= 0) {
        syscall(__NR_keyctl, KEYCTL_UNLINK, key, KEY_SPEC_USER_KEYRING);
        syscall(__NR_keyctl, KEYCTL_INVALIDATE, key);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "make-queue") == 0) {
        const int queue = msgget(IPC_PRIVATE, IPC_CREAT | 0666);
        if (queue < 0) {
            std::perror("ipc-witness: a queue");
            return 1;
        }
        std::printf("%d\n", queue);
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "collect") == 0)
        return collect(std::atoi(argv[2]), static_cast<key_t>(std::strtol(argv[3], nullptr, 0)),
                       static_cast<key_t>(std::strtol(argv[4], nullptr, 0)), argv[5]);
    std::fprintf(stderr, "usage: ipc-witness make-queue | collect <queue id> <shm key> <sem key> <description>\n");
    return 2;
}
