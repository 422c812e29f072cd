#include "module_report.hpp"

#include "module_diagnostics.hpp"
#include "pe_file.hpp"

namespace aimodule_check {

int Report::count(FunctionReport::Status status) const {
    int n = 0;
    for (const auto &function : functions)
        n += function.status == status;
    return n;
}

int Report::exit_status() const { return loaded && count(FunctionReport::near_miss) == 0 ? 0 : 1; }

const char *status_word(FunctionReport::Status status) {
    switch (status) {
    case FunctionReport::exact: return "exact";
    case FunctionReport::missing: return "missing";
    default: return "near miss";
    }
}

Report inspect(const std::string &path, vantrell::loader::ModuleHandle &module) {
    Report report;
    report.path = path;
    if (auto facts = read_pe_facts(path))
        report.warnings = runtime_warnings(*facts);
    module = vantrell::diagnostics::load_module(path);
    if (!module) {
        report.load_error = vantrell::diagnostics::last_error();
        report.likely_cause = vantrell::diagnostics::likely_load_failure_cause(path, report.load_error);
        return report;
    }
    report.loaded = true;
    const std::vector<std::string> exported = vantrell::diagnostics::export_names(module);
    for (const ContractFunction &function : contract_functions) {
        FunctionReport entry{&function, FunctionReport::missing, {}};
        if (vantrell::loader::find_export(module, function.export_name))
            entry.status = FunctionReport::exact;
        for (const std::string &name : exported)
            if (auto miss = near_miss(name, function))
                entry.near_misses.push_back({name, *miss});
        if (entry.status == FunctionReport::missing && !entry.near_misses.empty())
            entry.status = FunctionReport::near_miss;
        report.functions.push_back(std::move(entry));
    }
    return report;
}

} // namespace aimodule_check
