// The report for people and for programs.
#pragma once

#include "module_report.hpp"
#include "smoke.hpp"

#include <ostream>
#include <vector>

namespace aimodule_check {

void print_text(std::ostream &out, const Report &report);
void print_smoke_call(std::ostream &out, const SmokeCall &call);
void print_json(std::ostream &out, const Report &report, const std::vector<SmokeCall> *smoke);

} // namespace aimodule_check
