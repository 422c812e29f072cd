// The report for people and for programs.
#pragma once

#include "module_report.hpp"
#include "smoke.hpp"

#include <ostream>
#include <vector>

namespace vantrell::check {

void print_text(std::ostream &out, const Report &report);
void print_smoke_call(std::ostream &out, const SmokeCall &call);
// A call that never returned or threw, and how.
void print_smoke_failure(std::ostream &out, const SmokeFailure &failure);
// A session another program ran: its calls, its failures, then the
// module's own output under a heading of its own.
void print_smoke_session(std::ostream &out, const SmokeOutcome &outcome);
// The whole report as one JSON object, whatever happened; `exit_status` is
// the checker's.
void print_json(std::ostream &out, const Report &report, const SmokeOutcome *smoke, int exit_status);

} // namespace vantrell::check
