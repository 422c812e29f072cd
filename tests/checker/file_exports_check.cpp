// The checker's reading of a module's exports from its file (what it judges
// with --sandbox, where no code of the module may run outside the sandbox)
// against the loader's own, for each module given: the file must list the
// names the loaded module exports, in their order, and a name must be found
// in the file exactly when the bridge's lookup finds it in the loaded
// module; asked for every exported name, the contract's names and names
// near each.
//
//   file_exports_check <module>...
#include "ai_module_list.h"
#include "module_diagnostics.hpp"
#include "module_file.hpp"

#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace vantrell;

#define EXPORT_NAME(result, name, bytes, params, missing) AI_EXPORT_NAME(name, bytes),
const char *const contract_names[] = {AI_MODULE_FUNCTIONS(EXPORT_NAME)};
#undef EXPORT_NAME

std::string listed(const std::vector<std::string> &names) {
    std::string text;
    for (const std::string &name : names)
        text += " " + name;
    return text;
}

// The number of disagreements about the module at `path`.
int disagreements(const std::string &path) {
    const auto file = diagnostics::read_module_file(path);
    loader::ModuleHandle module = diagnostics::load_module(path);
    if (!file || !module) {
        std::cout << path << ": " << (file ? "does not load: " + diagnostics::last_error() : "not read") << "\n";
        return 1;
    }
    int count = 0;
    const std::vector<std::string> loaded = diagnostics::export_names(module);
    if (file->exports != loaded) {
        std::cout << path << ": the file lists" << listed(file->exports) << "\n  the loaded module" << listed(loaded)
                  << "\n";
        ++count;
    }
    std::set<std::string> names(loaded.begin(), loaded.end());
    names.insert(std::begin(contract_names), std::end(contract_names));
    for (const std::string &name : std::set<std::string>(names)) {
        names.insert(name + "x");
        names.insert(name.substr(0, name.size() - 1));
    }
    for (const std::string &name : names) {
        const bool from_file = file->finds(name), from_loader = loader::find_export(module, name.c_str()) != nullptr;
        if (from_file != from_loader) {
            std::cout << path << ": \"" << name << "\" " << (from_file ? "found" : "not found") << " in the file, but "
                      << (from_loader ? "found" : "not found") << " by the loader\n";
            ++count;
        }
    }
    if (file->found_by_name.empty())
        std::cout << path << ": nothing found by name (a module without exports proves nothing here)\n", ++count;
    loader::unload_module(module);
    return count;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::cerr << "usage: file_exports_check <module>...\n";
        return 2;
    }
    int count = 0;
    for (int i = 1; i < argc; ++i)
        count += disagreements(argv[i]);
    std::cout << count << " disagreements in " << argc - 1 << " modules\n";
    return count == 0 ? 0 : 1;
}
