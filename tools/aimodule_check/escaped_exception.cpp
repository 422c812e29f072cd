#include "escaped_exception.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
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

std::string sentence(const std::string &thrown) {
    return "threw " + thrown + ": only endGame may throw; under a host, the host's process ends here";
}

// The text after `label` up to the end of its line, or none.
std::optional<std::string> line_after(const std::string &text, const std::string &label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos)
        return std::nullopt;
    const std::size_t from = at + label.size();
    std::string rest = text.substr(from, text.find('\n', from) - from);
    if (!rest.empty() && rest.back() == '\r')
        rest.pop_back();
    return rest;
}

} // namespace

std::string describe_escaped_exception() { return sentence(what_was_thrown()); }

std::string describe_uncaught_exception(const std::string &standard_error) {
    //   terminate called after throwing an instance of 'std::logic_error'
    //     what():  no legal move
    auto type = line_after(standard_error, "terminate called after throwing an instance of '");
    if (!type || type->empty() || type->back() != '\'')
        return "";
    type->pop_back();
    const auto what = line_after(standard_error, "  what():  ");
    return sentence(*type + (what ? " (\"" + *what + "\")" : ""));
}

} // namespace vantrell::check
