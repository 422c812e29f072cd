#include "contract.hpp"

namespace vantrell::check {

std::string host_default(const ContractFunction &function) {
    switch (function.result_kind) {
    case ResultKind::none: return "nothing";
    case ResultKind::truth:
    case ResultKind::bool8: return "false";
    case ResultKind::text: return "null";
    case ResultKind::value: break;
    }
    return std::to_string(function.missing_answer);
}

} // namespace vantrell::check
