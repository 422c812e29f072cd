// The contract's functions as data, made from the list in ai_module.h.
#pragma once

#include "ai_module_list.h"

#include <string>

namespace vantrell::check {

// The result kinds of the contract's list (VOID, TRUTH, BOOL8, VALUE, TEXT).
enum class ResultKind { none, truth, bool8, value, text };
#define AIMODULE_CHECK_KIND_VOID ResultKind::none
#define AIMODULE_CHECK_KIND_TRUTH ResultKind::truth
#define AIMODULE_CHECK_KIND_BOOL8 ResultKind::bool8
#define AIMODULE_CHECK_KIND_VALUE ResultKind::value
#define AIMODULE_CHECK_KIND_TEXT ResultKind::text

struct ContractFunction {
    const char *name;        // "abortGame"
    const char *export_name; // "_abortGame@4"
    int parameter_bytes;     // 4 per parameter
    ResultKind result_kind;
    int missing_answer; // the host's answer when the function is missing
};

#define AIMODULE_CHECK_ENTRY(result, name, bytes, params, missing) \
    {#name, AI_EXPORT_NAME(name, bytes), bytes, AIMODULE_CHECK_KIND_##result, missing},
inline constexpr ContractFunction contract_functions[] = {AI_MODULE_FUNCTIONS(AIMODULE_CHECK_ENTRY)};
#undef AIMODULE_CHECK_ENTRY

static_assert(sizeof contract_functions / sizeof contract_functions[0] == AI_MODULE_FUNCTION_COUNT);

// What the host receives from the bridge when the module lacks `function`.
std::string host_default(const ContractFunction &function);

} // namespace vantrell::check
