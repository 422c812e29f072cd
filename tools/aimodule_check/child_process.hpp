// This program run again as a child process, so that a module that crashes
// or hangs ends the child, not the checker. The child inherits standard
// output and error.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vantrell::check {

class ChildProcess {
public:
    // Starts this program with `arguments`; null when it cannot start.
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string> &arguments);
    virtual ~ChildProcess() = default;

    // Waits up to `milliseconds` for the child to end; true once it has.
    virtual bool wait_for(int milliseconds) = 0;
    // Ends the child at once.
    virtual void kill() = 0;
    // Once ended: empty when it exited with status 0, else how it ended
    // ("exit status 3", "signal 11 (Segmentation fault)", "exception
    // 0xC0000005 (access violation)").
    virtual std::string how_it_ended() const = 0;
};

// What a child is told of this process, its parent, as one argument: its
// id (POSIX), or a handle of it the child inherits (Windows).
std::string this_process_as_parent();

// In the child: from now on this process ends when its parent (`parent`,
// as this_process_as_parent() gave it) ends, so that no child outlives the
// checker, whatever ends it. False when the parent has ended already.
bool end_with_parent(const std::string &parent);

} // namespace vantrell::check
