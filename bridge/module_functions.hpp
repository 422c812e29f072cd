// One tag type per module function, made from the contract's list: its
// export name (with its ELF hashes, computed here at compile time), its
// pointer type (with the module calling convention), its
// result kind and the host's answer when it is missing.
#pragma once

#include "ai_module_list.h"
#include "export_name.hpp"

namespace vantrell {

// Result kinds, named as in the contract's list.
struct kind_VOID {};
struct kind_TRUTH {};
struct kind_BOOL8 {};
struct kind_VALUE {};
struct kind_TEXT {};

// Parameter kinds, named as in the contract's list.
struct param_INT32 {};
struct param_FLAG {};
struct param_TEXT {};
struct param_MOVE_OUT {};
struct param_MOVE_IN {};

namespace fn {

#define VANTRELL_FUNCTION_TAG(result, name, bytes, params, missing)                                         \
    struct name {                                                                                           \
        static constexpr loader::ExportName export_name = loader::export_name(AI_EXPORT_NAME(name, bytes)); \
        using pointer = decltype(&::name);                                                                  \
        using kind = kind_##result;                                                                         \
        static constexpr int missing_answer = missing;                                                      \
    };
AI_MODULE_FUNCTIONS(VANTRELL_FUNCTION_TAG)
#undef VANTRELL_FUNCTION_TAG

} // namespace fn
} // namespace vantrell
