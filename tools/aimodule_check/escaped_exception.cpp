#include "escaped_exception.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

namespace vantrell::check {
namespace {

std::string demangled(const char *name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && readable ? readable.get() : name;
}

// The type and, for a std::exception, its text.
std::string what_was_thrown() {
    const std::type_info *type = abi::__cxa_current_exception_type();
    if (!type)
        return "an exception of another language or compiler runtime";
    try {
        throw;
    } catch (const std::exception &exception) {
        return demangled(type->name()) + " (\"" + exception.what() + "\")";
    } catch (...) {
        return demangled(type->name());
    }
}

} // namespace

std::string describe_escaped_exception() {
    return "threw " + what_was_thrown() + ": only endGame may throw; under a host, the host's process ends here";
}

} // namespace vantrell::check
