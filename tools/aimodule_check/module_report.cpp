#include "module_report.hpp"

#include "module_diagnostics.hpp"
#include "module_file.hpp"

#include <algorithm>
#include <optional>

namespace vantrell::check {

using vantrell::diagnostics::ModuleFile;

int Report::count(FunctionReport::Status status) const {
    int n = 0;
    for (const auto &function : functions)
        n += function.status == status;
    return n;
}

std::string Report::problem() const {
    if (!functions.empty() && count(FunctionReport::exact) == 0 && count(FunctionReport::near_miss) == 0)
        return "the module exports none of the contract's functions, so the bridge will find nothing in it: define "
               "them with ai_module.h's declarations and build the module with add_ai_module";
    return "";
}

const char *status_word(FunctionReport::Status status) {
    switch (status) {
    case FunctionReport::exact: return "exact";
    case FunctionReport::missing: return "missing";
    default: return "near miss";
    }
}

namespace {

// Each contract function against the module's export names; `found` says
// whether the loader finds the exact name.
template <class Found> void judge(Report &report, const std::vector<std::string> &exported, Found &&found) {
    for (const ContractFunction &function : contract_functions) {
        FunctionReport entry{&function, FunctionReport::missing, {}};
        if (found(function.export_name))
            entry.status = FunctionReport::exact;
        for (const std::string &name : exported)
            if (auto miss = near_miss(name, function))
                entry.near_misses.push_back({name, *miss});
        if (entry.status == FunctionReport::missing && !entry.near_misses.empty())
            entry.status = FunctionReport::near_miss;
        report.functions.push_back(std::move(entry));
    }
}

void judge_file(Report &report, const ModuleFile &file) {
    judge(report, file.exports, [&](const char *name) { return file.finds(name); });
}

// What the file says, whoever loads it; and the whole judgement of a module
// for another platform or processor than this checker's, which is judged
// from its file (`not_loaded_here` then says so).
std::optional<ModuleFile> read_file(Report &report) {
    std::optional<ModuleFile> file = vantrell::diagnostics::read_module_file(report.path);
    if (!file)
        return file;
    report.kind = file->kind();
    report.imports = file->imported_libraries;
    report.warnings = vantrell::diagnostics::runtime_warnings(*file);
    if (file->library && !vantrell::diagnostics::loadable_here(*file)) {
        report.not_loaded_here = "this checker loads modules of the kind " +
                                 vantrell::diagnostics::this_process_kind() + ", so this one is judged from its file";
#if defined(_WIN32)
        const bool wine_runs_it = false;
#else
        const bool wine_runs_it = file->format == ModuleFile::pe;
#endif
        report.smoke_elsewhere = wine_runs_it ? "--smoke runs it under Wine, through the SDK's Windows checker"
                                              : "the checker built for " + report.kind + " drives it (--smoke)";
        judge_file(report, *file);
    }
    return file;
}

} // namespace

Report inspect(const std::string &path, vantrell::loader::ModuleHandle &module) {
    Report report;
    report.path = path;
    read_file(report);
    if (!report.not_loaded_here.empty())
        return report;
    module = vantrell::diagnostics::load_module(path);
    if (!module) {
        report.load_error = vantrell::diagnostics::last_error();
        report.likely_cause = vantrell::diagnostics::likely_load_failure_cause(path, report.load_error);
        return report;
    }
    report.loaded = true;
    judge(report, vantrell::diagnostics::export_names(module),
          [&](const char *name) { return vantrell::loader::find_export(module, name) != nullptr; });
    return report;
}

Report inspect_file(const std::string &path) {
    Report report;
    report.path = path;
    const std::optional<ModuleFile> file = read_file(report);
    if (!report.not_loaded_here.empty())
        return report;
    report.load_in_sandbox = true;
    if (file && file->library)
        judge_file(report, *file);
    return report;
}

} // namespace vantrell::check
