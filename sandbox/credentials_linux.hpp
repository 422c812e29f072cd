// What a confined process is allowed as a user: no capability in any set,
// whoever started it, and a bound on its threads that the kernel keeps.
#pragma once

#include <string>

namespace vantrell::sandbox {

// Moves this process into a user namespace of its own, where the kernel
// counts its threads apart from every other process of its user, bounds
// them at `most_tasks` (its own threads included), and empties every
// capability set: effective, permitted, inheritable, ambient and bounding,
// locked so that none comes back. A process of root first takes another
// real user (nobody), because the kernel never bounds root's threads; its
// effective user stays, so that it reads the files the host could.
// Needs a single-threaded process. Empty when done, else what failed.
std::string give_up_privileges(unsigned most_tasks);

} // namespace vantrell::sandbox
