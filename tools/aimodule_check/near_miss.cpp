#include "near_miss.hpp"

#include "near_miss_rules.hpp"

#include <map>
#include <regex>
#include <sstream>
#include <vector>

namespace vantrell::check {
namespace {

struct Rule {
    std::string kind;
    std::string pattern;
};

// The shared rules (cmake/near_miss_rules.txt): "kind | pattern" lines.
const std::vector<Rule> &rules() {
    static const std::vector<Rule> parsed = [] {
        std::vector<Rule> list;
        std::istringstream text(near_miss_rules_text);
        for (std::string line; std::getline(text, line);) {
            const auto bar = line.find('|');
            if (line.empty() || line[0] == '#' || bar == std::string::npos)
                continue;
            auto trimmed = [](std::string part) {
                part.erase(0, part.find_first_not_of(' '));
                part.erase(part.find_last_not_of(' ') + 1);
                return part;
            };
            list.push_back({trimmed(line.substr(0, bar)), trimmed(line.substr(bar + 1))});
        }
        return list;
    }();
    return parsed;
}

std::string replaced(std::string text, const std::string &placeholder, const std::string &value) {
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

// Each rule's pattern for `function`, compiled once.
const std::vector<std::regex> &patterns_for(const ContractFunction &function) {
    static std::map<const ContractFunction *, std::vector<std::regex>> compiled;
    auto &patterns = compiled[&function];
    if (patterns.empty())
        for (const Rule &rule : rules()) {
            std::string pattern = replaced(rule.pattern, "{name}", function.name);
            pattern = replaced(pattern, "{length}", std::to_string(std::string(function.name).size()));
            pattern = replaced(pattern, "{bytes}", std::to_string(function.parameter_bytes));
            patterns.emplace_back(pattern);
        }
    return patterns;
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
    const std::vector<std::regex> &patterns = patterns_for(function);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        std::smatch match;
        if (!std::regex_search(exported, match, patterns[i]))
            continue;
        const std::string &kind = rules()[i].kind;
        if (kind == "wrong_size") {
            const int bytes = std::stoi(match[1].str());
            if (bytes == function.parameter_bytes)
                continue;
            return NearMiss{kind, "exported with " + std::to_string(bytes) + " bytes of parameters (" +
                                      parameters(bytes) + "), but " + name + " takes " +
                                      parameters(function.parameter_bytes) +
                                      ": declare it as ai_module.h does, so it is exported as " + wanted};
        }
        if (kind == "no_underscore")
            return NearMiss{kind, "the leading underscore is missing, as MinGW leaves it out of __stdcall names: "
                                  "name the export explicitly, e.g. the .def line \"" +
                                      wanted + " = " + exported + "\" (add_ai_module does this)"};
        if (kind == "undecorated")
            return NearMiss{kind, "exported without the __stdcall decoration: declare it with AI_CALL and C linkage "
                                  "as ai_module.h does, and export it as " +
                                      wanted + " (add_ai_module names the exports)"};
        if (kind == "placeholder")
            return NearMiss{kind, "the build's placeholder name is still in place: the post-link naming step did "
                                  "not run; build the module with add_ai_module"};
        if (kind == "cxx_mangled")
            return NearMiss{kind, "exported with a C++-mangled name: give it C linkage (extern \"C\", which "
                                  "ai_module.h's declarations carry) so it is exported as " +
                                      wanted};
    }
    return std::nullopt;
}

} // namespace vantrell::check
