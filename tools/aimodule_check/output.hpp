// The report for people and for programs.
#pragma once

#include "module_report.hpp"
#include "smoke.hpp"

#include <ostream>
#include <vector>

namespace vantrell::check {

void print_text(std::ostream &out, const Report &report);
void print_smoke_call(std::ostream &out, const SmokeCall &call);
// What the sandbox refused the module outside its calls (`what`: "loading
// the module", "unloading the module"), when it refused anything.
void print_refusals(std::ostream &out, const char *what, const std::string &refused);
// Why the module did not load in the session's child (in the sandbox), as
// the report says it of a module that does not load here.
void print_load_failure(std::ostream &out, const Report &report, const SmokeOutcome &outcome);
// A call that never returned or threw, and how.
void print_smoke_failure(std::ostream &out, const SmokeFailure &failure);
// A session another program ran: its calls, its failures, then the
// module's own output under a heading of its own.
void print_smoke_session(std::ostream &out, const SmokeOutcome &outcome);
// The whole report as one JSON object, whatever happened; `exit_status` is
// the checker's.
void print_json(std::ostream &out, const Report &report, const SmokeOutcome *smoke, int exit_status);

} // namespace vantrell::check
