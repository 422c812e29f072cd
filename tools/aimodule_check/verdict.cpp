#include "verdict.hpp"

namespace vantrell::check {

int smoke_problems(const SmokeOutcome &outcome) {
    int problems = 0;
    for (const SmokeCall &call : outcome.calls)
        problems += !call.problem.empty();
    return problems;
}

int exit_status(const Report &report, const SmokeOutcome *smoke) {
    const bool exports_sound =
        report.judged() && report.count(FunctionReport::near_miss) == 0 && report.count(FunctionReport::exact) > 0;
    const bool smoke_sound = !smoke || (smoke->completed() && smoke_problems(*smoke) == 0);
    return exports_sound && smoke_sound ? 0 : 1;
}

} // namespace vantrell::check
