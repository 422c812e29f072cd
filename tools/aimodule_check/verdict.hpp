// The checker's verdict, decided in one place from its findings: the
// report on the module's exports and, when one was asked for, the smoke
// session. Output only renders what is decided here.
#pragma once

#include "module_report.hpp"
#include "smoke.hpp"

namespace vantrell::check {

// The calls of a smoke session whose answers are unsound (text that is not
// modified UTF-8).
int smoke_problems(const SmokeOutcome &outcome);

// 0 when the module exports at least one function and each under its exact
// name, and, with a smoke session (`smoke` not null), the session ran and
// every call returned with a sound answer (an exception out of endGame,
// which the bridge swallows, is no fault); 1 otherwise.
int exit_status(const Report &report, const SmokeOutcome *smoke);

} // namespace vantrell::check
