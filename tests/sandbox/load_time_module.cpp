// A module whose code runs as it is loaded, before any call: an ELF
// constructor and a C++ static initialiser each read /etc/passwd, create a
// file in the module's folder, connect to the test's TCP port ("port") and
// run /bin/sh, which writes a file of its own there; the constructor also
// starts a daemon meant to outlive the host (hostile.hpp).
#include "hostile.hpp"

#include "ai_module.h"

namespace {

void attempts(const std::string &who, const std::string &slug) {
    const std::string folder = hostile::module_folder();
    hostile::read_file(who, "/etc/passwd");
    hostile::create_file(who, folder + "/created-by-" + slug);
    hostile::connect_and_send(who, static_cast<int>(hostile::number_parameter("port", 9)), "hello from the " + who);
    hostile::run_shell(who, "echo ran > '" + folder + "/shell-of-" + slug + "'");
}

__attribute__((constructor)) void at_load() {
    attempts("constructor", "constructor");
    hostile::start_daemon("constructor", hostile::module_folder());
}

struct AtStaticInitialisation {
    AtStaticInitialisation() { attempts("static initializer", "static-initializer"); }
} at_static_initialisation;

} // namespace

const char *AI_CALL getPublicName(void) { return "load time"; }
