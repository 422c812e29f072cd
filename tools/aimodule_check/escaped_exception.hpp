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

} // namespace vantrell::check
