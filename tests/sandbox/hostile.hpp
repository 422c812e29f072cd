// What the hostile modules share: their parameters, the report of what
// each attempt got, and the attempts more than one of them makes.
//
// A module finds its parameters in the file "params" beside its own file
// ("key value" lines): the test copies the module into a folder of its
// own, writes the file there and grants the folder for reading, so that
// code that runs before any call (a constructor) finds them too. Without
// the file (the checker grants nothing) each attempt is still made, at
// harmless fallback targets.
//
// The report is a text of lines "<who>: <what>: <outcome>", the outcome
// "done" (perhaps with what came of it) or the error's name ("EPERM"); the
// module's getPreGameChat answers it, so that the host reads it after the
// attempts, whatever ran them.
#pragma once

#include <string>

namespace hostile {

// The folder the module's file is in.
std::string module_folder();
// The parameter `key` from the module's parameters file, else `fallback`.
std::string parameter(const char *key, const std::string &fallback = "");
long number_parameter(const char *key, long fallback);

// Adds a line to the report, from any thread.
void report(const std::string &who, const std::string &what, const std::string &outcome);
// "done" when `succeeded`, else the name of errno as it is now.
std::string outcome(bool succeeded);
std::string error_name(int error);

// The attempts of a module whose code runs at load time; each reports.
// Reads the file's first line.
void read_file(const std::string &who, const std::string &path);
// Creates the file (and leaves it, as evidence).
void create_file(const std::string &who, const std::string &path);
// Connects to 127.0.0.1:`port` and sends `text`.
void connect_and_send(const std::string &who, int port, const std::string &text);
// Runs `command` with /bin/sh in a new process and waits for it.
void run_shell(const std::string &who, const std::string &command);
// Starts a daemon: a grandchild in a session of its own, named
// "daemon_name" (a process name), that writes its id to
// <folder>/daemon-pid, outlives this process and then writes
// <folder>/daemon-outlived-host (it gives up after a minute).
void start_daemon(const std::string &who, const std::string &folder);

} // namespace hostile
