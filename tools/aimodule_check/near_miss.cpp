#include "near_miss.hpp"

#include <cctype>

namespace vantrell::check {
namespace {

bool all_digits(const std::string &text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// "name@N" split into name and N; false when there is no decimal suffix.
bool split_decoration(const std::string &text, char mark, std::string &base, int &bytes) {
    auto at = text.rfind(mark);
    if (at == std::string::npos || !all_digits(text.substr(at + 1)) || text.size() - at > 6)
        return false;
    base = text.substr(0, at);
    bytes = std::stoi(text.substr(at + 1));
    return true;
}

// A C++ name for the function: Itanium "_Z9abortGamei" (MinGW may add
// "@4"), or the other Windows scheme "?abortGame@@YGXH@Z".
bool is_cxx_mangling_of(const std::string &exported, const std::string &name) {
    const std::string itanium = "_Z" + std::to_string(name.size()) + name;
    for (const std::string &prefix : {itanium, "_" + itanium})
        if (exported.compare(0, prefix.size(), prefix) == 0)
            return true;
    return exported.compare(0, name.size() + 3, "?" + name + "@@") == 0;
}

std::string parameters(int bytes) {
    int count = bytes / 4;
    return std::to_string(count) + (count == 1 ? " parameter" : " parameters");
}

} // namespace

std::optional<NearMiss> near_miss(const std::string &exported, const ContractFunction &function) {
    const std::string name = function.name;
    const std::string wanted = function.export_name;
    if (exported == wanted)
        return std::nullopt;

    std::string base;
    int bytes = 0;
    if (split_decoration(exported, '@', base, bytes) && (base == name || base == "_" + name)) {
        if (bytes != function.parameter_bytes)
            return NearMiss{"wrong_size", "exported with " + std::to_string(bytes) + " bytes of parameters (" +
                                              parameters(bytes) + "), but " + name + " takes " +
                                              parameters(function.parameter_bytes) +
                                              ": declare it as ai_module.h does, so it is exported as " + wanted};
        return NearMiss{"no_underscore", "the leading underscore is missing, as MinGW leaves it out of __stdcall "
                                         "names: name the export explicitly, e.g. the .def line \"" +
                                             wanted + " = " + exported + "\" (add_ai_module does this)"};
    }
    if (exported == name || exported == "_" + name)
        return NearMiss{"undecorated", "exported without the __stdcall decoration: declare it with AI_CALL and C "
                                       "linkage as ai_module.h does, and export it as " +
                                           wanted + " (add_ai_module names the exports)"};
    if (split_decoration(exported, '$', base, bytes) && base == "_" + name && bytes == function.parameter_bytes)
        return NearMiss{"placeholder", "the build's placeholder name is still in place: the post-link naming step "
                                       "did not run; build the module with add_ai_module"};
    if (is_cxx_mangling_of(exported, name))
        return NearMiss{"cxx_mangled", "exported with a C++-mangled name: give it C linkage (extern \"C\", which "
                                       "ai_module.h's declarations carry) so it is exported as " +
                                           wanted};
    return std::nullopt;
}

} // namespace vantrell::check
