// An exception that left a module function other than endGame. The bridge
// guards endGame only, so under a host such an exception ends the host's
// process; the smoke session catches it instead, to name it.
#pragma once

#include <string>

namespace vantrell::check {

// Thrown by the smoke session in place of the module's exception, which it
// describes: "threw std::logic_error ("bad rank"): only endGame may throw;
// ...".
struct EscapedException {
    std::string description;
};

// The exception being handled (call only inside a catch block), as the
// sentence above: its type, demangled, and what() for a std::exception.
std::string describe_escaped_exception();

// The same sentence from what GCC's C++ runtime writes to standard error
// when an exception nobody caught ends the process (a module that carries
// its own runtime and unwinder throws past its own frames that way), or
// empty when `standard_error` holds no such words.
std::string describe_uncaught_exception(const std::string &standard_error);

} // namespace vantrell::check
