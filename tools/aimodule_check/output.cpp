#include "output.hpp"

#include <nlohmann/json.hpp>

#include <iomanip>
#include <sstream>

namespace vantrell::check {
namespace {

std::string not_run_here(const Report &report) {
    return report.not_loaded_here + (report.smoke_elsewhere.empty() ? "" : "; " + report.smoke_elsewhere);
}

} // namespace

void print_text(std::ostream &out, const Report &report) {
    out << "module: " << report.path << "\n";
    for (const std::string &warning : report.warnings)
        out << "warning: " << warning << "\n";
    if (!report.not_loaded_here.empty()) {
        out << "kind: " << report.kind << "\n";
        if (!report.imports.empty()) {
            out << "imports:";
            for (const std::string &dll : report.imports)
                out << " " << dll;
            out << "\n";
        }
        if (report.smoke_runner.empty())
            out << "not run here: " << not_run_here(report) << "\n";
        else
            out << "not loaded here: " << report.not_loaded_here << "\n";
    } else if (!report.loaded && !report.load_in_sandbox) {
        out << "does not load: " << report.load_error << "\n"
            << "likely cause: " << report.likely_cause << "\n";
        return;
    }
    // Judged from the file with --sandbox: a file that is no module of this
    // platform has nothing to judge; its load in the sandbox says why.
    if (report.functions.empty())
        return;
    for (const FunctionReport &entry : report.functions) {
        const ContractFunction &function = *entry.function;
        out << "  " << std::left << std::setw(10) << status_word(entry.status);
        if (entry.status == FunctionReport::missing)
            out << std::setw(38) << function.export_name << "the host gets " << host_default(function);
        else
            out << function.export_name;
        out << "\n";
        for (const FoundNearMiss &found : entry.near_misses)
            out << "            exported as \"" << found.exported << "\": " << found.miss.fix << "\n";
    }
    out << "exact: " << report.count(FunctionReport::exact) << ", missing: " << report.count(FunctionReport::missing)
        << ", near misses: " << report.count(FunctionReport::near_miss) << "\n";
    if (!report.problem().empty())
        out << "problem: " << report.problem() << "\n";
}

void print_smoke_call(std::ostream &out, const SmokeCall &call) {
    out << "  " << call.call << " -> " << call.answer << (call.problem.empty() ? "" : "  PROBLEM: " + call.problem)
        << (call.refused.empty() ? "" : "  (the sandbox refused: " + call.refused + ")") << std::endl;
}

void print_refusals(std::ostream &out, const char *what, const std::string &refused) {
    if (!refused.empty())
        out << "  " << what << ": the sandbox refused: " << refused << std::endl;
}

void print_load_failure(std::ostream &out, const Report &report, const SmokeOutcome &outcome) {
    out << "does not load: " << outcome.load_error << "\n";
    if (!outcome.load_refused.empty())
        out << "the sandbox refused during the load: " << outcome.load_refused << "\n";
    out << "likely cause: " << report.likely_cause << std::endl;
}

void print_smoke_failure(std::ostream &out, const SmokeFailure &failure) {
    out << "  " << failure.call.call << " -> " << failure.how << std::endl;
}

void print_smoke_session(std::ostream &out, const SmokeOutcome &outcome) {
    print_refusals(out, "loading the module", outcome.load_refused);
    for (const SmokeCall &call : outcome.calls)
        print_smoke_call(out, call);
    for (const SmokeFailure &failure : outcome.failures)
        print_smoke_failure(out, failure);
    print_refusals(out, "unloading the module", outcome.unload_refused);
    if (outcome.module_output.empty())
        return;
    out << "the module's own output in that session:\n";
    std::istringstream lines(outcome.module_output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out << "  " << line << "\n";
    }
    out.flush();
}

void print_json(std::ostream &out, const Report &report, const SmokeOutcome *smoke, int exit_status) {
    nlohmann::ordered_json json;
    json["module"] = report.path;
    json["kind"] = report.kind;
    json["imports"] = report.imports;
    json["loaded"] = report.loaded;
    json["warnings"] = report.warnings;
    if (!report.not_loaded_here.empty())
        json["not_run_here"] = not_run_here(report);
    if (!report.judged()) {
        json["load_error"] = report.load_error;
        json["likely_cause"] = report.likely_cause;
    }
    // Also of a module judged from its file that then did not load in the
    // sandbox.
    if (!report.functions.empty()) {
        json["functions"] = nlohmann::json::array();
        for (const FunctionReport &entry : report.functions) {
            nlohmann::ordered_json item;
            item["name"] = entry.function->name;
            item["export"] = entry.function->export_name;
            item["status"] = entry.status == FunctionReport::near_miss ? "near_miss" : status_word(entry.status);
            item["host_default"] = host_default(*entry.function);
            item["near_misses"] = nlohmann::json::array();
            for (const FoundNearMiss &found : entry.near_misses)
                item["near_misses"].push_back(
                    {{"exported", found.exported}, {"kind", found.miss.kind}, {"fix", found.miss.fix}});
            json["functions"].push_back(item);
        }
        json["summary"] = {{"exact", report.count(FunctionReport::exact)},
                           {"missing", report.count(FunctionReport::missing)},
                           {"near_miss", report.count(FunctionReport::near_miss)}};
        json["problem"] = report.problem();
    }
    if (smoke) {
        json["smoke"] = nlohmann::json::array();
        for (const SmokeCall &call : smoke->calls)
            json["smoke"].push_back({{"function", call.function},
                                     {"call", call.call},
                                     {"answer", call.answer},
                                     {"problem", call.problem},
                                     {"refused", call.refused}});
        json["load_refused"] = smoke->load_refused;
        json["unload_refused"] = smoke->unload_refused;
        // Every call that never returned or threw; the first also as smoke_failure.
        json["smoke_failures"] = nlohmann::json::array();
        for (const SmokeFailure &failure : smoke->failures)
            json["smoke_failures"].push_back(
                {{"function", failure.call.function}, {"call", failure.call.call}, {"how", failure.how}});
        if (!smoke->ran)
            json["smoke_failure"] = {{"function", ""}, {"call", ""}, {"how", "not run: " + smoke->not_run}};
        else if (!smoke->failures.empty())
            json["smoke_failure"] = json["smoke_failures"][0];
    }
    json["exit_status"] = exit_status;
    // Module texts need not be valid UTF-8; replace what is not.
    out << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

} // namespace vantrell::check
