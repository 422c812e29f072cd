// Export names the bridge will never find but that were meant as one of the
// contract's functions, and how to fix each.
#pragma once

#include "contract.hpp"

#include <optional>
#include <string>

namespace vantrell::check {

struct NearMiss {
    std::string kind; // no_underscore, undecorated, wrong_size, placeholder, cxx_mangled
    std::string fix;  // one sentence for the module's author
};

// Whether `exported` is a near miss of `function` (an exact match is not).
std::optional<NearMiss> near_miss(const std::string &exported, const ContractFunction &function);

} // namespace vantrell::check
